// Shared by the fuzz harnesses: inputs become files, since every entry point under test
// reads a path the way a user hands one over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A scratch folder of this process, created on first use.
const std::string& scratch_folder();

// Writes the bytes to a file in the scratch folder and returns its path.
std::string write_input(const std::string& name, const std::uint8_t* data, std::size_t size);

// The engine and the libraries talk on standard error and output; thousands of runs a
// second of that would only slow the fuzzer down.
void silence_output();

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

// Sends standard output and error to /dev/null (the replay runs; the fuzzer itself is told
// -close_fd_mask=3 instead, which keeps its own reports visible).
void silence_output();

// Input paths read from a file or standard input, for scripts that find the files themselves
// (find ... -print0 | pelmora-cli --null --files-from - ...).
#pragma once

#include <string>
#include <vector>

// Appends each path of the file ("-": standard input) to paths: one a line, or with
// nulSeparated ending in NUL bytes, since a file name may hold a line break. Empty entries are
// passed over; a missing end mark after the last path is no fault. The bytes stay as they are,
// but for a line's final carriage return, which is removed. False, with paths unchanged, with
// the system's message when the file cannot be read, or naming the first line that holds a NUL
// byte (which would cut the name short).
bool read_input_list(const std::string& file, bool nulSeparated, std::vector<std::string>* paths,
                     std::string* message);

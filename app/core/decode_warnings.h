// What a decode that went on left out or ignored (DecodeStats::warnings), worded once for the
// command line and the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sentence per WARNING_* bit set, in bit order; none for 0.
std::vector<std::string> decode_warning_texts(std::uint32_t warnings);

// The option parsers that report errors instead of ending the process.
#include <cstdint>
#include <string>

#include "engine/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // the parsers take NUL-terminated texts
    mad_timer_t time;
    parse_time(text.c_str(), &time);
    double decibels = 0;
    parse_decibel(text.c_str(), &decibels);
    compare_nocase(text.c_str(), "dB", text.size());
    return 0;
}

#include "app/core/system_message.h"

#include <cstring>

namespace {

// strerror_r comes in two shapes: the XSI one fills the buffer and returns a status, the GNU
// one returns the text, which need not be in the buffer.
[[maybe_unused]] const char* chosen_text(int status, const char* buffer) {
    return status == 0 ? buffer : nullptr;
}

[[maybe_unused]] const char* chosen_text(const char* text, const char*) {
    return text;
}

}  // namespace

std::string errno_message(int error) {
    char buffer[256] = {};
    const char* text = chosen_text(strerror_r(error, buffer, sizeof buffer), buffer);
    return text != nullptr ? text : "Unknown error " + std::to_string(error);
}

std::string path_error_message(const std::string& path, int error) {
    return path + ": " + errno_message(error);
}

std::string killed_by_signal_message(int signal) {
    // strsignal's text for the common signals is fixed; only unknown ones use a shared buffer,
    // and the pool that calls this runs on one thread.
    return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

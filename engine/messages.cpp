#include "engine/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/request.h"

// engine_error's formats cannot carry a printf attribute (see the header), so the checks
// that need a literal format are off in this file only.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

// Per thread: a decode on one thread must not silence another's.
thread_local int quiet_messages = 0;

void vwarn(const char* format, std::va_list args) {
    std::fprintf(stderr, "%s: ", ENGINE_PROGRAM_NAME);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

}  // namespace

void engine_messages_quiet(int quiet) {
    quiet_messages = quiet;
}

int engine_message(const char* format, ...) {
    if (quiet_messages != 0) {
        return 0;
    }
    std::va_list args;
    va_start(args, format);
    int written = std::vfprintf(stderr, format, args);
    va_end(args);
    return written;
}

void engine_error(const char* context, const char* format, ...) {
    // Printing the context may itself change errno; the report must name the original error.
    int saved_errno = errno;
    if (quiet_messages != 0) {
        return;
    }
    if (context != nullptr) {
        std::fprintf(stderr, "%s: ", context);
    }
    std::va_list args;
    va_start(args, format);
    if (format[0] == ':') {
        const char* what = format + 1;
        if (*what == '\0') {
            what = va_arg(args, const char*);
        }
        errno = saved_errno;
        std::perror(what);
    } else {
        std::vfprintf(stderr, format, args);
        std::fputc('\n', stderr);
    }
    va_end(args);
}

namespace {

// Kept beside the printed message for the caller that must say why a file failed without
// reading the engine's prose; one decode at a time, like the rest of the engine's state.
int output_failure = 0;

}  // namespace

int engine_output_failure() {
    return output_failure;
}

void engine_output_failure_reset() {
    output_failure = 0;
}

void engine_error_text(const char* context, const char* text, const char* path) {
    // The writer's one failure text that is no system error is the RIFF size limit.
    output_failure = text[0] == ':' ? errno : OUTPUT_PAST_WAV_LIMIT;
    if (text[0] == ':') {
        // ":fwrite" and ": path" print alike: the name, then the system error.
        engine_error(context, ":", text[1] != '\0' ? text + 1 : path);
        return;
    }
    engine_error(context, "%s", text);
}

void engine_warn(const char* format, ...) {
    if (quiet_messages != 0) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    vwarn(format, args);
    va_end(args);
}

void engine_fatal(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    vwarn(format, args);
    va_end(args);
    std::exit(1);
}

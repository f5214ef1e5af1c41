// The engine's message printers. Everything goes to the message stream (standard error);
// the normalization lines of the player are the only engine output on standard output.
#pragma once

#include <cstdarg>

// The name written before warnings and fatal errors.
constexpr const char* ENGINE_PROGRAM_NAME = "pelmora";

// Returns the number of characters written.
int engine_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// context may be null. A format that begins with ":" reports the system error (errno) of the
// operation named after the colon, or, when the format is exactly ":", of the path given as
// the first argument.
void engine_error(const char* context, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void engine_warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// engine_warn, then exit status 1.
[[noreturn]] void engine_fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

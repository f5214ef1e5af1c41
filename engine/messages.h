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
// (No printf format attribute: the bare ":" form takes a path argument the format does not
// mention.)
void engine_error(const char* context, const char* format, ...);

// engine_error with a text that is not a format: the writer's failure texts (":", ":fwrite",
// or a plain message). path is the argument of the bare ":" form.
void engine_error_text(const char* context, const char* text, const char* path);

// What the last engine_error_text since the last reset said, as DecodeStats::output_error
// holds it; every engine_error_text reports a failure to write the output.
int engine_output_failure();
void engine_output_failure_reset();

void engine_warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While on (non-zero) for the calling thread, engine_message, engine_error and engine_warn print
// nothing: a measuring decode says nothing the writing decode of the same file does not say
// again. engine_fatal still prints.
void engine_messages_quiet(int quiet);

// engine_warn, then exit status 1.
[[noreturn]] void engine_fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

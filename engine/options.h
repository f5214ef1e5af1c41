// Parsers for the option texts of a decode request: times, decibels, bit depth.
#pragma once

#include <mad.h>

#include <cstddef>
#include <cstdint>

// Time syntax: terms joined by + or -, each [sign]seconds[:seconds...][.fraction | /denominator],
// e.g. "90", "1:30", "2.5", "1/75", "1:30/2", "10-2". Returns 0 and stores the value, or -1.
int parse_time(const char* text, mad_timer_t* out);

// parse_time for an option called what; ends the process on an invalid text, and on a value
// not greater than zero when must_be_positive is set.
mad_timer_t parse_time_option(const char* text, const char* what, bool must_be_positive);

// A decimal number, optionally followed by "dB" in any letter case. Returns 0 or -1.
int parse_decibel(const char* text, double* out);

// The fixed-point gain of a decibel text from -175 to +18; ends the process otherwise.
mad_fixed_t decibel_to_gain(const char* text);

// The bits per sample of a positive decimal text (atoi rules: "16abc" is 16); ends the
// process otherwise.
std::uint32_t parse_bit_depth(const char* text);

// atoi without its undefined behaviour: out-of-range values clamp to the int range.
int decimal_value(const char* text);

// Compares at most n characters, lower-cased; stops after the first pair that differs or a
// NUL in a. Returns the difference of the last pair compared (0 when equal or n is 0).
int compare_nocase(const char* a, const char* b, std::size_t n);

// Text for a terminal: file names with their control characters made visible, and lines cut
// to a number of columns at character boundaries. Names are bytes; they are read as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Makes the character functions below read UTF-8 whatever the environment's locale, since
// file names and terminals are UTF-8 on the systems we run on. Touches LC_CTYPE only.
void select_utf8_ctype();

// Control characters as \n, \r, \t, \e or \xHH (\u{...} beyond ASCII, such as a
// right-to-left override), bytes that are no valid UTF-8 as \xHH; all else as it is. A name
// so shown can no longer move the cursor, change colours or start a new line.
std::string terminal_safe(std::string_view text);
// The same, but line breaks stay: for messages of several lines. Where one of names occurs
// in text it is shown as terminal_safe shows it, so that a line break inside a name cannot
// pass for the end of a line.
std::string terminal_safe_lines(std::string_view text, const std::vector<std::string>& names = {});

// Columns the text takes: wide characters two, combining marks none. Expects text that went
// through terminal_safe.
int display_width(std::string_view text);
// The longest start of text that fits in columns, ending on a character boundary.
std::string cut_to_width(std::string_view text, int columns);

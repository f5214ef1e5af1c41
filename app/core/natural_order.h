// Name order for listing folders: letters without regard to case, runs of digits by their
// value, so that "track 2" comes before "track 10".
#pragma once

#include <string_view>

// Negative, zero or positive as a sorts before, equal to or after b. Zero only for equal
// bytes: names that differ only in letter case or leading zeros still get a fixed order.
int natural_compare(std::string_view a, std::string_view b);

inline bool natural_less(std::string_view a, std::string_view b) {
    return natural_compare(a, b) < 0;
}

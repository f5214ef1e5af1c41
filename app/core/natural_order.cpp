#include "app/core/natural_order.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// ASCII letters only: bytes of multibyte characters compare as they are, which keeps the
// order independent of the locale.
unsigned char folded(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

}  // namespace

int natural_compare(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    int tie = 0;  // the first difference that the order ignores: letter case, leading zeros
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            std::size_t a_start = i;
            std::size_t b_start = j;
            while (i < a.size() && a[i] == '0') {
                ++i;
            }
            while (j < b.size() && b[j] == '0') {
                ++j;
            }
            std::size_t a_digits = i;
            std::size_t b_digits = j;
            while (a_digits < a.size() && is_digit(a[a_digits])) {
                ++a_digits;
            }
            while (b_digits < b.size() && is_digit(b[b_digits])) {
                ++b_digits;
            }
            // Without leading zeros the longer run is the larger number, whatever its length.
            std::size_t a_length = a_digits - i;
            std::size_t b_length = b_digits - j;
            if (a_length != b_length) {
                return a_length < b_length ? -1 : 1;
            }
            int digits = a.substr(i, a_length).compare(b.substr(j, b_length));
            if (digits != 0) {
                return sign(digits);
            }
            if (tie == 0 && i - a_start != j - b_start) {
                tie = i - a_start < j - b_start ? -1 : 1;  // "7" before "07"
            }
            i = a_digits;
            j = b_digits;
            continue;
        }
        unsigned char x = folded(a[i]);
        unsigned char y = folded(b[j]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (tie == 0 && a[i] != b[j]) {
            tie = static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    return tie;
}

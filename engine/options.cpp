#include "engine/options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "engine/messages.h"

namespace {

constexpr int DECIBEL_MIN = -175;
constexpr int DECIBEL_MAX = 18;

const char* skip_space(const char* p) {
    while (std::isspace(static_cast<unsigned char>(*p)) != 0) {
        ++p;
    }
    return p;
}

// One term of the time syntax; advances *cursor. Returns 0 or -1.
int parse_time_term(const char** cursor, mad_timer_t* term) {
    const char* p = *cursor;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }

    // Unsigned so that absurdly long digit runs wrap instead of overflowing.
    unsigned long seconds = 0;
    unsigned long numerator = 0;
    unsigned long denominator = 0;
    do {
        char* end = nullptr;
        long value = std::strtol(p, &end, 10);
        if (value < 0) {
            return -1;
        }
        seconds += static_cast<unsigned long>(value);
        p = end;
        if (*p == ':') {
            seconds *= 60;
            ++p;
        }
    } while (std::isdigit(static_cast<unsigned char>(*p)) != 0);

    if (*p == '.') {
        ++p;
        char* end = nullptr;
        long fraction = std::strtol(p, &end, 10);
        if (fraction < 0) {
            return -1;
        }
        numerator = static_cast<unsigned long>(fraction);
        denominator = 1;
        for (const char* q = p; q < end; ++q) {
            denominator *= 10;
        }
        p = end;
    } else if (*p == '/') {
        ++p;
        char* end = nullptr;
        long value = std::strtol(p, &end, 10);
        if (value < 0) {
            return -1;
        }
        numerator = seconds;
        denominator = static_cast<unsigned long>(value);
        seconds = 0;
        p = end;
    }

    mad_timer_set(term, seconds, numerator, denominator);
    if (negative) {
        mad_timer_negate(term);
    }
    *cursor = p;
    return 0;
}

}  // namespace

int parse_time(const char* text, mad_timer_t* out) {
    mad_timer_t value = mad_timer_zero;
    const char* p = skip_space(text);
    do {
        mad_timer_t term;
        if (parse_time_term(&p, &term) != 0) {
            return -1;
        }
        mad_timer_add(&value, term);
    } while (*p == '+' || *p == '-');
    p = skip_space(p);
    if (*p != '\0') {
        return -1;
    }
    *out = value;
    return 0;
}

mad_timer_t parse_time_option(const char* text, const char* what, bool must_be_positive) {
    mad_timer_t value;
    if (parse_time(text, &value) == -1) {
        engine_fatal("invalid %s specification \"%s\"", what, text);
    }
    if (must_be_positive && mad_timer_sign(value) <= 0) {
        engine_fatal("%s must be positive", what);
    }
    return value;
}

int parse_decibel(const char* text, double* out) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    const char* p = skip_space(end);
    if (compare_nocase(p, "dB", 2) == 0) {
        p = skip_space(p + 2);
    }
    if (*p != '\0') {
        return -1;
    }
    *out = value;
    return 0;
}

mad_fixed_t decibel_to_gain(const char* text) {
    double decibels = 0.0;
    if (parse_decibel(text, &decibels) == -1) {
        engine_fatal("invalid decibel specification \"%s\"", text);
    }
    // Written as "not inside" so that a NaN ("nan" parses) is refused too.
    if (!(decibels >= DECIBEL_MIN && decibels <= DECIBEL_MAX)) {
        engine_fatal("decibel value must be in the range %+d to %+d", DECIBEL_MIN, DECIBEL_MAX);
    }
    return static_cast<mad_fixed_t>(std::pow(10.0, decibels * 0.05) * 268435456.0 + 0.5);
}

std::uint32_t parse_bit_depth(const char* text) {
    int bits = decimal_value(text);
    if (bits <= 0) {
        engine_fatal("invalid bit depth \"%s\"", text);
    }
    return static_cast<std::uint32_t>(bits);
}

int decimal_value(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

int compare_nocase(const char* a, const char* b, std::size_t n) {
    int difference = 0;
    for (; n > 0; --n, ++a, ++b) {
        difference = std::tolower(static_cast<unsigned char>(*a)) -
                     std::tolower(static_cast<unsigned char>(*b));
        if (difference != 0 || *a == '\0') {
            break;
        }
    }
    return difference;
}

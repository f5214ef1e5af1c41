// Fixed-point arithmetic on libmad samples (28 fraction bits).
#pragma once

#include <mad.h>

#include <cstdint>

constexpr mad_fixed_t FIXED_ONE = 0x10000000;    // 1.0
constexpr mad_fixed_t SAMPLE_MAX = 0x0FFFFFFF;   // one step below +1.0
constexpr mad_fixed_t SAMPLE_MIN = -0x10000000;  // -1.0

// The 64-bit product shifted right by 28 and truncated to 32 bits: rounds toward minus
// infinity. Spelled out rather than taken from mad_f_mul, whose rounding depends on how
// libmad was configured.
inline mad_fixed_t fixed_mul(mad_fixed_t a, mad_fixed_t b) {
    return static_cast<mad_fixed_t>((static_cast<std::int64_t>(a) * b) >> 28);
}

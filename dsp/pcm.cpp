#include "dsp/pcm.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "dsp/fixed.h"
#include "dsp/testing.h"

namespace {

// The error feedback and the random sequence are meant to run on from block to block and
// from file to file for the life of the process: a per-file state would restart the same
// noise sequence at every file. Hence module-wide, one per output channel, reset only by
// restart_dither where files are decoded in no fixed order.
DitherState dither_states[2] = {};

// Sample sums, feedback and dither noise wrap at 32 bits; signed overflow would be undefined,
// so the arithmetic runs on the unsigned pattern and converts back (modulo 2^32 in C++20).
inline std::uint32_t bits(mad_fixed_t v) {
    return static_cast<std::uint32_t>(v);
}
inline mad_fixed_t fixed(std::uint32_t v) {
    return static_cast<mad_fixed_t>(v);
}

inline mad_fixed_t wrap_neg(mad_fixed_t v) {
    return fixed(0u - bits(v));
}

constexpr std::uint32_t LCG_MULTIPLIER = 1664525u;
constexpr std::uint32_t LCG_INCREMENT = 1013904223u;

inline void store_u8(unsigned char* out, std::int32_t v) {
    out[0] = static_cast<unsigned char>(static_cast<std::uint32_t>(v) + 128u);
}

// One 2-byte store where the host order already is the file's order.
inline void store_s16le(unsigned char* out, std::int32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto h = static_cast<std::int16_t>(v);
        std::memcpy(out, &h, sizeof h);
    } else {
        const auto u = static_cast<std::uint32_t>(v);
        out[0] = static_cast<unsigned char>(u);
        out[1] = static_cast<unsigned char>(u >> 8);
    }
}

inline void store_s24le(unsigned char* out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    out[0] = static_cast<unsigned char>(u);
    out[1] = static_cast<unsigned char>(u >> 8);
    out[2] = static_cast<unsigned char>(u >> 16);
}

// A 24-bit value stored as v * 256: the low byte is always zero.
inline void store_s32le(unsigned char* out, std::int32_t v) {
    const std::uint32_t u = static_cast<std::uint32_t>(v) << 8;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &u, sizeof u);
    } else {
        out[0] = 0;
        out[1] = static_cast<unsigned char>(u >> 8);
        out[2] = static_cast<unsigned char>(u >> 16);
        out[3] = static_cast<unsigned char>(u >> 24);
    }
}

using Store = void (*)(unsigned char*, std::int32_t);

// The samples that leave the statistics unchanged, -peak_level <= s < peak_level, as one
// unsigned compare: (s + peak_level) < 2 * peak_level. That is exact while 0 <= peak_level
// <= 2^28, where s + peak_level cannot wrap into [0, 2 * peak_level); the statistics never
// leave that range by themselves. A record that starts outside it gets an empty window, so
// that every sample goes through the full clip_and_track test.
struct PeakWindow {
    std::uint32_t offset;
    std::uint32_t size;
};

inline PeakWindow peak_window(mad_fixed_t peak_level) {
    if (bits(peak_level) > bits(FIXED_ONE)) {
        return {0, 0};
    }
    return {bits(peak_level), 2 * bits(peak_level)};
}

inline bool inside(mad_fixed_t sample, PeakWindow window) {
    return bits(sample) + window.offset < window.size;
}

struct Clipped {
    mad_fixed_t o;
    mad_fixed_t y;
};

// As clip_and_track, but a clipped output also pulls y to full scale, so that the error fed
// back is the quantization error and not the overshoot. Out of line: once the peak of a file
// is reached it is rarely needed, and inlined it would cost the sample loop registers.
[[gnu::noinline]] Clipped clip_dithered(mad_fixed_t o, mad_fixed_t y, ClipStats* stats) {
    const mad_fixed_t clipped = clip_and_track(o, stats);
    if (clipped != o) {
        y = clipped == SAMPLE_MAX ? std::min(y, SAMPLE_MAX) : std::max(y, SAMPLE_MIN);
    }
    return {clipped, y};
}

// One dithered sample at a width known at compile time. The packers run it on local copies
// of the dither states and of the peak window, so that the compiler keeps them in registers
// for a whole block instead of going through memory for every sample.
template <unsigned Width>
[[gnu::always_inline]] inline std::int32_t dither_step(mad_fixed_t sample, DitherState& dither,
                                                       PeakWindow& window, ClipStats* stats) {
    constexpr unsigned k = 29 - Width;
    constexpr std::uint32_t mask = (1u << k) - 1u;
    constexpr std::uint32_t bias = 1u << (28 - Width);
    mad_fixed_t* e = dither.feedback;

    // Noise shaping over the last three quantization errors.
    mad_fixed_t y = fixed(bits(sample) + bits(e[0]) - bits(e[1]) + bits(e[2]));
    e[2] = e[1];
    e[1] = e[0] / 2;

    // The difference of two successive uniform values: triangular noise within one step.
    const std::uint32_t old_lcg = dither.lcg_state;
    const std::uint32_t r = old_lcg * LCG_MULTIPLIER + LCG_INCREMENT;
    mad_fixed_t o = fixed(bits(y) + bias + (r & mask) - (old_lcg & mask));
    dither.lcg_state = r;

    if (!inside(o, window)) [[unlikely]] {
        const Clipped clipped = clip_dithered(o, y, stats);
        o = clipped.o;
        y = clipped.y;
        window = peak_window(stats->peak_level);
    }

    const mad_fixed_t q = fixed(bits(o) & ~mask);
    e[0] = fixed(bits(y) - bits(q));
    return q >> k;
}

template <unsigned Width>
[[gnu::always_inline]] inline std::int32_t round_step(mad_fixed_t sample, PeakWindow& window,
                                                      ClipStats* stats) {
    constexpr std::uint32_t bias = 1u << (28 - Width);
    mad_fixed_t s = fixed(bits(sample) + bias);
    if (!inside(s, window)) [[unlikely]] {
        s = clip_and_track(s, stats);
        window = peak_window(stats->peak_level);
    }
    return s >> (29 - Width);
}

template <unsigned Width, std::uint32_t Bytes, Store store>
std::uint32_t pack(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                   const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    if (mode != Round && mode != Dither) {
        return 0;
    }
    PeakWindow window = peak_window(stats->peak_level);
    unsigned char* p = out;
    if (mode == Dither) {
        // Both channels in one loop, in the order of the file: the peak level can end
        // differently in another order (2^28 from MIN against MAX from a positive clip). The
        // two channels' error feedback and random sequence are independent chains, which the
        // processor overlaps.
        DitherState first = dither_states[0];
        if (right == nullptr) {
            for (std::uint32_t i = 0; i < n; ++i, p += Bytes) {
                store(p, dither_step<Width>(left[i], first, window, stats));
            }
        } else {
            DitherState second = dither_states[1];
            for (std::uint32_t i = 0; i < n; ++i, p += 2 * Bytes) {
                store(p, dither_step<Width>(left[i], first, window, stats));
                store(p + Bytes, dither_step<Width>(right[i], second, window, stats));
            }
            dither_states[1] = second;
        }
        dither_states[0] = first;
    } else if (right == nullptr) {
        for (std::uint32_t i = 0; i < n; ++i, p += Bytes) {
            store(p, round_step<Width>(left[i], window, stats));
        }
    } else {
        for (std::uint32_t i = 0; i < n; ++i, p += 2 * Bytes) {
            store(p, round_step<Width>(left[i], window, stats));
            store(p + Bytes, round_step<Width>(right[i], window, stats));
        }
    }
    return n * Bytes * (right != nullptr ? 2u : 1u);
}

}  // namespace

void restart_dither() {
    dither_states[0] = DitherState{};
    dither_states[1] = DitherState{};
}

DitherState* dither_state(int channel) {
    if (channel < 0 || channel > 1) {
        return nullptr;
    }
    return &dither_states[channel];
}

mad_fixed_t clip_and_track(mad_fixed_t sample, ClipStats* stats) {
    if (sample >= stats->peak_level) {
        if (sample > SAMPLE_MAX) {
            ++stats->clip_count;
            if (sample - SAMPLE_MAX > stats->clip_peak) {
                stats->clip_peak = sample - SAMPLE_MAX;
            }
            sample = SAMPLE_MAX;
        }
        stats->peak_level = sample;
    } else if (sample < wrap_neg(stats->peak_level)) {
        if (sample < SAMPLE_MIN) {
            ++stats->clip_count;
            if (SAMPLE_MIN - sample > stats->clip_peak) {
                stats->clip_peak = SAMPLE_MIN - sample;
            }
            sample = SAMPLE_MIN;
        }
        stats->peak_level = -sample;
    }
    return sample;
}

std::int32_t quantize_round(unsigned width, mad_fixed_t sample, ClipStats* stats) {
    const std::uint32_t bias = 1u << (28 - width);
    const mad_fixed_t s = clip_and_track(fixed(bits(sample) + bias), stats);
    return s >> (29 - width);
}

std::int32_t quantize_dither(unsigned width, mad_fixed_t sample, DitherState* dither,
                             ClipStats* stats) {
    PeakWindow window = peak_window(stats->peak_level);
    switch (width) {
        case 8:
            return dither_step<8>(sample, *dither, window, stats);
        case 16:
            return dither_step<16>(sample, *dither, window, stats);
        default:
            return dither_step<24>(sample, *dither, window, stats);
    }
}

std::uint32_t pack_u8(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                      const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    return pack<8, 1, store_u8>(out, n, left, right, mode, stats);
}

std::uint32_t pack_s16le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    return pack<16, 2, store_s16le>(out, n, left, right, mode, stats);
}

std::uint32_t pack_s24le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    return pack<24, 3, store_s24le>(out, n, left, right, mode, stats);
}

std::uint32_t pack_s32le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    return pack<24, 4, store_s32le>(out, n, left, right, mode, stats);
}

Packer packer_for_bits(std::uint32_t bits_per_sample) {
    if (bits_per_sample == 0) {
        bits_per_sample = 16;  // the writer's default depth
    }
    if (bits_per_sample <= 8) {
        return pack_u8;
    }
    if (bits_per_sample <= 16) {
        return pack_s16le;
    }
    if (bits_per_sample <= 24) {
        return pack_s24le;
    }
    return pack_s32le;
}

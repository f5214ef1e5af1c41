#include "dsp/pcm.h"

#include "dsp/fixed.h"

namespace {

// The error feedback and the random sequence are meant to run on from block to block and
// from file to file for the life of the process: a per-file state would restart the same
// noise sequence at every file. Hence module-wide, one per output channel, never reset.
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

inline void store_s16le(unsigned char* out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    out[0] = static_cast<unsigned char>(u);
    out[1] = static_cast<unsigned char>(u >> 8);
}

inline void store_s24le(unsigned char* out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    out[0] = static_cast<unsigned char>(u);
    out[1] = static_cast<unsigned char>(u >> 8);
    out[2] = static_cast<unsigned char>(u >> 16);
}

// A 24-bit value stored as v * 256: the low byte is always zero.
inline void store_s32le(unsigned char* out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    out[0] = 0;
    out[1] = static_cast<unsigned char>(u);
    out[2] = static_cast<unsigned char>(u >> 8);
    out[3] = static_cast<unsigned char>(u >> 16);
}

using Store = void (*)(unsigned char*, std::int32_t);

// One dithered sample at a width known at compile time. The packers run it on local copies
// of the dither states and statistics, so that the compiler keeps them in registers for a
// whole block instead of going through memory for every sample.
template <unsigned Width>
[[gnu::always_inline]] inline std::int32_t dither_step(mad_fixed_t sample, DitherState& dither,
                                                       ClipStats& stats) {
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

    // As clip_and_track, but a clipped output also pulls y to full scale, so that the error
    // fed back is the quantization error and not the overshoot.
    if (o >= stats.peak_level) {
        if (o > SAMPLE_MAX) {
            ++stats.clip_count;
            if (o - SAMPLE_MAX > stats.clip_peak) {
                stats.clip_peak = o - SAMPLE_MAX;
            }
            o = SAMPLE_MAX;
            if (y > SAMPLE_MAX) {
                y = SAMPLE_MAX;
            }
        }
        stats.peak_level = o;
    } else if (o < wrap_neg(stats.peak_level)) {
        if (o < SAMPLE_MIN) {
            ++stats.clip_count;
            if (SAMPLE_MIN - o > stats.clip_peak) {
                stats.clip_peak = SAMPLE_MIN - o;
            }
            o = SAMPLE_MIN;
            if (y < SAMPLE_MIN) {
                y = SAMPLE_MIN;
            }
        }
        stats.peak_level = -o;
    }

    const mad_fixed_t q = fixed(bits(o) & ~mask);
    e[0] = fixed(bits(y) - bits(q));
    return q >> k;
}

template <unsigned Width>
[[gnu::always_inline]] inline std::int32_t round_step(mad_fixed_t sample, ClipStats& stats) {
    constexpr std::uint32_t bias = 1u << (28 - Width);
    const mad_fixed_t s = clip_and_track(fixed(bits(sample) + bias), &stats);
    return s >> (29 - Width);
}

template <unsigned Width, std::uint32_t Bytes, Store store>
std::uint32_t pack(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                   const mad_fixed_t* right, OutputMode mode, ClipStats* stats) {
    if (mode != Round && mode != Dither) {
        return 0;
    }
    ClipStats local_stats = *stats;
    unsigned char* p = out;
    if (mode == Dither) {
        // One channel at a time: the channels' dither states are independent and the
        // statistics end the same in any order, and one state fits in registers where two
        // did not.
        const std::uint32_t stride = right != nullptr ? 2 * Bytes : Bytes;
        DitherState first = dither_states[0];
        for (std::uint32_t i = 0; i < n; ++i, p += stride) {
            store(p, dither_step<Width>(left[i], first, local_stats));
        }
        dither_states[0] = first;
        if (right != nullptr) {
            DitherState second = dither_states[1];
            p = out + Bytes;
            for (std::uint32_t i = 0; i < n; ++i, p += stride) {
                store(p, dither_step<Width>(right[i], second, local_stats));
            }
            dither_states[1] = second;
        }
    } else {
        for (std::uint32_t i = 0; i < n; ++i) {
            store(p, round_step<Width>(left[i], local_stats));
            p += Bytes;
            if (right != nullptr) {
                store(p, round_step<Width>(right[i], local_stats));
                p += Bytes;
            }
        }
    }
    *stats = local_stats;
    return n * Bytes * (right != nullptr ? 2u : 1u);
}

}  // namespace

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
    switch (width) {
        case 8:
            return dither_step<8>(sample, *dither, *stats);
        case 16:
            return dither_step<16>(sample, *dither, *stats);
        default:
            return dither_step<24>(sample, *dither, *stats);
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

#include "dsp/resampler.h"

#include <array>

#include "dsp/fixed.h"

namespace {

constexpr std::array<std::uint32_t, 9> SLOT_RATES = {48000, 44100, 32000, 24000, 22050,
                                                     16000, 12000, 11025, 8000};

// input / output * 2^28 to the nearest integer; no pair of rates gives a tie.
constexpr std::array<std::array<mad_fixed_t, 9>, 9> make_ratio_table() {
    std::array<std::array<mad_fixed_t, 9>, 9> table{};
    for (std::size_t in = 0; in < 9; ++in) {
        for (std::size_t out = 0; out < 9; ++out) {
            const std::uint64_t num = std::uint64_t{SLOT_RATES[in]} << 28;
            table[in][out] =
                static_cast<mad_fixed_t>((num + SLOT_RATES[out] / 2) / SLOT_RATES[out]);
        }
    }
    return table;
}

constexpr auto RATIO_TABLE = make_ratio_table();

static_assert(RATIO_TABLE[1][0] == 0x0EB33333);
static_assert(RATIO_TABLE[0][1] == 0x116A3B36);
static_assert(RATIO_TABLE[8][0] == 0x02AAAAAB);
static_assert(RATIO_TABLE[0][8] == 0x60000000);

constexpr std::uint32_t ONE = 0x10000000;
constexpr std::uint32_t FRACTION_MASK = 0x0FFFFFFF;

// Positions and sample differences are 32-bit patterns; the wrap of the unsigned type keeps
// them well defined where the arithmetic would overflow a signed value.
inline std::uint32_t bits(std::int32_t v) {
    return static_cast<std::uint32_t>(v);
}
inline std::int32_t whole(std::int32_t p) {
    return p >> 28;
}
inline std::int32_t frac(std::int32_t p) {
    return static_cast<std::int32_t>(bits(p) & FRACTION_MASK);
}

// Advances by the ratio and pulls a position within 2^-21 of a whole number onto it, so
// that rounding in the ratio does not drift an output just past an input sample.
inline std::int32_t advance(std::int32_t position, mad_fixed_t ratio) {
    const std::uint32_t p = bits(position) + bits(ratio);
    if (((p + 0x80u) & 0x0FFFFF00u) == 0) {
        return static_cast<std::int32_t>((p + 0x80u) & 0xF0000000u);
    }
    return static_cast<std::int32_t>(p);
}

// a + (b - a) * position, with the difference wrapping at 32 bits.
inline mad_fixed_t interpolate(mad_fixed_t a, mad_fixed_t b, std::int32_t position) {
    const mad_fixed_t step = fixed_mul(static_cast<mad_fixed_t>(bits(b) - bits(a)), position);
    return static_cast<mad_fixed_t>(bits(a) + bits(step));
}

}  // namespace

int rate_slot(std::uint32_t rate) {
    for (std::size_t slot = 0; slot < SLOT_RATES.size(); ++slot) {
        if (SLOT_RATES[slot] == rate) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

int resampler_start(ResamplerState* state, std::uint32_t input_rate, std::uint32_t output_rate) {
    const int in = rate_slot(input_rate);
    const int out = rate_slot(output_rate);
    if (in < 0 || out < 0) {
        return -1;
    }
    state->ratio = RATIO_TABLE[static_cast<std::size_t>(in)][static_cast<std::size_t>(out)];
    state->position = 0;
    state->held_sample = 0;
    return 0;
}

std::uint32_t resampler_process(ResamplerState* state, std::uint32_t n, const mad_fixed_t* in,
                                mad_fixed_t* out) {
    if (n == 0) {
        return 0;
    }
    if (state->ratio == static_cast<mad_fixed_t>(ONE)) {
        for (std::uint32_t i = 0; i < n; ++i) {
            out[i] = in[i];
        }
        return n;
    }

    const mad_fixed_t ratio = state->ratio;
    std::int32_t position = state->position;
    std::uint32_t written = 0;

    // The previous block ended between its last sample and this block's first.
    if (position < 0) {
        position = frac(static_cast<std::int32_t>(0u - bits(position)));
        while (position < static_cast<std::int32_t>(ONE)) {
            out[written++] = position == 0 ? state->held_sample
                                           : interpolate(state->held_sample, in[0], position);
            position = advance(position, ratio);
        }
        position = static_cast<std::int32_t>(bits(position) - ONE);
    }

    // Signed: a position left over from a long downward step may point beyond the block.
    const auto count = static_cast<std::int64_t>(n);
    std::int64_t i = 0;
    while (count - i > 1 + whole(position)) {
        i += whole(position);
        position = frac(position);
        const auto at = static_cast<std::size_t>(i);
        out[written++] = position == 0 ? in[at] : interpolate(in[at], in[at + 1], position);
        position = advance(position, ratio);
    }

    if (count - i == 1 + whole(position)) {
        state->held_sample = in[n - 1];
        position = static_cast<std::int32_t>(0u - bits(position));
    } else {
        position =
            static_cast<std::int32_t>(bits(position) - static_cast<std::uint32_t>(count - i) * ONE);
    }
    state->position = position;
    return written;
}

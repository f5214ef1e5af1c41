// Linear-interpolation resampler between the nine MPEG sample rates, one state per channel,
// carrying its position across blocks so that consecutive blocks join without a seam.
#pragma once

#include <mad.h>

#include <cstdint>

struct ResamplerState {
    mad_fixed_t ratio;  // input rate / output rate, 28 fraction bits
    std::int32_t
        position;  // relative to the next unread input sample; negative: held sample pending
    mad_fixed_t held_sample;  // last input sample of the previous block
};

// Output samples one block can yield at most: a 1152-sample frame raised six times
// (8000 Hz to 48000 Hz), with room for the samples carried over from the previous block.
constexpr std::uint32_t RESAMPLE_MAX_OUTPUT = 1152 * 6 + 16;

int rate_slot(std::uint32_t rate);  // 0..8, or -1 for an unsupported rate
int resampler_start(ResamplerState* state, std::uint32_t input_rate, std::uint32_t output_rate);
// n >= 1; out must hold RESAMPLE_MAX_OUTPUT samples. Returns the count written.
std::uint32_t resampler_process(ResamplerState* state, std::uint32_t n, const mad_fixed_t* in,
                                mad_fixed_t* out);

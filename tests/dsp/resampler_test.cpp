#include "dsp/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

ResamplerState started(std::uint32_t in_rate, std::uint32_t out_rate) {
    ResamplerState state = {};
    EXPECT_EQ(resampler_start(&state, in_rate, out_rate), 0);
    return state;
}

// Runs `input` through a fresh state in blocks of the given sizes (cycled).
std::vector<mad_fixed_t> resample_in_blocks(std::uint32_t in_rate, std::uint32_t out_rate,
                                            const std::vector<mad_fixed_t>& input,
                                            const std::vector<std::uint32_t>& sizes) {
    ResamplerState state = started(in_rate, out_rate);
    std::vector<mad_fixed_t> result;
    // Blocks larger than a frame need more room than RESAMPLE_MAX_OUTPUT.
    const std::uint32_t largest = *std::max_element(sizes.begin(), sizes.end());
    std::vector<mad_fixed_t> out(std::size_t{largest} * 6 + 16);
    std::size_t at = 0;
    for (std::size_t k = 0; at < input.size(); ++k) {
        const std::uint32_t n = std::min<std::uint32_t>(
            sizes[k % sizes.size()], static_cast<std::uint32_t>(input.size() - at));
        const std::uint32_t written = resampler_process(&state, n, input.data() + at, out.data());
        result.insert(result.end(), out.begin(), out.begin() + written);
        at += n;
    }
    return result;
}

TEST(RateSlot, KnowsTheNineMpegRatesOnly) {
    const std::uint32_t rates[] = {48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (int slot = 0; slot < 9; ++slot) {
        EXPECT_EQ(rate_slot(rates[slot]), slot);
    }
    EXPECT_EQ(rate_slot(0), -1);
    EXPECT_EQ(rate_slot(44000), -1);
    EXPECT_EQ(rate_slot(96000), -1);

    ResamplerState state = {};
    EXPECT_EQ(resampler_start(&state, 44100, 96000), -1);
    EXPECT_EQ(resampler_start(&state, 7000, 8000), -1);
}

TEST(ResamplerStart, TakesTheRatioFromTheTableAndClearsTheState) {
    // The worked examples of the table.
    EXPECT_EQ(started(44100, 48000).ratio, 0x0EB33333);
    EXPECT_EQ(started(48000, 44100).ratio, 0x116A3B36);
    EXPECT_EQ(started(8000, 48000).ratio, 0x02AAAAAB);
    EXPECT_EQ(started(48000, 8000).ratio, 0x60000000);
    // By hand: 11025 / 8000 * 2^28 = 369937612.8 -> 369937613 = 0x160CCCCD;
    // 32000 / 48000 * 2^28 = 178956970.67 -> 0x0AAAAAAB; 22050 / 44100 = 0.5 exactly.
    EXPECT_EQ(started(11025, 8000).ratio, 0x160CCCCD);
    EXPECT_EQ(started(32000, 48000).ratio, 0x0AAAAAAB);
    EXPECT_EQ(started(22050, 44100).ratio, 0x08000000);
    for (std::uint32_t rate :
         {48000u, 44100u, 32000u, 24000u, 22050u, 16000u, 12000u, 11025u, 8000u}) {
        EXPECT_EQ(started(rate, rate).ratio, 0x10000000) << rate;
    }

    ResamplerState state = {0x10000000, -0x12345, 777};
    ASSERT_EQ(resampler_start(&state, 24000, 48000), 0);
    EXPECT_EQ(state.position, 0);
    EXPECT_EQ(state.held_sample, 0);
}

TEST(ResamplerProcess, DoublingCarriesTheHeldSampleIntoTheNextBlock) {
    ResamplerState state = started(24000, 48000);
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT);

    const std::vector<mad_fixed_t> first = {0, 1048576, 2097152};
    ASSERT_EQ(resampler_process(&state, 3, first.data(), out.data()), 4u);
    EXPECT_EQ(std::vector<mad_fixed_t>(out.begin(), out.begin() + 4),
              (std::vector<mad_fixed_t>{0, 524288, 1048576, 1572864}));
    EXPECT_EQ(state.position, -0x10000000);
    EXPECT_EQ(state.held_sample, 2097152);

    const std::vector<mad_fixed_t> second = {3145728, 4194304};
    ASSERT_EQ(resampler_process(&state, 2, second.data(), out.data()), 4u);
    EXPECT_EQ(std::vector<mad_fixed_t>(out.begin(), out.begin() + 4),
              (std::vector<mad_fixed_t>{2097152, 2621440, 3145728, 3670016}));
}

TEST(ResamplerProcess, HalvingSkipsAcrossTheBlockBoundary) {
    ResamplerState state = started(48000, 24000);
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT);

    const std::vector<mad_fixed_t> first = {0, 1, 2, 3, 4};
    ASSERT_EQ(resampler_process(&state, 5, first.data(), out.data()), 2u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 2);

    const std::vector<mad_fixed_t> second = {5, 6, 7};
    ASSERT_EQ(resampler_process(&state, 3, second.data(), out.data()), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 6);
}

TEST(ResamplerProcess, BlockLengthsFollowTheRateRatio) {
    const std::vector<mad_fixed_t> block(1152, 0);
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT);

    ResamplerState up = started(44100, 48000);
    EXPECT_EQ(resampler_process(&up, 1152, block.data(), out.data()), 1253u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(resampler_process(&up, 1152, block.data(), out.data()), 1254u) << k;
    }

    ResamplerState down = started(48000, 44100);
    std::vector<std::uint32_t> counts;
    for (int k = 0; k < 5; ++k) {
        counts.push_back(resampler_process(&down, 1152, block.data(), out.data()));
    }
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{1058, 1058, 1059, 1058, 1059}));
}

// 44100 -> 48000 advances 147/160 input samples per output, but the ratio 0x0EB33333 is
// 0.2 units short, so output 160 would land 32 units before input 147 and output 320 64
// units before input 294. The snap puts them on the input samples exactly. With inputs
// alternating 0 and 2^27, landing short would give 2^27 - 16 instead of 2^27.
TEST(ResamplerProcess, OutputsThatFallOnAnInputSampleTakeItExactly) {
    std::vector<mad_fixed_t> in(1152);
    for (std::size_t k = 0; k < in.size(); ++k) {
        in[k] = k % 2 == 1 ? (1 << 27) : 0;
    }
    ResamplerState state = started(44100, 48000);
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT);
    ASSERT_EQ(resampler_process(&state, 1152, in.data(), out.data()), 1253u);
    EXPECT_EQ(out[160], in[147]);
    EXPECT_EQ(out[320], in[294]);
    EXPECT_EQ(out[480], in[441]);
}

TEST(ResamplerProcess, EqualRatesCopyTheBlock) {
    ResamplerState state = started(32000, 32000);
    const std::vector<mad_fixed_t> in = {5, -7, 0x0FFFFFFF, -0x10000000, 3};
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT, 99);
    ASSERT_EQ(resampler_process(&state, 5, in.data(), out.data()), 5u);
    EXPECT_EQ(std::vector<mad_fixed_t>(out.begin(), out.begin() + 5), in);
    EXPECT_EQ(out[5], 99);
}

// The largest case the player meets: 1152-sample frames from 8000 Hz to 48000 Hz. Each block
// must fit the output array (sized exactly, so ASan catches an overrun), and a ramp of
// 6144 per input sample must come out as a ramp of 1024 per output sample (the ratio is a
// hair above 1/6, so truncation gives 1023..1025): a lost sample would show as a step of
// about 2048, a repeated one as 0. Outputs at positions below the last input sample number
// 6 per input interval: 6 * (20 * 1152 - 1).
TEST(ResamplerProcess, SixfoldBlocksFitTheOutputAndLoseNothing) {
    ResamplerState state = started(8000, 48000);
    std::vector<mad_fixed_t> in(1152);
    std::vector<mad_fixed_t> out(RESAMPLE_MAX_OUTPUT);
    std::vector<mad_fixed_t> all;
    for (std::int32_t block = 0; block < 20; ++block) {
        for (std::int32_t k = 0; k < 1152; ++k) {
            in[static_cast<std::size_t>(k)] = (block * 1152 + k) * 6144;
        }
        const std::uint32_t written = resampler_process(&state, 1152, in.data(), out.data());
        ASSERT_LE(written, RESAMPLE_MAX_OUTPUT);
        // The first block has no held sample before it: 6 * 1151 outputs.
        EXPECT_GE(written, block == 0 ? 6906u : 6911u) << block;
        all.insert(all.end(), out.begin(), out.begin() + written);
    }
    EXPECT_NEAR(static_cast<double>(all.size()), 6.0 * (20 * 1152 - 1), 1.0);
    EXPECT_EQ(all.front(), 0);
    for (std::size_t k = 1; k < all.size(); ++k) {
        const mad_fixed_t step = all[k] - all[k - 1];
        ASSERT_GE(step, 1023) << k;
        ASSERT_LE(step, 1025) << k;
    }
}

// However a stream is cut into blocks (of two or more samples), the output is the same:
// the carried position and held sample make the join seamless.
TEST(ResamplerProcess, OutputDoesNotDependOnBlockSizes) {
    std::vector<mad_fixed_t> input(5000);
    std::uint32_t lcg = 12345;
    for (mad_fixed_t& sample : input) {
        lcg = lcg * 1103515245u + 12345u;
        sample = static_cast<mad_fixed_t>(lcg >> 4) - 0x08000000;
    }
    const std::pair<std::uint32_t, std::uint32_t> pairs[] = {{44100, 48000}, {48000, 44100},
                                                             {8000, 48000},  {48000, 8000},
                                                             {11025, 32000}, {32000, 22050}};
    for (const auto& [in_rate, out_rate] : pairs) {
        const auto whole = resample_in_blocks(in_rate, out_rate, input, {5000});
        const auto split = resample_in_blocks(in_rate, out_rate, input, {1152, 2, 7, 576, 3});
        EXPECT_EQ(whole, split) << in_rate << " -> " << out_rate;
    }
}

}  // namespace

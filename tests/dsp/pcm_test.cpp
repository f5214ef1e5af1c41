#include "dsp/pcm.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "dsp/testing.h"

namespace {

constexpr mad_fixed_t MAX = 0x0FFFFFFF;
constexpr mad_fixed_t MIN = -0x10000000;

void reset_dither_states() {
    *dither_state(0) = DitherState{};
    *dither_state(1) = DitherState{};
}

std::vector<std::int32_t> s16_values(const std::vector<unsigned char>& bytes) {
    std::vector<std::int32_t> values;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        values.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return values;
}

// Values from the worked rounding table: x + 2^12 shifted right by 13, with MAX clipped.
TEST(PackS16le, RoundsHalvesUpAndClipsMaxWithStatistics) {
    const std::vector<mad_fixed_t> in = {0, MAX, MIN, 1 << 27, -(1 << 27), 0x1234567, -0x1234567};
    std::vector<unsigned char> out(in.size() * 2, 0xAA);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), static_cast<std::uint32_t>(in.size()), in.data(), nullptr,
                         Round, &stats),
              in.size() * 2);
    const std::vector<unsigned char> expected = {0x00, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x00,
                                                 0x40, 0x00, 0xC0, 0x1A, 0x09, 0xE6, 0xF6};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(stats.clip_count, 1u);
    EXPECT_EQ(stats.clip_peak, 0x1000);
    EXPECT_EQ(stats.peak_level, MAX);

    // Exact halves of a 16-bit step go up: +2^12 -> 1, -2^12 -> 0.
    ClipStats quiet = {};
    EXPECT_EQ(quantize_round(16, 1 << 12, &quiet), 1);
    EXPECT_EQ(quantize_round(16, -(1 << 12), &quiet), 0);
}

// 0x1234567 + 2^20 = 0x1334567, >> 21 = 9 -> 0x89; -0x1234567 + 2^20 >> 21 = -9 -> 0x77.
TEST(PackU8, RoundsAroundTheMidpointAndClipsMax) {
    const std::vector<mad_fixed_t> in = {0, MAX, MIN, 1 << 27, 0x1234567, -0x1234567};
    std::vector<unsigned char> out(in.size(), 0xAA);
    ClipStats stats = {};
    ASSERT_EQ(pack_u8(out.data(), static_cast<std::uint32_t>(in.size()), in.data(), nullptr, Round,
                      &stats),
              in.size());
    const std::vector<unsigned char> expected = {0x80, 0xFF, 0x00, 0xC0, 0x89, 0x77};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(stats.clip_count, 1u);
    EXPECT_EQ(stats.clip_peak, 0x100000);
    EXPECT_EQ(stats.peak_level, MAX);
}

// 24-bit quantization; s32 stores v * 256, s24 the three low bytes of v.
TEST(PackS32le, StoresFullScaleAsTwentyFourBitsShiftedUp) {
    const std::array<mad_fixed_t, 2> in = {MAX, MIN};
    std::array<unsigned char, 8> out32{};
    ClipStats stats = {};
    ASSERT_EQ(pack_s32le(out32.data(), 2, in.data(), nullptr, Round, &stats), 8u);
    EXPECT_EQ(out32,
              (std::array<unsigned char, 8>{0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}));

    std::array<unsigned char, 6> out24{};
    ASSERT_EQ(pack_s24le(out24.data(), 2, in.data(), nullptr, Round, &stats), 6u);
    EXPECT_EQ(out24, (std::array<unsigned char, 6>{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80}));
}

// Left and right alternate sample by sample; 2^27 and -2^27 round to 16384 and -16384.
TEST(PackS16le, InterleavesTwoChannels) {
    const std::array<mad_fixed_t, 2> left = {1 << 27, 0};
    const std::array<mad_fixed_t, 2> right = {-(1 << 27), 1 << 27};
    std::vector<unsigned char> out(8);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 2, left.data(), right.data(), Round, &stats), 8u);
    EXPECT_EQ(s16_values(out), (std::vector<std::int32_t>{16384, -16384, 0, 16384}));
}

// A sample near the top of the 32-bit range wraps negative when the bias is added and is
// then clipped to MIN: 0x7FFFFFFF + 0x1000 = 0x80000FFF = -2147479553;
// MIN - that = 1879044097. Under UBSan this also proves the wrap is not signed overflow.
TEST(QuantizeRound, WrapsAtThirtyTwoBitsBeforeClipping) {
    ClipStats stats = {};
    EXPECT_EQ(quantize_round(16, 0x7FFFFFFF, &stats), -32768);
    EXPECT_EQ(stats.clip_count, 1u);
    EXPECT_EQ(stats.clip_peak, 1879044097);
    EXPECT_EQ(stats.peak_level, 0x10000000);
}

// The worked example for a program that has just started.
TEST(PackS16le, DithersZerosFromFreshStates) {
    reset_dither_states();
    const std::array<mad_fixed_t, 8> zeros{};
    std::vector<unsigned char> out(16);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 8, zeros.data(), nullptr, Dither, &stats), 16u);
    EXPECT_EQ(s16_values(out), (std::vector<std::int32_t>{1, -1, 1, -1, 0, 0, 0, 1}));
    const DitherState* d = dither_state(0);
    EXPECT_EQ(d->feedback[0], -8192);
    EXPECT_EQ(d->feedback[1], -512);
    EXPECT_EQ(d->feedback[2], 0);
    EXPECT_EQ(d->lcg_state, 2748932008u);
    EXPECT_EQ(stats.peak_level, 11703);
    EXPECT_EQ(stats.clip_count, 0u);
    EXPECT_EQ(stats.clip_peak, 0);

    // A one-channel block leaves the right channel's state alone.
    const DitherState* right = dither_state(1);
    EXPECT_EQ(right->lcg_state, 0u);
    EXPECT_EQ(right->feedback[0], 0);
}

// Each channel has its own state: from fresh states both channels of a silent stereo block
// follow the one-channel sequence above.
TEST(PackS16le, DithersEachChannelWithItsOwnState) {
    reset_dither_states();
    const std::array<mad_fixed_t, 8> zeros{};
    std::vector<unsigned char> out(32);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 8, zeros.data(), zeros.data(), Dither, &stats), 32u);
    EXPECT_EQ(s16_values(out),
              (std::vector<std::int32_t>{1, 1, -1, -1, 1, 1, -1, -1, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(dither_state(1)->lcg_state, 2748932008u);
}

// The states carry over between blocks: 3 + 5 samples give the bytes of one 8-sample block.
TEST(PackS16le, DitherRunsOnAcrossBlocks) {
    reset_dither_states();
    const std::array<mad_fixed_t, 8> zeros{};
    std::vector<unsigned char> out(16);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 3, zeros.data(), nullptr, Dither, &stats), 6u);
    ASSERT_EQ(pack_s16le(out.data() + 6, 5, zeros.data(), nullptr, Dither, &stats), 10u);
    EXPECT_EQ(s16_values(out), (std::vector<std::int32_t>{1, -1, 1, -1, 0, 0, 0, 1}));
}

TEST(PackU8, DithersZerosToTheMidpoint) {
    reset_dither_states();
    const std::array<mad_fixed_t, 8> zeros{};
    std::vector<unsigned char> out(8, 0);
    ClipStats stats = {};
    ASSERT_EQ(pack_u8(out.data(), 8, zeros.data(), nullptr, Dither, &stats), 8u);
    EXPECT_EQ(out, std::vector<unsigned char>(8, 0x80));
}

// Worked example: the clipped feedback keeps MIN, MIN from overshooting.
TEST(PackS16le, DitherClipsFullScaleAndPullsTheFeedbackBack) {
    reset_dither_states();
    const std::array<mad_fixed_t, 5> in = {MAX, MAX, MIN, MIN, (1 << 27) - 1};
    std::vector<unsigned char> out(10);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 5, in.data(), nullptr, Dither, &stats), 10u);
    EXPECT_EQ(s16_values(out), (std::vector<std::int32_t>{32767, 32767, -32767, -32768, 16384}));
    EXPECT_EQ(stats.clip_count, 3u);
    EXPECT_EQ(stats.clip_peak, 9682);
    EXPECT_EQ(stats.peak_level, 1 << 28);
}

// Single steps worked by hand at 16 bits (k = 13, mask 0x1FFF, bias 4096) from lcg 0: the
// first random value is 1013904223 = 0x3C6EF35F, whose low 13 bits are 0x135F = 4959.
TEST(QuantizeDither, FeedbackHalvesTowardZeroAndClipsPullItBack) {
    ClipStats stats = {};
    // e0 = -3: y = -3, e1 = -3 / 2 = -1 (a shift would give -2), o = -3 + 4096 + 4959 = 9052,
    // q = 8192, e0 = -3 - 8192 = -8195.
    DitherState d = {{-3, 0, 0}, 0};
    EXPECT_EQ(quantize_dither(16, 0, &d, &stats), 1);
    EXPECT_EQ(d.feedback[0], -8195);
    EXPECT_EQ(d.feedback[1], -1);
    EXPECT_EQ(d.feedback[2], 0);
    EXPECT_EQ(d.lcg_state, 1013904223u);

    // Above full scale: x = 0x1000FFFF, o = x + 9055 is clipped to MAX and y to MAX too,
    // so e0 = MAX - 0x0FFFE000 = 8191 rather than the overshoot. clip_peak = 0x10000 + 9055.
    d = DitherState{};
    stats = ClipStats{};
    EXPECT_EQ(quantize_dither(16, 0x1000FFFF, &d, &stats), 32767);
    EXPECT_EQ(d.feedback[0], 8191);
    EXPECT_EQ(stats.clip_peak, 74591);

    // Below: x = MIN - 0x10000 = -268500992, o = x + 9055 = -268491937 is clipped to MIN and
    // y to MIN, so e0 = 0. clip_peak = MIN - o = 56481.
    d = DitherState{};
    stats = ClipStats{};
    EXPECT_EQ(quantize_dither(16, MIN - 0x10000, &d, &stats), -32768);
    EXPECT_EQ(d.feedback[0], 0);
    EXPECT_EQ(stats.clip_count, 1u);
    EXPECT_EQ(stats.clip_peak, 56481);
    EXPECT_EQ(stats.peak_level, 1 << 28);
}

TEST(Packers, UnknownModeOrNoSamplesWriteNothing) {
    reset_dither_states();
    const std::array<mad_fixed_t, 2> in = {MAX, MIN};
    std::array<unsigned char, 16> out{};
    out.fill(0xAA);
    ClipStats stats = {};
    const auto bogus = static_cast<OutputMode>(2);
    EXPECT_EQ(pack_u8(out.data(), 2, in.data(), in.data(), bogus, &stats), 0u);
    EXPECT_EQ(pack_s16le(out.data(), 2, in.data(), in.data(), bogus, &stats), 0u);
    EXPECT_EQ(pack_s24le(out.data(), 2, in.data(), in.data(), bogus, &stats), 0u);
    EXPECT_EQ(pack_s32le(out.data(), 2, in.data(), in.data(), static_cast<OutputMode>(-1), &stats),
              0u);
    EXPECT_EQ(pack_s16le(out.data(), 0, in.data(), in.data(), Dither, &stats), 0u);
    EXPECT_EQ(pack_s16le(out.data(), 0, in.data(), nullptr, Round, &stats), 0u);
    for (unsigned char byte : out) {
        EXPECT_EQ(byte, 0xAA);
    }
    EXPECT_EQ(stats.clip_count, 0u);
    EXPECT_EQ(stats.peak_level, 0);
    EXPECT_EQ(dither_state(0)->lcg_state, 0u);
}

TEST(PackerForBits, PicksTheNarrowestWidthThatHoldsTheDepth) {
    EXPECT_EQ(packer_for_bits(1), &pack_u8);
    EXPECT_EQ(packer_for_bits(8), &pack_u8);
    EXPECT_EQ(packer_for_bits(9), &pack_s16le);
    EXPECT_EQ(packer_for_bits(16), &pack_s16le);
    EXPECT_EQ(packer_for_bits(17), &pack_s24le);
    EXPECT_EQ(packer_for_bits(24), &pack_s24le);
    EXPECT_EQ(packer_for_bits(25), &pack_s32le);
    EXPECT_EQ(packer_for_bits(32), &pack_s32le);
    EXPECT_EQ(packer_for_bits(0), &pack_s16le);
    EXPECT_EQ(packer_for_bits(40), &pack_s32le);
}

// File order L0 R0 L1 R1: R0 clips high (peak_level MAX), then L1 clips low (peak_level 2^28).
// Channel by channel (L0 L1 R0 R1) would end on MAX. From fresh states the dither adds less
// than one 16-bit step (2^13) and the feedback stays below 2^14, so the 2^20 overshoots clip
// whatever the noise; R1 sees 0 plus R0's error 0x1FFF and stays far below the peak.
TEST(PackS16le, DitheredStereoTracksThePeakInFileOrder) {
    reset_dither_states();
    const std::array<mad_fixed_t, 2> left = {0, MIN - (1 << 20)};
    const std::array<mad_fixed_t, 2> right = {MAX + (1 << 20), 0};
    std::vector<unsigned char> out(8);
    ClipStats stats = {};
    ASSERT_EQ(pack_s16le(out.data(), 2, left.data(), right.data(), Dither, &stats), 8u);
    const std::vector<std::int32_t> values = s16_values(out);
    EXPECT_EQ(values[1], 32767);
    EXPECT_EQ(values[2], -32768);
    EXPECT_EQ(stats.clip_count, 2u);
    EXPECT_EQ(stats.peak_level, 0x10000000);
}

// The edges of the range that leaves the statistics alone, -peak_level <= s < peak_level,
// walked one sample at a time with rounding (s = x + 2^12), by the clip_and_track rules.
TEST(PackS16le, PeakLevelMovesOnlyAtTheEdgesOfItsRange) {
    ClipStats stats = {};
    stats.peak_level = 1000000;
    std::array<unsigned char, 2> out{};
    auto pack_one = [&](mad_fixed_t s) {
        const mad_fixed_t x = s - (1 << 12);
        return pack_s16le(out.data(), 1, &x, nullptr, Round, &stats);
    };
    pack_one(-1000000);  // exactly -peak: inside
    EXPECT_EQ(stats.peak_level, 1000000);
    pack_one(1000000);  // exactly +peak: at least the peak, which it stays
    EXPECT_EQ(stats.peak_level, 1000000);
    pack_one(-1000001);  // below -peak
    EXPECT_EQ(stats.peak_level, 1000001);
    pack_one(MIN);  // reaches -1.0 without clipping
    EXPECT_EQ(stats.peak_level, 0x10000000);
    EXPECT_EQ(stats.clip_count, 0u);
    pack_one(MAX);  // below 2^28: inside
    EXPECT_EQ(stats.peak_level, 0x10000000);
    pack_one(0x10000000);  // 2^28 clips to MAX, one step over
    EXPECT_EQ(stats.peak_level, MAX);
    EXPECT_EQ(stats.clip_count, 1u);
    EXPECT_EQ(stats.clip_peak, 1);
}

}  // namespace

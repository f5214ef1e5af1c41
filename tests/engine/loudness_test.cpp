// The loudness meter's block histogram against libebur128's own gating, the gain's limits, and
// a measuring decode that writes nothing and leaves the dither where it was.
#include "engine/loudness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/testing.h"
#include "engine/request.h"
#include "engine/testing.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr std::uint32_t RATE = 44100;

// A stereo programme of tone sections at levels (dBFS peak) of seconds each, the right
// channel at half the left's level, as fixed-point samples.
struct Programme {
    std::vector<mad_fixed_t> left;
    std::vector<mad_fixed_t> right;
};

Programme tones(const std::vector<std::pair<double, double>>& sections) {
    Programme p;
    for (const auto& [level, seconds] : sections) {
        const double amplitude = std::pow(10.0, level / 20.0);
        const auto n = static_cast<std::size_t>(seconds * RATE);
        for (std::size_t i = 0; i < n; ++i) {
            const double s = amplitude * std::sin(2 * M_PI * 997.0 * static_cast<double>(i) / RATE);
            p.left.push_back(static_cast<mad_fixed_t>(s * 268435456.0));
            p.right.push_back(static_cast<mad_fixed_t>(s * 0.5 * 268435456.0));
        }
    }
    return p;
}

// libebur128 fed the same samples in one go, as an independent reference for the gating.
double reference_loudness(const std::vector<const Programme*>& parts) {
    std::vector<ebur128_state*> states;
    for (const Programme* p : parts) {
        ebur128_state* state = ebur128_init(2, RATE, EBUR128_MODE_I);
        std::vector<double> interleaved;
        for (std::size_t i = 0; i < p->left.size(); ++i) {
            interleaved.push_back(p->left[i] / 268435456.0);
            interleaved.push_back(p->right[i] / 268435456.0);
        }
        ebur128_add_frames_double(state, interleaved.data(), p->left.size());
        states.push_back(state);
    }
    double lufs = 0;
    ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
    for (ebur128_state*& state : states) {
        ebur128_destroy(&state);
    }
    return lufs;
}

// Through loudness_tap in the uneven blocks a player hands over.
LoudnessFigures tapped(const Programme& p) {
    LoudnessFigures figures = {};
    LoudnessMeter meter = {};
    meter.figures = &figures;
    const std::uint32_t blocks[] = {1152, 577, 3456, 1, 1253};
    std::size_t at = 0;
    for (std::size_t k = 0; at < p.left.size(); ++k) {
        const std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::size_t>(blocks[k % 5], p.left.size() - at));
        loudness_tap(&meter, n, p.left.data() + at, p.right.data() + at, RATE);
        at += n;
    }
    figures.measured = 1;
    double lufs = 0;
    ebur128_loudness_global(meter.ebur, &lufs);
    figures.integrated_lufs = lufs;
    ebur128_destroy(&meter.ebur);
    return figures;
}

TEST(LoudnessMeter, BlockHistogramGatesLikeLibebur128) {
    // A section far below the others falls under the relative gate; silence under the
    // absolute one.
    const Programme first = tones({{-10, 3.0}, {-45, 4.0}, {-200, 1.0}, {-20, 2.3}});
    const Programme second = tones({{-30, 5.0}, {-6, 0.7}});
    const LoudnessFigures a = tapped(first);
    const LoudnessFigures b = tapped(second);
    // libebur128's own figure through the tap, and the histogram's.
    EXPECT_NEAR(a.integrated_lufs, reference_loudness({&first}), 1e-9);
    EXPECT_NEAR(loudness_of_blocks(a.blocks), reference_loudness({&first}), 0.05);
    EXPECT_NEAR(loudness_of_blocks(b.blocks), reference_loudness({&second}), 0.05);

    // Two tracks added up are one programme, gated together.
    LoudnessFigures album = {};
    loudness_add_to_album(&album, &a);
    loudness_add_to_album(&album, &b);
    EXPECT_NEAR(album.integrated_lufs, reference_loudness({&first, &second}), 0.05);
    EXPECT_EQ(album.measured, 1);

    LoudnessFigures nothing = {};
    EXPECT_EQ(loudness_of_blocks(nothing.blocks), -HUGE_VAL);
}

TEST(LoudnessGain, TargetThenTruePeakThenTheAttenuationRange) {
    LoudnessFigures f = {};
    f.measured = 1;
    f.integrated_lufs = -25.0;
    f.true_peak = std::pow(10.0, -12.0 / 20.0);
    LoudnessGain g = loudness_gain(&f, -18.0, -1.0);
    EXPECT_NEAR(g.gain_db, 7.0, 1e-9);
    EXPECT_EQ(g.limit, GAIN_ON_TARGET);
    // -12 dBTP + 7 dB would pass a -6 dBTP ceiling: only 6 dB.
    g = loudness_gain(&f, -18.0, -6.0);
    EXPECT_NEAR(g.gain_db, 6.0, 1e-9);
    EXPECT_EQ(g.limit, GAIN_LIMITED_BY_PEAK);
    f.integrated_lufs = -60.0;
    f.true_peak = std::pow(10.0, -50.0 / 20.0);
    g = loudness_gain(&f, -18.0, -1.0);
    EXPECT_EQ(g.gain_db, 18.0);
    EXPECT_EQ(g.limit, GAIN_LIMITED_BY_RANGE);
    f.integrated_lufs = -HUGE_VAL;
    g = loudness_gain(&f, -18.0, -1.0);
    EXPECT_EQ(g.gain_db, 0.0);
    EXPECT_EQ(g.limit, GAIN_NOT_MEASURABLE);
}

TEST(MeasureFile, WritesNothingAndLeavesTheDitherWhereItWas) {
    TempDir dir;
    DitherState* states[2] = {dither_state(0), dither_state(1)};
    for (DitherState* state : states) {
        state->lcg_state = 12345;
        state->feedback[0] = 77;
    }
    DitherState before[2];
    std::memcpy(before, states[0], sizeof before[0]);
    std::memcpy(before + 1, states[1], sizeof before[1]);

    const std::string input = fixture_path("stereo_44k_128.mp3");
    const std::string output = dir.file("never.wav");
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.normalize = 1;
    LoudnessFigures figures;
    ASSERT_EQ(measure_file(&request, &figures), DECODE_OK);
    EXPECT_EQ(figures.measured, 1);
    EXPECT_TRUE(std::isfinite(figures.integrated_lufs));
    EXPECT_GT(figures.true_peak, 0.0);
    EXPECT_FALSE(file_exists(output));
    EXPECT_EQ(std::memcmp(states[0], &before[0], sizeof before[0]), 0);
    EXPECT_EQ(std::memcmp(states[1], &before[1], sizeof before[1]), 0);
}

TEST(MeasureFile, DecodesOnTheThreadsAskedForAndMeasuresAsOneThreadDoes) {
    const std::string input = fixture_path("long_pause.mp3");
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    LoudnessFigures alone;
    ASSERT_EQ(measure_file(&request, &alone), DECODE_OK);
    request.threads = 2;
    LoudnessFigures shared;
    ASSERT_EQ(measure_file(&request, &shared), DECODE_OK);
    const ParallelTrace trace = parallel_trace_for_testing();
    EXPECT_GT(trace.pieces_played, 0u);
    EXPECT_EQ(trace.fell_back, 0);
    // The same samples reach the meter.
    EXPECT_EQ(shared.integrated_lufs, alone.integrated_lufs);
    EXPECT_EQ(shared.true_peak, alone.true_peak);
    EXPECT_EQ(std::memcmp(shared.blocks, alone.blocks, sizeof alone.blocks), 0);
}

namespace progress_calls {
std::vector<std::pair<std::int32_t, std::int32_t>> seen;
std::int32_t record(std::int32_t total_kib, std::int32_t done_kib) {
    seen.emplace_back(total_kib, done_kib);
    return 0;
}
}  // namespace progress_calls

TEST(LoudnessDecode, OneProgressBarThatTheMeasuringDecodeFillsToHalf) {
    TempDir dir;
    const std::string input = fixture_path("long_pause.mp3");
    const std::string output = dir.file("out.wav");
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.progress = progress_calls::record;

    // A plain decode of the file: how far its first and last calls go.
    progress_calls::seen.clear();
    ASSERT_EQ(decode_file(&request), DECODE_OK);
    const auto plain = progress_calls::seen;
    ASSERT_GE(plain.size(), 4u);

    request.loudness = 1;
    progress_calls::seen.clear();
    ASSERT_EQ(decode_file(&request), DECODE_OK);
    const auto& loud = progress_calls::seen;
    // Two decodes, each calling as often as the plain one; the bar never goes back.
    ASSERT_EQ(loud.size(), 2 * plain.size());
    for (std::size_t i = 0; i < loud.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loud[i].first, plain[0].first);
        if (i > 0) {
            EXPECT_GE(loud[i].second, loud[i - 1].second);
        }
    }
    const std::int32_t total = plain[0].first;
    // The measuring decode's calls at half the plain ones, the writing decode's after half.
    EXPECT_EQ(loud[0].second, plain[0].second / 2);
    EXPECT_LE(loud[plain.size() - 1].second, total / 2);
    EXPECT_EQ(loud[plain.size()].second, total / 2 + plain[0].second / 2);
    EXPECT_EQ(loud.back().second, total / 2 + plain.back().second / 2);
}

}  // namespace

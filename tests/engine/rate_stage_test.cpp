// The rate stage against the converter it wraps: whether the blocks are converted on a thread
// of the stage's own or on the caller's, and however the input arrives, the samples played are
// the converter's own, in order, once each; a failing output stops it cleanly.
#include "engine/rate_stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/rate_converter.h"
#include "tests/support/rate_convert.h"

namespace {

constexpr double PI = 3.14159265358979323846;

std::vector<mad_fixed_t> sine(double freq, double rate, std::size_t n) {
    std::vector<mad_fixed_t> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = static_cast<mad_fixed_t>(std::lround(
            0.5 * std::sin(2 * PI * freq * static_cast<double>(i) / rate) * 268435456.0));
    }
    return samples;
}

struct Played {
    std::vector<mad_fixed_t> left;
    std::vector<mad_fixed_t> right;
    int calls = 0;
    int fail_at = -1;  // the call that returns -1; -1: none
    bool right_seen = false;
};

int record(void* context, std::uint32_t count, const mad_fixed_t* left, const mad_fixed_t* right) {
    auto* played = static_cast<Played*>(context);
    if (played->calls++ == played->fail_at) {
        return -1;
    }
    played->left.insert(played->left.end(), left, left + count);
    if (right != nullptr) {
        played->right_seen = true;
        played->right.insert(played->right.end(), right, right + count);
    }
    return 0;
}

// The converter alone, fed in frames of 1152 as the player fed it before the stage existed.
Played reference(std::uint32_t rate_in, std::uint32_t rate_out, std::uint32_t bits,
                 const std::vector<mad_fixed_t>& left, const std::vector<mad_fixed_t>* right) {
    Played out;
    convert_whole(rate_in, rate_out, bits, left, right, 1152,
                  [&out](std::int64_t count, const mad_fixed_t* l, const mad_fixed_t* r) {
                      record(&out, static_cast<std::uint32_t>(count), l, r);
                  });
    return out;
}

// Pushes the input in frames of the sizes the decoder gives (Layer III, MPEG-2 Layer III,
// Layer I, trimmed ends) in turn, then finishes.
void push_all(RateStage* stage, const std::vector<mad_fixed_t>& left,
              const std::vector<mad_fixed_t>* right) {
    const std::uint32_t sizes[] = {1152, 576, 384, 1152, 1, 1151, 1152, 700};
    std::size_t turn = 0;
    for (std::size_t at = 0; at < left.size();) {
        const auto n = static_cast<std::uint32_t>(
            std::min<std::size_t>(sizes[turn++ % std::size(sizes)], left.size() - at));
        ASSERT_EQ(rate_stage_push(stage, n, left.data() + at,
                                  right != nullptr ? right->data() + at : nullptr),
                  0);
        at += n;
    }
    ASSERT_EQ(rate_stage_finish(stage), 0);
}

TEST(RateStage, PlaysTheConvertersSamplesOnItsOwnThreadOrTheCallers) {
    // 10 s, so that many blocks pass through the three slots; a different tone per channel.
    // The stage converts each channel on its own; the reference is one stereo converter, at
    // both precisions.
    const std::vector<mad_fixed_t> left = sine(1000, 48000, 480000);
    const std::vector<mad_fixed_t> right = sine(3000, 48000, 480000);
    for (const std::uint32_t bits : {24u, 16u}) {
        const Played expected = reference(48000, 44100, bits, left, &right);
        // 10 s at 44.1 kHz, by hand.
        ASSERT_NEAR(static_cast<double>(expected.left.size()), 441000.0, 1.0);
        for (bool own_thread : {true, false}) {
            Played played;
            RateStage* stage = rate_stage_start(2, 48000, 44100, bits, own_thread, record, &played);
            ASSERT_NE(stage, nullptr);
            EXPECT_TRUE(rate_stage_matches(stage, 2, 48000));
            EXPECT_FALSE(rate_stage_matches(stage, 1, 48000));
            EXPECT_FALSE(rate_stage_matches(stage, 2, 44100));
            push_all(stage, left, &right);
            rate_stage_release(stage);
            EXPECT_TRUE(played.left == expected.left) << own_thread << " " << bits;
            EXPECT_TRUE(played.right == expected.right) << own_thread << " " << bits;
        }
    }

    // One channel: right stays null on the way out. A 16-bit word takes the other precision, so
    // a stage that did not pass the word's size on would not match its reference here.
    const std::vector<mad_fixed_t> mono = sine(440, 22050, 66150);
    const Played expected_mono = reference(22050, 44100, 16, mono, nullptr);
    Played played_mono;
    RateStage* stage = rate_stage_start(1, 22050, 44100, 16, true, record, &played_mono);
    ASSERT_NE(stage, nullptr);
    push_all(stage, mono, nullptr);
    rate_stage_release(stage);
    EXPECT_FALSE(played_mono.right_seen);
    EXPECT_NEAR(static_cast<double>(played_mono.left.size()), 132300.0, 1.0);
    EXPECT_TRUE(played_mono.left == expected_mono.left);
}

TEST(RateStage, AFailingOutputStopsItAndReleaseStillEndsTheThread) {
    const std::vector<mad_fixed_t> left = sine(1000, 48000, 480000);
    for (bool own_thread : {true, false}) {
        Played played;
        played.fail_at = 1;
        RateStage* stage = rate_stage_start(1, 48000, 44100, 16, own_thread, record, &played);
        ASSERT_NE(stage, nullptr);
        int result = 0;
        for (std::size_t at = 0; at < left.size() && result == 0; at += 1152) {
            result = rate_stage_push(stage, 1152, left.data() + at, nullptr);
        }
        EXPECT_EQ(result, RATE_STAGE_PLAY_FAILED) << own_thread;
        EXPECT_EQ(played.calls, 2) << own_thread;
        // Released with blocks still queued: the thread ends without playing them.
        rate_stage_release(stage);
        EXPECT_EQ(played.calls, 2) << own_thread;
    }
    EXPECT_EQ(rate_stage_start(2, 7999, 44100, 16, true, record, nullptr), nullptr);
    rate_stage_release(nullptr);
}

}  // namespace

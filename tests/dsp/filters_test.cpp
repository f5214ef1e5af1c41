#include "dsp/filters.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "dsp/testing.h"

namespace {

constexpr mad_fixed_t ONE = 0x10000000;

// A decoded frame built by hand: only the header fields the filters read are set.
struct TestFrame {
    mad_frame frame;

    TestFrame(mad_layer layer, mad_mode mode, unsigned samplerate, unsigned long samples,
              int flags = 0) {
        mad_frame_init(&frame);
        frame.header.layer = layer;
        frame.header.mode = mode;
        frame.header.flags = flags;
        frame.header.samplerate = samplerate;
        mad_timer_set(&frame.header.duration, 0, samples, samplerate);
    }
    ~TestFrame() { mad_frame_finish(&frame); }
    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;

    void fill(mad_fixed_t value) {
        for (auto& channel : frame.sbsample) {
            for (auto& slot : channel) {
                for (mad_fixed_t& sample : slot) {
                    sample = value;
                }
            }
        }
    }
    mad_fixed_t& at(int ch, int slot, int sb) { return frame.sbsample[ch][slot][sb]; }
};

// A layer III frame of 1152 samples at 44100 Hz, all subband samples at `value`.
struct StereoFrame : TestFrame {
    explicit StereoFrame(mad_fixed_t value = 0)
        : TestFrame(MAD_LAYER_III, MAD_MODE_JOINT_STEREO, 44100, 1152) {
        fill(value);
    }
};

// The fade filter's record with the two clocks it reads, which the player owns otherwise.
struct Fade {
    mad_timer_t total_time = mad_timer_zero;
    mad_timer_t play_timer = mad_timer_zero;
    FadeState state;

    Fade() { fade_state_init(&state, &total_time, &play_timer); }
    Fade(const Fade&) = delete;
    Fade& operator=(const Fade&) = delete;
};

mad_timer_t samples_at_44100(unsigned long samples) {
    mad_timer_t t;
    mad_timer_set(&t, 0, samples, 44100);
    return t;
}

mad_timer_t seconds(unsigned long s) {
    mad_timer_t t;
    mad_timer_set(&t, s, 0, 0);
    return t;
}

// Level = sum |sample >> 21| / ((nch * ns * 32) >> 6). One sample of k << 21 contributes k.
TEST(FrameLevel, DividesBySixtyFourthsOfTheSampleCount) {
    StereoFrame stereo;  // 2 * 36 * 32 = 2304 samples, divisor 36
    stereo.at(1, 35, 31) = 36 << 21;
    EXPECT_EQ(frame_level(&stereo.frame), 1u);
    stereo.at(1, 35, 31) = 35 << 21;
    EXPECT_EQ(frame_level(&stereo.frame), 0u);

    TestFrame layer1(MAD_LAYER_I, MAD_MODE_SINGLE_CHANNEL, 44100, 384);  // 384, divisor 6
    layer1.at(0, 11, 0) = 6 << 21;
    EXPECT_EQ(frame_level(&layer1.frame), 1u);
    layer1.at(1, 0, 0) = 100 << 21;  // second channel of a mono frame is not counted
    EXPECT_EQ(frame_level(&layer1.frame), 1u);

    TestFrame lsf(MAD_LAYER_III, MAD_MODE_SINGLE_CHANNEL, 22050, 576, MAD_FLAG_LSF_EXT);
    lsf.at(0, 17, 5) = -(18 << 21);  // 576, divisor 9
    EXPECT_EQ(frame_level(&lsf.frame), 2u);

    // The shift is arithmetic: -1 >> 21 is -1, so 2304 samples of -1 give 2304 / 36 = 64,
    // while samples of +1 give 0.
    StereoFrame minus_one(-1);
    EXPECT_EQ(frame_level(&minus_one.frame), 64u);
    StereoFrame plus_one(1);
    EXPECT_EQ(frame_level(&plus_one.frame), 0u);
}

TEST(MonoFilter, AveragesIntoTheFirstChannelTruncatingTowardZero) {
    StereoFrame stereo;
    stereo.at(0, 0, 0) = 3;
    stereo.at(1, 0, 0) = 4;  // 7 / 2 = 3
    stereo.at(0, 35, 31) = -3;
    stereo.at(1, 35, 31) = -4;  // -7 / 2 = -3, where a shift would give -4
    stereo.at(0, 10, 7) = ONE;
    stereo.at(1, 10, 7) = -ONE + 2;  // 2 / 2 = 1
    EXPECT_EQ(mono_filter(nullptr, &stereo.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(stereo.frame.header.mode, MAD_MODE_SINGLE_CHANNEL);
    EXPECT_EQ(stereo.at(0, 0, 0), 3);
    EXPECT_EQ(stereo.at(0, 35, 31), -3);
    EXPECT_EQ(stereo.at(0, 10, 7), 1);

    TestFrame mono(MAD_LAYER_III, MAD_MODE_SINGLE_CHANNEL, 44100, 1152);
    mono.at(0, 0, 0) = 3;
    mono.at(1, 0, 0) = 4;
    EXPECT_EQ(mono_filter(nullptr, &mono.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(mono.at(0, 0, 0), 3);
}

// -6 dB is the factor 134536424 (about 0.501). By hand: 1.0 -> 134536424;
// 3 * 134536424 = 403609272, / 2^28 = 1.50 -> 1; -1 * 134536424 / 2^28 = -0.50 -> -1
// (toward minus infinity).
TEST(GainFilter, MultipliesEverySubbandByItsFactorTruncatingDown) {
    GainTable table = {};
    for (auto& channel : table.factor) {
        for (mad_fixed_t& factor : channel) {
            factor = 134536424;
        }
    }
    table.factor[1][4] = ONE;  // a factor of exactly 1.0 leaves its subband alone

    StereoFrame stereo(ONE);
    stereo.at(0, 2, 0) = 3;
    stereo.at(1, 35, 31) = -1;
    stereo.at(1, 7, 4) = 12345;
    EXPECT_EQ(gain_filter(&table, &stereo.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(stereo.at(0, 0, 0), 134536424);
    EXPECT_EQ(stereo.at(1, 20, 9), 134536424);
    EXPECT_EQ(stereo.at(0, 2, 0), 1);
    EXPECT_EQ(stereo.at(1, 35, 31), -1);
    EXPECT_EQ(stereo.at(1, 7, 4), 12345);
    EXPECT_EQ(stereo.at(0, 7, 4), 134536424);

    // A mono frame's second channel is not touched, nor slots past ns.
    TestFrame layer1(MAD_LAYER_I, MAD_MODE_SINGLE_CHANNEL, 44100, 384);
    layer1.fill(ONE);
    gain_filter(&table, &layer1.frame);
    EXPECT_EQ(layer1.at(0, 11, 0), 134536424);
    EXPECT_EQ(layer1.at(0, 12, 0), ONE);
    EXPECT_EQ(layer1.at(1, 0, 0), ONE);
}

TEST(GainTable, StartsAtUnityAndIsFilledWhole) {
    GainTable* table = gain_table();
    ASSERT_EQ(table, gain_table());
    for (const auto& channel : table->factor) {
        for (const mad_fixed_t factor : channel) {
            EXPECT_EQ(factor, ONE);
        }
    }
    gain_table_fill(134536424);
    EXPECT_EQ(table->factor[0][0], 134536424);
    EXPECT_EQ(table->factor[1][31], 134536424);
    gain_table_fill(ONE);
}

TEST(LeadingSilence, DropsFramesUntilTheFirstOfLevelTwelve) {
    Fade fade;
    FadeState& state = fade.state;
    // One sample of (k * 36) << 21 in a stereo 36-slot frame gives level k.
    StereoFrame quiet;
    quiet.at(0, 0, 0) = (11 * 36) << 21;
    StereoFrame loud;
    loud.at(0, 0, 0) = (12 * 36) << 21;
    StereoFrame silent;
    ASSERT_EQ(frame_level(&quiet.frame), 11u);
    ASSERT_EQ(frame_level(&loud.frame), 12u);

    // Off: nothing is dropped.
    state.in_leading_silence = 1;
    EXPECT_EQ(fade_filter(&state, &silent.frame), MAD_FLOW_CONTINUE);

    state.silence_enabled = 1;
    EXPECT_EQ(fade_filter(&state, &silent.frame), MAD_FLOW_IGNORE);
    EXPECT_EQ(fade_filter(&state, &quiet.frame), MAD_FLOW_IGNORE);
    EXPECT_EQ(state.in_leading_silence, 1);
    EXPECT_EQ(fade_filter(&state, &loud.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(state.in_leading_silence, 0);
    // The flag never comes back: silence after the first loud frame is a quiet run.
    EXPECT_EQ(leading_silence_check(&state, &silent.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(state.in_leading_silence, 0);
}

// Frames of 1152 samples at 44100 Hz: 76 of them last 87552 samples (1.985 s), 77 last
// 88704 (2.011 s). A 5 s pause (191 frames) keeps the first 76 and drops the rest.
TEST(LongSilence, KeepsTheFirstTwoSecondsOfEachQuietRun) {
    Fade fade;
    FadeState& state = fade.state;
    state.silence_enabled = 1;
    StereoFrame silent;
    StereoFrame loud;
    loud.at(0, 0, 0) = (24 * 36) << 21;  // level 24
    StereoFrame medium;
    medium.at(0, 0, 0) = (23 * 36) << 21;  // level 23: ends leading silence, but is quiet

    EXPECT_EQ(fade_filter(&state, &medium.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(state.in_leading_silence, 0);
    EXPECT_EQ(mad_timer_compare(state.quiet_run, samples_at_44100(1152)), 0);
    EXPECT_EQ(fade_filter(&state, &loud.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(mad_timer_sign(state.quiet_run), 0);

    int kept = 0;
    int dropped = 0;
    for (int k = 0; k < 191; ++k) {
        if (fade_filter(&state, &silent.frame) == MAD_FLOW_CONTINUE) {
            EXPECT_EQ(dropped, 0) << "a kept frame after a dropped one at " << k;
            ++kept;
        } else {
            ++dropped;
        }
    }
    EXPECT_EQ(kept, 76);
    EXPECT_EQ(dropped, 115);
    // A loud frame ends the run.
    EXPECT_EQ(fade_filter(&state, &loud.frame), MAD_FLOW_CONTINUE);
    EXPECT_EQ(fade_filter(&state, &silent.frame), MAD_FLOW_CONTINUE);
}

// A run of exactly 2 s is kept: only a longer one is dropped. Quarter-second frames.
TEST(LongSilence, ARunOfExactlyTheLimitIsKept) {
    Fade fade;
    FadeState& state = fade.state;
    state.silence_enabled = 1;
    TestFrame quarter(MAD_LAYER_III, MAD_MODE_JOINT_STEREO, 44100, 11025);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(long_silence_check(&state, &quarter.frame), MAD_FLOW_CONTINUE) << k;
    }
    EXPECT_EQ(long_silence_check(&state, &quarter.frame), MAD_FLOW_IGNORE);

    // Still in leading silence: the long-silence rule does not apply.
    Fade leading_fade;
    FadeState& leading = leading_fade.state;
    leading.silence_enabled = 1;
    leading.in_leading_silence = 1;
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(long_silence_check(&leading, &quarter.frame), MAD_FLOW_CONTINUE);
    }
    EXPECT_EQ(mad_timer_sign(leading.quiet_run), 0);
}

// 5 s at 44100 Hz: count 220500, step 0x10000000 / (220500 / 32 = 6890) = 38960. On samples
// of 1.0 the product is the gain itself.
TEST(FadeIn, StartsAtZeroAndRisesOneStepPerSlot) {
    Fade fade;
    FadeState& state = fade.state;
    state.fade_in = seconds(5);
    StereoFrame first(ONE);
    EXPECT_EQ(fade_filter(&state, &first.frame), MAD_FLOW_CONTINUE);
    for (int s = 0; s < 36; ++s) {
        EXPECT_EQ(first.at(0, s, 0), 38960 * s) << s;
        EXPECT_EQ(first.at(1, s, 31), 38960 * s) << s;
    }

    // The second frame starts at 1152 / 220500 of full gain: 2^28 * 1152 / 220500 =
    // 1402438.3 -> 1402438.
    fade.play_timer = samples_at_44100(1152);
    StereoFrame second(ONE);
    apply_fade_in(&state, &second.frame);
    EXPECT_EQ(second.at(0, 0, 0), 1402438);
    EXPECT_EQ(second.at(0, 1, 0), 1402438 + 38960);

    // Past the fade nothing changes.
    fade.play_timer = seconds(5);
    StereoFrame after(ONE);
    apply_fade_in(&state, &after.frame);
    EXPECT_EQ(after.at(0, 0, 0), ONE);
}

// A 1 s fade ending 324 samples into a frame that starts at sample 43776: 324 / 1152 of 36
// slots = 10.125 -> 10 slots faded. Start gain 2^28 * 43776 / 44100 = 266463277 (bc),
// step 2^28 / (44100 / 32 = 1378) = 194800.
TEST(FadeIn, EndsInsideTheFrame) {
    Fade fade;
    FadeState& state = fade.state;
    state.fade_in = seconds(1);
    fade.play_timer = samples_at_44100(43776);
    StereoFrame frame(ONE);
    apply_fade_in(&state, &frame.frame);
    EXPECT_EQ(frame.at(0, 0, 0), 266463277);
    EXPECT_EQ(frame.at(1, 9, 3), 266463277 + 9 * 194800);
    EXPECT_EQ(frame.at(0, 10, 0), ONE);
    EXPECT_EQ(frame.at(1, 35, 0), ONE);
}

// With no measured length (T = 0) every frame ending before the fade-out length F is silent
// (its distance from T exceeds T); from F on the frames pass unchanged.
TEST(FadeOut, SilencesEarlyFramesWhenTheLengthIsUnknown) {
    Fade fade;
    FadeState& state = fade.state;
    state.fade_out = seconds(5);

    StereoFrame first(ONE);
    EXPECT_EQ(fade_filter(&state, &first.frame), MAD_FLOW_CONTINUE);
    for (int s = 0; s < 36; ++s) {
        EXPECT_EQ(first.at(0, s, 0), 0) << s;
        EXPECT_EQ(first.at(1, s, 31), 0) << s;
    }

    fade.play_timer = samples_at_44100(5 * 44100 - 1153);  // ends 1 sample before 5 s
    StereoFrame last(ONE);
    apply_fade_out(&state, &last.frame);
    EXPECT_EQ(last.at(0, 35, 0), 0);

    fade.play_timer = samples_at_44100(5 * 44100 - 1152);  // ends at 5 s exactly
    StereoFrame at_f(ONE);
    apply_fade_out(&state, &at_f.frame);
    EXPECT_EQ(at_f.at(0, 0, 0), ONE);
}

TEST(FadeOut, TheFrameEndingAtTheLengthIsSilent) {
    Fade fade;
    FadeState& state = fade.state;
    fade.total_time = seconds(10);
    state.fade_out = seconds(5);
    fade.play_timer = samples_at_44100(10 * 44100 - 1152);
    StereoFrame frame(ONE);
    apply_fade_out(&state, &frame.frame);
    for (int s = 0; s < 36; ++s) {
        EXPECT_EQ(frame.at(0, s, 0), 0) << s;
    }
}

// T = 10 s, F = 1 s, the frame ends 324 samples after T - F: G = F - 324 samples, so
// 324 / 1152 * 36 = 10.125 -> 10 slots are faded and the first 26 keep their level. The
// fade starts at 2^28 * 43776 / 44100 = 266463277 and falls by 194800 per slot.
TEST(FadeOut, BeginsInsideTheFrame) {
    Fade fade;
    FadeState& state = fade.state;
    fade.total_time = seconds(10);
    state.fade_out = seconds(1);
    fade.play_timer = samples_at_44100(9 * 44100 + 324 - 1152);
    StereoFrame frame(ONE);
    apply_fade_out(&state, &frame.frame);
    EXPECT_EQ(frame.at(0, 25, 0), ONE);
    EXPECT_EQ(frame.at(0, 26, 0), 266463277);
    EXPECT_EQ(frame.at(1, 27, 5), 266463277 - 194800);
    EXPECT_EQ(frame.at(0, 35, 0), 266463277 - 9 * 194800);
}

// Fades shorter than one slot (32 samples) have no per-slot step; the gain moves over the
// whole range in one slot. Frames of real length are not touched at all by such fades, and
// a frame shorter than its slots (possible only by hand) must still be handled safely.
TEST(Fades, ShorterThanOneSlotAreSafe) {
    Fade fade;
    FadeState& state = fade.state;
    state.fade_in = samples_at_44100(20);
    StereoFrame real(ONE);
    apply_fade_in(&state, &real.frame);
    EXPECT_EQ(real.at(0, 0, 0), ONE);

    TestFrame tiny(MAD_LAYER_I, MAD_MODE_SINGLE_CHANNEL, 44100, 10);
    tiny.fill(ONE / 4);
    apply_fade_in(&state, &tiny.frame);
    EXPECT_EQ(tiny.at(0, 0, 0), 0);
    EXPECT_EQ(tiny.at(0, 1, 0), ONE / 4);

    Fade out_fade;
    FadeState& out = out_fade.state;
    out_fade.total_time = samples_at_44100(10);
    out.fade_out = samples_at_44100(20);
    TestFrame tiny_out(MAD_LAYER_I, MAD_MODE_SINGLE_CHANNEL, 44100, 10);
    tiny_out.fill(ONE);
    apply_fade_out(&out, &tiny_out.frame);  // ends at T: gain 0 from the first slot
    EXPECT_EQ(tiny_out.at(0, 0, 0), 0);
    EXPECT_EQ(tiny_out.at(0, 11, 0), 0);
}

}  // namespace

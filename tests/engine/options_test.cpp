#include "engine/options.h"

#include <gtest/gtest.h>

#include "engine/player.h"

namespace {

// Milliseconds of a timer, for readable expectations.
long ms(const char* text) {
    mad_timer_t value;
    EXPECT_EQ(parse_time(text, &value), 0) << text;
    return mad_timer_count(value, MAD_UNITS_MILLISECONDS);
}

TEST(ParseTime, AcceptsEveryDocumentedForm) {
    EXPECT_EQ(ms("90"), 90000);
    EXPECT_EQ(ms("1:30"), 90000);
    EXPECT_EQ(ms("0:01:30"), 90000);
    EXPECT_EQ(ms("1:02:03"), 3723000);
    EXPECT_EQ(ms("2.5"), 2500);
    EXPECT_EQ(ms("0:02.5"), 2500);
    EXPECT_EQ(ms("3/2"), 1500);
    EXPECT_EQ(ms("1:30/2"), 45000);
    EXPECT_EQ(ms("10-2"), 8000);
    EXPECT_EQ(ms("-3"), -3000);
    EXPECT_EQ(ms("5+0.5"), 5500);
    EXPECT_EQ(ms("1:"), 60000);
    EXPECT_EQ(ms(""), 0);
    EXPECT_EQ(ms("  7  "), 7000);
    EXPECT_EQ(ms("1:-5"), 55000);  // "1:" ends the term, "-5" starts the next

    // 1/75 s is exactly 4704000 timer units (352800000 / 75).
    mad_timer_t value;
    ASSERT_EQ(parse_time("1/75", &value), 0);
    EXPECT_EQ(value.seconds, 0);
    EXPECT_EQ(value.fraction, 352800000ul / 75);
}

TEST(ParseTime, RefusesTrailingTextAndNegativeParts) {
    mad_timer_t value;
    EXPECT_EQ(parse_time("abc", &value), -1);
    EXPECT_EQ(parse_time("5s", &value), -1);
    EXPECT_EQ(parse_time("2.-5", &value), -1);
    EXPECT_EQ(parse_time("3/-2", &value), -1);
    // Absurd digit runs must not overflow into undefined behaviour.
    EXPECT_EQ(parse_time("99999999999999999999999:99999999999999999999", &value), 0);
}

TEST(ParseDecibel, AcceptsUnitInAnyCaseWithBlanks) {
    double value = 0;
    for (const char* text : {"-6", "-6dB", "-6 db", " -6 DB ", "-6Db"}) {
        ASSERT_EQ(parse_decibel(text, &value), 0) << text;
        EXPECT_DOUBLE_EQ(value, -6.0);
    }
    EXPECT_EQ(parse_decibel("-6 dBx", &value), -1);
    EXPECT_EQ(parse_decibel("-6 d", &value), -1);
}

TEST(DecibelToGain, MatchesWorkedExamples) {
    // 10^(dB/20) * 2^28 + 0.5, truncated; values worked out with a calculator.
    EXPECT_EQ(decibel_to_gain("0"), 268435456);
    EXPECT_EQ(decibel_to_gain("-6"), 134536424);
    EXPECT_EQ(decibel_to_gain("+6"), 535599149);
    EXPECT_EQ(decibel_to_gain("18"), 2132258619);
    EXPECT_EQ(decibel_to_gain("-175"), 0);
}

TEST(DecibelToGain, EndsProcessOnBadTexts) {
    EXPECT_EXIT(decibel_to_gain("19"), testing::ExitedWithCode(1),
                "^pelmora: decibel value must be in the range -175 to \\+18\n$");
    EXPECT_EXIT(decibel_to_gain("-175.5"), testing::ExitedWithCode(1), "range");
    EXPECT_EXIT(decibel_to_gain("nan"), testing::ExitedWithCode(1), "range");
    EXPECT_EXIT(decibel_to_gain("loud"), testing::ExitedWithCode(1),
                "^pelmora: invalid decibel specification \"loud\"\n$");
}

TEST(ParseTimeOption, EndsProcessOnInvalidOrNonPositive) {
    EXPECT_EXIT(parse_time_option("0", "fade-in time", true), testing::ExitedWithCode(1),
                "^pelmora: fade-in time must be positive\n$");
    EXPECT_EXIT(parse_time_option("-1", "fade-out time", true), testing::ExitedWithCode(1),
                "fade-out time must be positive");
    EXPECT_EXIT(parse_time_option("abc", "gap time", false), testing::ExitedWithCode(1),
                "^pelmora: invalid gap time specification \"abc\"\n$");
    mad_timer_t gap = parse_time_option("-2", "gap time", false);
    EXPECT_EQ(mad_timer_count(gap, MAD_UNITS_SECONDS), -2);
}

TEST(ParseBitDepth, TakesLeadingDigitsAndRefusesNonPositive) {
    EXPECT_EQ(parse_bit_depth("16abc"), 16u);
    EXPECT_EQ(parse_bit_depth("40"), 40u);
    EXPECT_EXIT(parse_bit_depth("0"), testing::ExitedWithCode(1),
                "^pelmora: invalid bit depth \"0\"\n$");
    EXPECT_EXIT(parse_bit_depth("x"), testing::ExitedWithCode(1), "invalid bit depth \"x\"");
}

TEST(CompareNocase, StopsAtFirstDifferenceOrEndOfFirst) {
    EXPECT_EQ(compare_nocase("dB", "DB", 2), 0);
    EXPECT_EQ(compare_nocase("abc", "abd", 3), 'c' - 'd');
    EXPECT_EQ(compare_nocase("abc", "abd", 2), 0);
    EXPECT_EQ(compare_nocase("x", "y", 0), 0);
    EXPECT_EQ(compare_nocase("", "a", 5), -'a');
    EXPECT_EQ(compare_nocase("ab", "ab", 10), 0);  // stops at the NUL of the first
}

DecodeRequest base_request() {
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = "in.mp3";
    request.play_length_ms = 0;
    request.progress = nullptr;
    return request;
}

TEST(ApplyRequest, LaterSwitchesWinInTheFixedOrder) {
    DecodeRequest request = base_request();
    request.channel_text = "2";
    request.mono = 1;
    request.stereo = 1;
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, &request);
    EXPECT_EQ(state.select, SELECT_STEREO);

    request.stereo = 0;
    player_init(&state);
    player_apply_request(&state, &request);
    EXPECT_EQ(state.select, SELECT_MONO);

    request.mono = 0;
    player_init(&state);
    player_apply_request(&state, &request);
    EXPECT_EQ(state.select, SELECT_RIGHT);
}

TEST(ApplyRequest, MapsTextsAndSwitchesOntoTheState) {
    DecodeRequest request = base_request();
    request.fade_in_text = "5";
    request.fade_out_text = "1:00";
    request.attenuation_text = "-6";
    request.bit_depth_text = "8";
    request.no_dither = 1;
    request.skip_silence = 1;
    request.normalize = 1;
    request.play_length_ms = 1500;
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, &request);

    EXPECT_EQ(state.flags,
              FLAG_FADE_IN | FLAG_FADE_OUT | FLAG_SKIP_SILENCE | FLAG_GAP | FLAG_NORMALIZE);
    EXPECT_EQ(mad_timer_count(state.fade.fade_in, MAD_UNITS_SECONDS), 5);
    EXPECT_EQ(mad_timer_count(state.fade.fade_out, MAD_UNITS_SECONDS), 60);
    EXPECT_EQ(mad_timer_count(state.total_time, MAD_UNITS_MILLISECONDS), 1500);
    EXPECT_EQ(state.attenuation, 134536424);
    EXPECT_EQ(state.precision_in, 8u);
    EXPECT_EQ(state.mode, Round);
    EXPECT_EQ(state.fade.silence_enabled, 1);
    EXPECT_EQ(state.fade.in_leading_silence, 1);
    ASSERT_EQ(state.count, 1);
    EXPECT_STREQ(state.entries[0], "in.mp3");
    EXPECT_EQ(mad_timer_count(state.fade.quiet_limit, MAD_UNITS_SECONDS), 2);
    // The fade filter reads the player's own clocks.
    EXPECT_EQ(state.fade.total_time, &state.total_time);
    EXPECT_EQ(state.fade.play_timer, &state.play_timer);
}

TEST(ApplyRequest, ReportsTheFirstInvalidTextInOrder) {
    // Attenuation comes before the bit depth, the gap before the fade-in.
    DecodeRequest request = base_request();
    request.attenuation_text = "99";
    request.bit_depth_text = "0";
    PlayerState state;
    player_init(&state);
    EXPECT_EXIT(player_apply_request(&state, &request), testing::ExitedWithCode(1), "range");

    request = base_request();
    request.gap_text = "x";
    request.fade_in_text = "0";
    EXPECT_EXIT(player_apply_request(&state, &request), testing::ExitedWithCode(1),
                "invalid gap time");
}

// The front ends' early check gives the decoder's own messages and exit status, in the
// decoder's order, and says nothing when every text is valid (the input file "in.mp3" does
// not exist: nothing is opened).
TEST(CheckRequestTexts, RefusesAsTheDecoderWouldAndIsSilentOtherwise) {
    DecodeRequest request = base_request();
    request.fade_in_text = "5";
    request.fade_out_text = "1:00";
    request.gap_text = "-2";
    request.attenuation_text = "-6 dB";
    request.bit_depth_text = "24";
    request.channel_text = "x";  // taken as a number like atoi does, never refused
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    check_request_texts(&request);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    request.attenuation_text = "99";
    request.bit_depth_text = "0";
    EXPECT_EXIT(check_request_texts(&request), testing::ExitedWithCode(1),
                "^pelmora: decibel value must be in the range -175 to \\+18\n$");
    request.attenuation_text = "";
    EXPECT_EXIT(check_request_texts(&request), testing::ExitedWithCode(1),
                "^pelmora: invalid bit depth \"0\"\n$");
    request.bit_depth_text = "16";
    request.gap_text = "x";
    request.fade_in_text = "0";
    EXPECT_EXIT(check_request_texts(&request), testing::ExitedWithCode(1),
                "^pelmora: invalid gap time specification \"x\"\n$");
    request.gap_text = "";
    EXPECT_EXIT(check_request_texts(&request), testing::ExitedWithCode(1),
                "^pelmora: fade-in time must be positive\n$");
    request.fade_in_text = "";
    request.fade_out_text = "1:x";
    EXPECT_EXIT(check_request_texts(&request), testing::ExitedWithCode(1),
                "^pelmora: invalid fade-out time specification \"1:x\"\n$");
}

}  // namespace

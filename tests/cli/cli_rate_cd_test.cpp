// --rate, --cd and --cue as a user runs them: the WAV files read back by the independent RIFF
// parser, numpy (tests/support/tone_analysis.py) and sox as the reference resampler, and the cue
// sheets by cueprint (Debian cuetools). A test whose tool is missing is skipped with the
// package to install (scripts/install-deps.sh has them all).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"
#include "tests/support/tone_analysis.h"

namespace {

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::size_t frames_of(const ParsedWav& wav) {
    return wav.block_align != 0 ? wav.data_size / wav.block_align : 0;
}

TEST(CliRate, AStreamAlreadyAtTheRatePassesUntouched) {
    TempDir dir;
    const std::string input = fixture_path("stereo_44k_128.mp3");
    ASSERT_EQ(run_cli({"-q", "-o", dir.file("plain"), input}, dir).status, 0);
    ASSERT_EQ(run_cli({"-q", "--rate", "44100", "-o", dir.file("rate"), input}, dir).status, 0);
    const std::vector<unsigned char> plain = read_file_bytes(dir.file("plain/stereo_44k_128.wav"));
    ASSERT_GT(plain.size(), 44u);
    EXPECT_EQ(read_file_bytes(dir.file("rate/stereo_44k_128.wav")), plain);

    // Another rate: the header says so and the tones stay on their channels.
    ASSERT_EQ(run_cli({"-q", "--rate", "32000", "-o", dir.file("r32"), input}, dir).status, 0);
    const ParsedWav wav = parse_wav_file(dir.file("r32/stereo_44k_128.wav"));
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.sample_rate, 32000u);
    EXPECT_EQ(wav.byte_rate, 128000u);
    // 116 frames of 1152 samples at 44100 Hz are 133632 samples; at 32000 Hz 96966.5.
    EXPECT_NEAR(static_cast<double>(frames_of(wav)), 96966.5, 1.0);
    EXPECT_EQ(tone_faults(wav, 0, 0.2, 2.8, LEFT_TONE, 30.0), "");
    EXPECT_EQ(tone_faults(wav, 1, 0.2, 2.8, RIGHT_TONE, 30.0), "");
}

TEST(CliRate, RateChangesInsideAStreamReachTheOneOutputRate) {
    TempDir dir;
    // 78 frames at 44100 Hz, then 85 at 48000 Hz (tests/data/README.md): 89856 + 97920
    // samples, 2.0376 s + 2.04 s, at 32000 Hz 65201.6 + 65280 = 130481.6 samples.
    ASSERT_EQ(
        run_cli({"-q", "--rate", "32000", "-o", dir.path(), fixture_path("rate_change.mp3")}, dir)
            .status,
        0);
    const ParsedWav wav = parse_wav_file(dir.file("rate_change.wav"));
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.sample_rate, 32000u);
    EXPECT_NEAR(static_cast<double>(frames_of(wav)), 130481.6, 1.0);
    for (const auto& [from, to] : {std::pair{0.2, 1.8}, std::pair{2.3, 3.8}}) {
        EXPECT_EQ(tone_faults(wav, 0, from, to, LEFT_TONE, 30.0), "");
        EXPECT_EQ(tone_faults(wav, 1, from, to, RIGHT_TONE, 30.0), "");
    }
}

TEST(CliCd, MonoAt32kAnd22kBecomesCdAudioOfTheRightLength) {
    TempDir dir;
    // Source samples from tests/data/exact/manifest.txt; --cd cuts the encoder's delay and
    // padding, so the WAV holds them at 44100 Hz: 64000 x 44100 / 32000 and 44100 x 2.
    struct Case {
        const char* name;
        double frames;
    };
    for (const Case& c : {Case{"cbr128_32k_m_2s", 88200.0}, Case{"cbr64_22k_m_2s", 88200.0}}) {
        ASSERT_EQ(run_cli({"-q", "--cd", "-o", dir.path(),
                           fixture_path(std::string("exact/") + c.name + ".mp3")},
                          dir)
                      .status,
                  0);
        const ParsedWav wav = parse_wav_file(dir.file(std::string(c.name) + ".wav"));
        ASSERT_TRUE(wav.ok) << wav.error;
        EXPECT_EQ(wav.sample_rate, 44100u) << c.name;
        EXPECT_EQ(wav.channels, 2u) << c.name;
        EXPECT_EQ(wav.bits_per_sample, 16u) << c.name;
        EXPECT_NEAR(static_cast<double>(frames_of(wav)), c.frames, 1.0) << c.name;
        const std::vector<std::int16_t> samples = samples_s16(wav);
        std::size_t differing = 0;
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
            differing += samples[i] != samples[i + 1] ? 1 : 0;
        }
        // Both channels come from the one converted channel; only the dither differs.
        EXPECT_LE(differing, samples.size() / 2) << c.name;
        EXPECT_EQ(tone_faults(wav, 0, 0.2, 1.8, LEFT_TONE, 30.0), "") << c.name;
        EXPECT_EQ(tone_faults(wav, 1, 0.2, 1.8, LEFT_TONE, 30.0), "") << c.name;
    }
    // What a burner needs leaves nothing to choose.
    const RunResult refused =
        run_cli({"--cd", "--bits", "8", "-o", dir.path(), fixture_path("stereo_44k_128.mp3")}, dir);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--cd is 44100 Hz, 16-bit stereo"), std::string::npos);
    const RunResult low = run_cli({"--rate", "7999", "-o", dir.path(), "x.mp3"}, dir);
    EXPECT_EQ(low.status, 2);
    EXPECT_NE(low.err.find("--rate takes a whole number of Hz from 8000 to 192000"),
              std::string::npos);
}

// The 48 kHz stereo fixture (440 Hz left) decoded at its own rate and at 44100 Hz, both 24-bit
// without dither: the resampled tone must be as clean as the 48 kHz decode and match sox's
// very-high-quality resampler applied to that decode.
TEST(CliRate, ResampledMp3IsAsCleanAsItsOwnDecodeAndMatchesSox) {
    if (!numpy_available()) {
        GTEST_SKIP() << "numpy is not installed for /usr/bin/python3 (python3-numpy)";
    }
    if (!installed("sox")) {
        GTEST_SKIP() << "sox is not installed (Debian package sox)";
    }
    TempDir dir;
    const std::string input = fixture_path("exact/cbr128_48k_s_2s.mp3");
    ASSERT_EQ(
        run_cli({"-q", "--bits", "24", "--no-dither", "-o", dir.file("own"), input}, dir).status,
        0);
    ASSERT_EQ(run_cli({"-q", "--bits", "24", "--no-dither", "--rate", "44100", "-o", dir.file("cd"),
                       input},
                      dir)
                  .status,
              0);
    const std::string own = dir.file("own/cbr128_48k_s_2s.wav");
    const std::string ours = dir.file("cd/cbr128_48k_s_2s.wav");
    const std::string sox = dir.file("sox.wav");
    ASSERT_EQ(
        run_shell("sox -D " + shell_quote(own) + " -b 24 " + shell_quote(sox) + " rate -v 44100",
                  dir)
            .status,
        0);

    const auto reference =
        spectrum_figures({"tone", own, "0", "48000", "0.5", "1", "440", "20000"});
    const auto resampled =
        spectrum_figures({"tone", ours, "0", "44100", "0.5", "1", "440", "20000"});
    ASSERT_EQ(reference.count("spurious_db"), 1u);
    ASSERT_EQ(resampled.count("spurious_db"), 1u);
    EXPECT_NEAR(resampled.at("tone_db"), reference.at("tone_db"), 0.05);
    EXPECT_LE(resampled.at("spurious_db"), reference.at("spurious_db") + 1.0);

    const auto versus_sox = spectrum_figures({"diff", sox, ours, "0", "4410", "79380"});
    ASSERT_EQ(versus_sox.count("diff_db"), 1u);
    EXPECT_LE(versus_sox.at("diff_db"), -90.0);
}

TEST(CliCue, OneSheetPerFolderInNameOrderThatCueprintReads) {
    if (!installed("cueprint")) {
        GTEST_SKIP() << "cueprint is not installed (Debian package cuetools)";
    }
    TempDir dir;
    // Track 10 after track 2 (numbers by value); a title with a double quote.
    const std::vector<unsigned char> audio = read_file_bytes(fixture_path("quiet.mp3"));
    const std::string album = dir.file("Album");
    ASSERT_EQ(run_shell("mkdir " + shell_quote(album), dir).status, 0);
    write_file_bytes(album + "/track 10.mp3",
                     concat(audio, id3v1_tag("Last", "Band", "Disc", "2026", "", 10, 17)));
    write_file_bytes(album + "/track 2.mp3",
                     concat(audio, id3v1_tag("Say \"Hi\"", "Band", "Disc", "2026", "", 2, 17)));
    write_file_bytes(album + "/track 1.mp3", audio);
    const RunResult run =
        run_cli({"-q", "--cd", "--cue", "--keep-folders", "-o", dir.file("out"), album}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string sheet = dir.file("out/Album/Album.cue");
    ASSERT_TRUE(file_exists(sheet));
    const std::vector<unsigned char> bytes = read_file_bytes(sheet);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("FILE \"track 1.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                        "FILE \"track 2.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Say 'Hi'\"\n"
                        "    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n"
                        "FILE \"track 10.wav\" WAVE\n  TRACK 03 AUDIO\n    TITLE \"Last\"\n"),
              std::string::npos)
        << text;

    const RunResult parsed = run_shell("cueprint " + shell_quote(sheet), dir);
    EXPECT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_NE(parsed.out.find("no. of tracks:\t3"), std::string::npos) << parsed.out;
    EXPECT_NE(parsed.out.find("title:\t\tSay 'Hi'"), std::string::npos) << parsed.out;
    // No temporary file is left beside it.
    EXPECT_EQ(
        folder_entries(dir.file("out/Album")),
        (std::vector<std::string>{"Album.cue", "track 1.wav", "track 10.wav", "track 2.wav"}));

    const RunResult alone = run_cli({"--cue", "-o", dir.file("x"), album}, dir);
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--cue needs --cd"), std::string::npos);
}

}  // namespace

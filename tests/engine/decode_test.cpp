// End-to-end decodes of the committed fixtures through decode_file. Expected counts come from
// the fixtures' frame facts in tests/data/README.md (frames x 1152 samples per channel for
// MPEG-1 layer III and II, x 576 for MPEG-2 and 2.5 layer III); the written files are read
// back with the independent parser of tests/support.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/request.h"
#include "info/mpeg_info.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

namespace {

struct Decoded {
    std::int32_t result = -1;
    std::string messages;  // standard error
    std::string output;    // standard output
    ParsedWav wav;
    DecodeStats stats{};
};

int g_progress_calls = 0;
std::string g_sabotage_path;  // when set, the first progress call breaks this output file
int g_stop_after = 0;         // 0: never stop
std::int32_t g_last_total = 0;

// Points the descriptor that writes path at /dev/full, so that the writer's next flush fails.
void sabotage_output(const std::string& path) {
    for (int fd = 3; fd < 1024; ++fd) {
        char link[PATH_MAX] = {};
        std::string proc = "/proc/self/fd/" + std::to_string(fd);
        if (readlink(proc.c_str(), link, sizeof link - 1) > 0 && path == link) {
            int full = open("/dev/full", O_WRONLY);
            dup2(full, fd);
            close(full);
        }
    }
}

std::int32_t count_progress(std::int32_t total, std::int32_t) {
    ++g_progress_calls;
    if (!g_sabotage_path.empty()) {
        sabotage_output(g_sabotage_path);
        g_sabotage_path.clear();
    }
    g_last_total = total;
    return g_stop_after != 0 && g_progress_calls >= g_stop_after ? 1 : 0;
}

class DecodeFile : public testing::Test {
protected:
    void SetUp() override {
        g_progress_calls = 0;
        g_stop_after = 0;
        g_sabotage_path.clear();
    }

    Decoded decode(const std::string& fixture,
                   const std::function<void(DecodeRequest&)>& configure = {},
                   const std::string& output_name = "out.wav") {
        std::string input = fixture[0] == '/' ? fixture : fixture_path(fixture);
        std::string output = output_name[0] == '/' ? output_name : dir_.file(output_name);
        MpegInfo info{};
        scan_frames(&info, input.c_str());
        DecodeRequest request;
        decode_request_init(&request);
        request.input_path = input.c_str();
        request.output_path = output.c_str();
        request.play_length_ms = static_cast<std::uint32_t>(info.durationMs);
        request.progress = count_progress;
        Decoded decoded;
        decoded.stats.frames_decoded = 12345;  // must be overwritten
        request.stats = &decoded.stats;
        if (configure) {
            configure(request);
        }
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        decoded.result = decode_file(&request);
        decoded.output = testing::internal::GetCapturedStdout();
        decoded.messages = testing::internal::GetCapturedStderr();
        if (file_exists(output) && output.rfind("/dev/", 0) != 0) {
            decoded.wav = parse_wav_file(output);
        }
        return decoded;
    }

    TempDir dir_;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t frames_of(const ParsedWav& wav) {
    return wav.block_align == 0 ? 0 : wav.data_size / wav.block_align;
}

int peak_s16(const ParsedWav& wav, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    std::vector<std::int16_t> samples = samples_s16(wav);
    int peak = 0;
    for (std::size_t i = from; i < samples.size() && i < to; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    return peak;
}

TEST_F(DecodeFile, WritesEveryFrameOfAStereoStreamWithExactHeader) {
    Decoded d = decode("stereo_44k_128.mp3");
    EXPECT_EQ(d.result, DECODE_OK);
    ASSERT_TRUE(d.wav.ok) << d.wav.error;
    EXPECT_EQ(d.wav.format_tag, 1);
    EXPECT_EQ(d.wav.channels, 2);
    EXPECT_EQ(d.wav.sample_rate, 44100u);
    EXPECT_EQ(d.wav.bits_per_sample, 16);
    EXPECT_EQ(d.wav.byte_rate, 176400u);
    EXPECT_EQ(d.wav.block_align, 4);
    EXPECT_EQ(d.wav.data_offset, 44u);
    EXPECT_EQ(d.wav.data_size, 116u * 1152 * 4);
    EXPECT_EQ(d.wav.riff_size, 36 + d.wav.data_size);
    EXPECT_EQ(d.wav.file_size, 44 + d.wav.data_size);
    EXPECT_TRUE(d.messages.rfind("MPEG Audio Decoder 0.14.2 (beta) - ", 0) == 0) << d.messages;
    EXPECT_TRUE(contains(d.messages,
                         "116 frames decoded (0:00:03.0), -6.4 dB peak amplitude, "
                         "0 clipped samples\n"))
        << d.messages;
    // 116 output frames: progress after frames 26, 52, 78 and 104, with the size in KiB.
    EXPECT_EQ(g_progress_calls, 4);
    EXPECT_EQ(g_last_total, 48483 >> 10);
}

TEST_F(DecodeFile, XingFrameIsSkippedButInfoFrameIsAudio) {
    Decoded xing = decode("vbr_xing.mp3");
    EXPECT_EQ(xing.result, DECODE_OK);
    EXPECT_EQ(frames_of(xing.wav), 116u * 1152);  // 117 frames less the Xing frame

    Decoded info = decode("stereo_44k_128_info.mp3");
    EXPECT_EQ(frames_of(info.wav), 117u * 1152);  // "Info" is not a Xing header
}

TEST_F(DecodeFile, OtherLayersVersionsAndModes) {
    Decoded layer2 = decode("layer2.mp3");
    EXPECT_EQ(frames_of(layer2.wav), 115u * 1152);

    Decoded mpeg25 = decode("mono_11k.mp3");
    EXPECT_EQ(mpeg25.wav.channels, 1);
    EXPECT_EQ(mpeg25.wav.sample_rate, 11025u);
    EXPECT_EQ(frames_of(mpeg25.wav), 60u * 576);

    Decoded crc = decode("crc.mp3");
    EXPECT_EQ(frames_of(crc.wav), 116u * 1152);
    EXPECT_FALSE(contains(crc.messages, "error")) << crc.messages;

    Decoded dual = decode("dual_channel.mp3");
    EXPECT_EQ(dual.wav.channels, 1);
    EXPECT_EQ(frames_of(dual.wav), 116u * 1152);
    const std::string warning = "output: no channel selected for dual channel; using first\n";
    ASSERT_TRUE(contains(dual.messages, warning)) << dual.messages;
    EXPECT_EQ(dual.messages.find(warning), dual.messages.rfind(warning));  // once only
}

TEST_F(DecodeFile, ChannelRouting) {
    Decoded mono = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.mono = 1; });
    EXPECT_EQ(mono.wav.channels, 1);
    EXPECT_EQ(mono.wav.block_align, 2);
    EXPECT_EQ(frames_of(mono.wav), 116u * 1152);

    Decoded right = decode("dual_channel.mp3", [](DecodeRequest& r) { r.channel_text = "2"; });
    EXPECT_EQ(right.wav.channels, 1);
    EXPECT_FALSE(contains(right.messages, "dual channel"));

    // Without dither both channels of a duplicated mono stream are the same bytes.
    Decoded stereo = decode("mono_22k.mp3", [](DecodeRequest& r) {
        r.stereo = 1;
        r.no_dither = 1;
    });
    ASSERT_EQ(stereo.wav.channels, 2);
    EXPECT_EQ(stereo.wav.sample_rate, 22050u);
    std::vector<std::int16_t> samples = samples_s16(stereo.wav);
    ASSERT_EQ(samples.size(), 117u * 576 * 2);
    bool identical = true;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        identical = identical && samples[i] == samples[i + 1];
    }
    EXPECT_TRUE(identical);
    EXPECT_GT(peak_s16(stereo.wav), 10000);
}

// Which tone lands in which channel. The stereo fixtures carry 440 Hz left and 660 Hz right
// (tests/data/README.md); spans skip the encoder delay at the start and the end of the tone.
// A clean decode scores 75-78 dB of purity, a resampled one 53-75 dB (linear interpolation
// leaves images); resampling the right channel with the left channel's state, a swap or a
// mix would score 31 dB or less, so 40 dB parts them with room on both sides.
constexpr double CLEAN_DB = 40.0;

TEST_F(DecodeFile, ChannelSelectionKeepsEachChannelsOwnTone) {
    Decoded both = decode("stereo_44k_128.mp3");
    ASSERT_EQ(both.wav.channels, 2);
    EXPECT_EQ(tone_faults(both.wav, 0, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");
    EXPECT_EQ(tone_faults(both.wav, 1, 0.2, 2.8, RIGHT_TONE, CLEAN_DB), "");

    Decoded left = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.channel_text = "1"; });
    ASSERT_EQ(left.wav.channels, 1);
    EXPECT_EQ(tone_faults(left.wav, 0, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");

    Decoded right = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.channel_text = "2"; });
    ASSERT_EQ(right.wav.channels, 1);
    EXPECT_EQ(tone_faults(right.wav, 0, 0.2, 2.8, RIGHT_TONE, CLEAN_DB), "");
}

// Dual channel carries two independent programmes; without a choice the first one plays.
TEST_F(DecodeFile, DualChannelPlaysTheChosenProgramme) {
    Decoded first = decode("dual_channel.mp3");
    ASSERT_EQ(first.wav.channels, 1);
    EXPECT_EQ(tone_faults(first.wav, 0, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");

    Decoded second = decode("dual_channel.mp3", [](DecodeRequest& r) { r.channel_text = "2"; });
    ASSERT_EQ(second.wav.channels, 1);
    EXPECT_EQ(tone_faults(second.wav, 0, 0.2, 2.8, RIGHT_TONE, CLEAN_DB), "");

    Decoded both = decode("dual_channel.mp3", [](DecodeRequest& r) { r.stereo = 1; });
    ASSERT_EQ(both.wav.channels, 2);
    EXPECT_EQ(tone_faults(both.wav, 0, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");
    EXPECT_EQ(tone_faults(both.wav, 1, 0.2, 2.8, RIGHT_TONE, CLEAN_DB), "");
}

// The mix halves each channel: two tones of about 0.48 of full scale after decoding become
// two of about 0.24 in the one channel.
TEST_F(DecodeFile, MonoMixCarriesBothTonesAtHalfLevel) {
    Decoded mono = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.mono = 1; });
    ASSERT_EQ(mono.wav.channels, 1);
    const std::size_t span = 44100 / 5;
    for (std::size_t at = 44100 / 5; at + span <= 44100 * 28 / 10; at += span) {
        const double left = tone_amplitude(mono.wav, 0, at, span, LEFT_TONE);
        const double right = tone_amplitude(mono.wav, 0, at, span, RIGHT_TONE);
        EXPECT_NEAR(left, 0.24, 0.03) << at;
        EXPECT_NEAR(right, 0.24, 0.03) << at;
    }
}

TEST_F(DecodeFile, StereoDuplicatesAMonoStreamIntoBothChannels) {
    Decoded stereo = decode("mono_22k.mp3", [](DecodeRequest& r) { r.stereo = 1; });
    ASSERT_EQ(stereo.wav.channels, 2);
    EXPECT_EQ(tone_faults(stereo.wav, 0, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");
    EXPECT_EQ(tone_faults(stereo.wav, 1, 0.2, 2.8, LEFT_TONE, CLEAN_DB), "");
}

// After the change of rate each channel goes through its own resampler: the tones stay in
// their channels and stay clean. The second part's tone runs from about 2.1 s to 4.0 s of
// output in both fixtures.
TEST_F(DecodeFile, ResamplingKeepsEachChannelsOwnTone) {
    for (const char* name : {"rate_change.mp3", "rate_change_22k.mp3"}) {
        Decoded d = decode(name);
        ASSERT_EQ(d.wav.channels, 2) << name;
        ASSERT_EQ(d.wav.sample_rate, 44100u) << name;
        EXPECT_EQ(tone_faults(d.wav, 0, 0.2, 1.8, LEFT_TONE, CLEAN_DB), "") << name;
        EXPECT_EQ(tone_faults(d.wav, 1, 0.2, 1.8, RIGHT_TONE, CLEAN_DB), "") << name;
        EXPECT_EQ(tone_faults(d.wav, 0, 2.2, 3.8, LEFT_TONE, CLEAN_DB), "") << name;
        EXPECT_EQ(tone_faults(d.wav, 1, 2.2, 3.8, RIGHT_TONE, CLEAN_DB), "") << name;
    }

    Decoded right = decode("rate_change.mp3", [](DecodeRequest& r) { r.channel_text = "2"; });
    ASSERT_EQ(right.wav.channels, 1);
    EXPECT_EQ(tone_faults(right.wav, 0, 2.2, 3.8, RIGHT_TONE, CLEAN_DB), "");
}

TEST_F(DecodeFile, EightBitOutput) {
    Decoded d = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.bit_depth_text = "8"; });
    EXPECT_EQ(d.wav.bits_per_sample, 8);
    EXPECT_EQ(d.wav.block_align, 2);
    EXPECT_EQ(d.wav.byte_rate, 88200u);
    EXPECT_EQ(d.wav.data_size, 116u * 1152 * 2);
    // A tone at about -6 dBFS: unsigned bytes around the midpoint 128, about +-64.
    int low = 255;
    int high = 0;
    for (unsigned char byte : d.wav.data) {
        low = std::min<int>(low, byte);
        high = std::max<int>(high, byte);
    }
    EXPECT_GT(high, 180);
    EXPECT_LT(low, 76);
    EXPECT_GT(low, 40);
}

TEST_F(DecodeFile, SkipSilenceDropsLeadingSilenceAndShortensPauses) {
    // Frames 0-114 code no audio: all of them go, the 78 frames of tone stay.
    Decoded lead = decode("silence_start.mp3", [](DecodeRequest& r) { r.skip_silence = 1; });
    EXPECT_EQ(frames_of(lead.wav), 78u * 1152);

    // The pause spans frames 78-267 (190 frames). A quiet run is kept while it lasts at most
    // 2 s: 76 frames are 1.9853 s, a 77th would make 2.0114 s. So 190 - 76 = 114 frames go.
    Decoded pause = decode("long_pause.mp3", [](DecodeRequest& r) { r.skip_silence = 1; });
    EXPECT_EQ(frames_of(pause.wav), (346u - 114) * 1152);

    Decoded keep = decode("long_pause.mp3");
    EXPECT_EQ(frames_of(keep.wav), 346u * 1152);
}

TEST_F(DecodeFile, FadesRiseFromAndFallToSilence) {
    Decoded d = decode("stereo_44k_128.mp3", [](DecodeRequest& r) {
        r.fade_in_text = "1";
        r.fade_out_text = "1";
        r.no_dither = 1;
    });
    std::vector<std::int16_t> samples = samples_s16(d.wav);
    ASSERT_EQ(samples.size(), 116u * 1152 * 2);
    // The first slot of the first frame is multiplied by gain 0 and the synthesis filter
    // starts from rest: the first 32 samples per channel are exact zeros.
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(samples[i], 0) << i;
    }
    const std::size_t second = 44100 * 2;
    EXPECT_LT(peak_s16(d.wav, 0, second / 10), 2000);                    // first 50 ms
    EXPECT_GT(peak_s16(d.wav, second + second / 4, 2 * second), 15000);  // 1.25-2 s: full level
    // The play length from the header scan ends with the last frame, which the fade-out
    // reaches at gain 0; the frame before it is already very quiet.
    EXPECT_LT(peak_s16(d.wav, samples.size() - 1152 * 2), 400);

    Decoded plain = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.no_dither = 1; });
    EXPECT_GT(peak_s16(plain.wav, 0, second / 10), 15000);
}

TEST_F(DecodeFile, NormalizeRaisesTheQuietFileToFullScale) {
    Decoded d = decode("quiet.mp3", [](DecodeRequest& r) { r.normalize = 1; });
    EXPECT_EQ(d.result, DECODE_OK);
    EXPECT_EQ(d.output, "Normalizing .... Normalizing returned 0\n");
    EXPECT_EQ(peak_s16(d.wav), 32767);

    Decoded eight = decode("quiet.mp3", [](DecodeRequest& r) {
        r.normalize = 1;
        r.bit_depth_text = "8";
    });
    bool reaches_full_scale = false;
    for (unsigned char byte : eight.wav.data) {
        reaches_full_scale = reaches_full_scale || byte == 255 || byte == 1;
    }
    EXPECT_TRUE(reaches_full_scale);
}

TEST_F(DecodeFile, RateChangeMidFileIsResampledToTheFirstRate) {
    Decoded up = decode("rate_change.mp3");
    EXPECT_EQ(up.result, DECODE_OK);
    EXPECT_EQ(up.wav.sample_rate, 44100u);
    EXPECT_TRUE(contains(up.messages,
                         "output: sample frequency 48000 Hz not available; closest 44100 Hz\n"
                         "output: resampling 48000 Hz to 44100 Hz\n"))
        << up.messages;
    // 78 frames at 44100 Hz, then 85 x 1152 samples at 48000 Hz, which are exactly
    // 97920 x 44100 / 48000 = 89964 samples at 44100 Hz.
    EXPECT_EQ(frames_of(up.wav), 78u * 1152 + 89964);

    // 22050 -> 44100: the first 576-sample block yields 1150 samples (its last sample waits
    // for the next block), every later one 1152; the last held sample is never written.
    Decoded doubled = decode("rate_change_22k.mp3");
    EXPECT_EQ(frames_of(doubled.wav), 78u * 1152 + 1150 + 78u * 1152);
}

TEST_F(DecodeFile, TagsAreShownUpFrontAndSkippedInTheStream) {
    Decoded tagged = decode("tagged.mp3");
    EXPECT_EQ(frames_of(tagged.wav), 78u * 1152);
    // Frames in display order (title, copyright, artists, ...), not in tag order; only the
    // comment without a description, wrapped at the last blank before column 66.
    EXPECT_TRUE(contains(tagged.messages,
                         "MPEG Audio Decoder 0.14.2 (beta) -      Title: Seven Bridges\n"
                         "            Copyright (C) 1999 Fixture Records\n"
                         "    Artist: Anna Example\n"
                         "            Ben Sample\n"
                         "     Album: Fixture Album\n"
                         "      Year: 1999\n"
                         "     Track: 07/12\n"
                         "     Genre: Rock\n"
                         "   Comment: This comment is exactly one hundred characters long so "
                         "that it has\n"
                         "            to be wrapped onto a second line.\n"
                         "78 frames decoded"))
        << tagged.messages;

    Decoded big = decode("big_tag.mp3");
    EXPECT_EQ(frames_of(big.wav), 78u * 1152);

    Decoded mid = decode("midstream_tag.mp3");
    EXPECT_EQ(frames_of(mid.wav), 156u * 1152);
    EXPECT_FALSE(contains(mid.messages, "error")) << mid.messages;

    // Under 4 KiB: the tag library leaves the shared position at the end of the file; the
    // decode must still start at byte 0 and find all 5 frames.
    g_progress_calls = 0;
    Decoded small = decode("short.mp3");
    EXPECT_EQ(frames_of(small.wav), 5u * 1152);
    EXPECT_EQ(g_progress_calls, 0);  // fewer than 26 frames: never called
}

// The engine still finishes a complete (empty) file, which the shell's safe write removes;
// the decode fails, so that an empty WAV never passes for a decoded file.
TEST_F(DecodeFile, InputsWithoutAudioFailWithTheirReason) {
    // A WAV under an MPEG name, a text, seeded noise: none holds an MPEG frame libmad takes.
    write_file_bytes(dir_.file("renamed.mp3"), read_file_bytes(fixture_path("exact/manifest.txt")));
    std::vector<unsigned char> noise(64 * 1024);
    std::uint32_t seed = 12345;
    for (unsigned char& byte : noise) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(seed >> 24);
    }
    write_file_bytes(dir_.file("noise.mp3"), noise);
    Decoded wav_first = decode("stereo_44k_128.mp3", {}, "song.wav");
    ASSERT_EQ(wav_first.result, DECODE_OK);
    write_file_bytes(dir_.file("wave.mp3"), read_file_bytes(dir_.file("song.wav")));

    for (const std::string& name :
         std::vector<std::string>{"garbage.mp3", "empty.mp3", dir_.file("renamed.mp3"),
                                  dir_.file("noise.mp3"), dir_.file("wave.mp3")}) {
        std::string input = name[0] == '/' ? name : fixture_path(name);
        Decoded d = decode(input);
        EXPECT_EQ(d.result, DECODE_FAILED) << name;
        EXPECT_TRUE(contains(d.messages, input + ": no MPEG audio found\n")) << d.messages;
        EXPECT_FALSE(contains(d.messages, "frames decoded")) << name;
        EXPECT_EQ(d.stats.no_audio, 1) << name;
        ASSERT_TRUE(d.wav.ok) << name;
        if (name == dir_.file("wave.mp3")) {
            // The PCM holds false frames of many kinds that decode: written, but no audio.
            EXPECT_GT(d.stats.frames_decoded, 0u);
            continue;
        }
        EXPECT_EQ(d.wav.file_size, 44u) << name;
        EXPECT_EQ(d.wav.riff_size, 36u);
        EXPECT_EQ(d.wav.channels, 2);
        EXPECT_EQ(d.wav.sample_rate, 44100u);
        EXPECT_EQ(d.wav.bits_per_sample, 16);
        EXPECT_EQ(d.stats.frames_decoded, 0u) << name;
        EXPECT_EQ(d.stats.has_peak, 0) << name;
    }

    // Two frames of one kind are audio (short.mp3's first two frames end at byte 881).
    std::vector<unsigned char> two = read_file_bytes(fixture_path("short.mp3"));
    two.resize(881);
    write_file_bytes(dir_.file("two.mp3"), two);
    Decoded two_frames = decode(dir_.file("two.mp3"));
    EXPECT_EQ(two_frames.result, DECODE_OK) << two_frames.messages;
    EXPECT_EQ(two_frames.stats.frames_decoded, 2u);

    // Damage after real frames is no reason to fail: the frames before it are kept.
    std::vector<unsigned char> damaged = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    damaged.resize(damaged.size() / 2);
    damaged.insert(damaged.end(), noise.begin(), noise.begin() + 4096);
    write_file_bytes(dir_.file("damaged.mp3"), damaged);
    Decoded d = decode(dir_.file("damaged.mp3"));
    EXPECT_EQ(d.result, DECODE_OK) << d.messages;
    EXPECT_GT(frames_of(d.wav), 50u * 1152);
    EXPECT_EQ(d.stats.no_audio, 0);

    // Every frame skipped as leading silence (the fixture's frames 0-114 code none, see its
    // notes): there were frames, so no failure, though none reached the output.
    std::vector<unsigned char> silence = read_file_bytes(fixture_path("silence_start.mp3"));
    silence.resize(48065);
    write_file_bytes(dir_.file("silence.mp3"), silence);
    Decoded silent = decode(dir_.file("silence.mp3"), [](DecodeRequest& r) { r.skip_silence = 1; });
    EXPECT_EQ(silent.result, DECODE_OK) << silent.messages;
    EXPECT_EQ(silent.stats.frames_decoded, 0u);
    EXPECT_EQ(silent.stats.no_audio, 0);
}

// A gigabyte of zeros (sparse, so the test writes next to nothing) is read to its end and
// refused like the small inputs.
TEST_F(DecodeFile, AGigabyteOfZerosIsNoAudio) {
    std::string path = dir_.file("zeros.mp3");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 30), 0);
    close(fd);
    Decoded d = decode(path);
    EXPECT_EQ(d.result, DECODE_FAILED);
    EXPECT_TRUE(contains(d.messages, path + ": no MPEG audio found\n")) << d.messages;
    EXPECT_EQ(d.stats.no_audio, 1);
}

// Only a regular file is read, and its open never waits: a FIFO with no writer would block a
// plain open for ever.
TEST_F(DecodeFile, InputsThatAreNoRegularFileFailAtOnce) {
    std::string fifo = dir_.file("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& input : {fifo, dir_.path()}) {
        // The test's own time limit catches a hang.
        Decoded d = decode(input);
        EXPECT_EQ(d.result, DECODE_FAILED) << input;
        EXPECT_TRUE(contains(d.messages, input + ": not a regular file\n")) << d.messages;
        EXPECT_EQ(d.stats.no_audio, 0);
    }
}

TEST_F(DecodeFile, StatsCarryTheSummaryLinesFigures) {
    // 116 frames, 3030 ms (111 x 26.125 + 5 x 26.0625, see FillRequestIsWhatTheWindowAsks in
    // the shell tests), -6.4 dB peak as the summary line prints it.
    Decoded d = decode("stereo_44k_128.mp3");
    ASSERT_EQ(d.result, DECODE_OK);
    EXPECT_EQ(d.stats.frames_decoded, 116u);
    EXPECT_EQ(d.stats.duration_ms, 3030u);
    EXPECT_EQ(d.stats.has_peak, 1);
    EXPECT_NEAR(d.stats.peak_millibel, -640, 5);
    EXPECT_EQ(d.stats.clipped_samples, 0u);
    EXPECT_EQ(d.stats.no_audio, 0);

    Decoded loud = decode("loud.mp3");
    EXPECT_GT(loud.stats.clipped_samples, 0u);
    EXPECT_TRUE(contains(loud.messages,
                         " " + std::to_string(loud.stats.clipped_samples) + " clipped samples"))
        << loud.messages;
    EXPECT_GE(loud.stats.peak_millibel, 0);

    // Stopped at the first progress call: 26 frames of 26.125 ms.
    g_stop_after = 1;
    Decoded stopped = decode("stereo_44k_128.mp3");
    EXPECT_EQ(stopped.result, DECODE_ABORTED);
    EXPECT_EQ(stopped.stats.frames_decoded, 26u);
    EXPECT_EQ(stopped.stats.duration_ms, 679u);

    // A failed open leaves the figures of nothing.
    Decoded missing = decode("no_such_file.mp3");
    EXPECT_EQ(missing.stats.frames_decoded, 0u);
    EXPECT_EQ(missing.stats.duration_ms, 0u);
    EXPECT_EQ(missing.stats.has_peak, 0);
}

TEST_F(DecodeFile, LoudInputIsClippedAndCounted) {
    Decoded d = decode("loud.mp3");
    EXPECT_EQ(peak_s16(d.wav), 32768);  // -32768 reached
    EXPECT_FALSE(contains(d.messages, " 0 clipped samples")) << d.messages;
    EXPECT_TRUE(contains(d.messages, "dB peak amplitude")) << d.messages;
    EXPECT_FALSE(contains(d.messages, "-inf")) << d.messages;
}

TEST_F(DecodeFile, StopOnFirstProgressCallKeepsTwentySixFramesAndSkipsNormalizing) {
    g_stop_after = 1;
    Decoded d = decode("stereo_44k_128.mp3", [](DecodeRequest& r) { r.normalize = 1; });
    EXPECT_EQ(d.result, DECODE_ABORTED);
    ASSERT_TRUE(d.wav.ok) << d.wav.error;
    EXPECT_EQ(d.wav.data_size, 26u * 1152 * 4);
    EXPECT_EQ(d.wav.riff_size, 36 + d.wav.data_size);
    EXPECT_EQ(d.output, "");
    EXPECT_TRUE(contains(d.messages, "26 frames decoded")) << d.messages;
}

TEST_F(DecodeFile, FailuresAreReportedAndTheOutputStillFinished) {
    Decoded missing = decode("no_such_file.mp3");
    EXPECT_EQ(missing.result, DECODE_FAILED);
    EXPECT_TRUE(contains(missing.messages, "no_such_file.mp3: No such file or directory\n"))
        << missing.messages;
    EXPECT_EQ(missing.wav.file_size, 44u);

    Decoded unwritable = decode("stereo_44k_128.mp3", {}, "missing-folder/out.wav");
    EXPECT_EQ(unwritable.result, DECODE_FAILED);
    EXPECT_TRUE(contains(unwritable.messages, "audio: " + dir_.file("missing-folder/out.wav") +
                                                  ": No such file or directory\n"))
        << unwritable.messages;

    // A stop asked for in a run that also fails (the output cannot be finished) still
    // reports the stop.
    g_stop_after = 1;
    g_sabotage_path = dir_.file("both.wav");
    Decoded both = decode("stereo_44k_128.mp3", {}, "both.wav");
    EXPECT_EQ(both.result, DECODE_ABORTED);
    EXPECT_TRUE(contains(both.messages, "audio: fseek: No space left on device\n"))
        << both.messages;
}

TEST_F(DecodeFile, CrossFadeWarningsDependOnTheGap) {
    auto warnings = [this](const char* gap, bool skip) {
        return decode("short.mp3",
                      [gap, skip](DecodeRequest& r) {
                          r.cross_fade = 1;
                          r.gap_text = gap;
                          r.skip_silence = skip ? 1 : 0;
                      })
            .messages;
    };
    EXPECT_TRUE(contains(warnings("", false), "pelmora: cross-fade ignored without gap\n"));
    EXPECT_TRUE(
        contains(warnings("0", false), "pelmora: cross-fade ignored without negative gap\n"));
    EXPECT_FALSE(contains(warnings("-1", false), "cross-fade"));
    EXPECT_TRUE(contains(warnings("", true), "pelmora: cross-fade ignored without negative gap\n"));
}

}  // namespace

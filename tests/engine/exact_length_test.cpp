// Exact length against lame-encoded sines in tests/data/exact: the sample counts come from the
// source WAVs lame was given, read by two readers (soxi and Python's wave module; both recorded
// in manifest.txt by make_fixtures.sh), and the reference signal is regenerated here from sox's
// formula, so that nothing the engine computes is checked against itself.
#include "engine/exact_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/request.h"
#include "info/mpeg_info.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

struct ManifestEntry {
    std::string file;
    int rate = 0;
    int channels = 0;
    int tone[2] = {0, 0};
    std::size_t fade = 0;  // samples of the half-sine fade at each end
    std::size_t samples = 0;
    std::size_t gapless_samples = 0;
    bool cbr128 = false;
};

std::vector<ManifestEntry> read_manifest() {
    std::vector<ManifestEntry> entries;
    std::ifstream in(fixture_path("exact/manifest.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        ManifestEntry e;
        int check = 0;
        fields >> e.file >> e.rate >> e.channels >> e.tone[0] >> e.tone[1] >> e.fade >> e.samples >>
            e.gapless_samples >> check;
        e.cbr128 = check == 1;
        if (fields) {
            entries.push_back(e);
        }
    }
    return entries;
}

constexpr double PI = 3.14159265358979323846;

// sox's half-sine fade gain k samples from the edge (k = N - n at the end).
double fade_gain(std::size_t k, std::size_t length) {
    if (k >= length) {
        return 1.0;
    }
    return (1.0 - std::cos(PI * static_cast<double>(k) / static_cast<double>(length))) / 2.0;
}

// sox's "synth sine F vol 0.5 fade h" at 16 bits without dither, checked sample for sample
// against a sox-made WAV when the fixtures were made.
double source_sample(const ManifestEntry& e, int channel, std::size_t n) {
    const double tone = std::sin(2.0 * PI * e.tone[channel] * static_cast<double>(n) / e.rate);
    return std::round(16384.0 * tone * fade_gain(n, e.fade) * fade_gain(e.samples - n, e.fade));
}

std::int32_t no_progress(std::int32_t, std::int32_t) {
    return 0;
}

ParsedWav decode(const std::string& input, const std::string& output, bool exact,
                 const char* fade_out = "", const char* fade_in = "") {
    MpegInfo info{};
    if (exact) {
        scan_frames_exact(&info, input.c_str());
    } else {
        scan_frames(&info, input.c_str());
    }
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.play_length_ms = static_cast<std::uint32_t>(info.durationMs);
    request.progress = no_progress;
    request.no_dither = 1;
    request.exact_length = exact ? 1 : 0;
    request.fade_out_text = fade_out;
    request.fade_in_text = fade_in;
    testing::internal::CaptureStderr();
    std::int32_t result = decode_file(&request);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, DECODE_OK) << input;
    return parse_wav_file(output);
}

std::size_t frames_of(const ParsedWav& wav) {
    return wav.block_align == 0 ? 0 : wav.data_size / wav.block_align;
}

// The lag in [-range, range] with the largest cross-correlation of the decoded channel with the
// source over their first `window` samples (both taken as zero outside it, so that every lag
// but 0 loses overlap).
int correlation_peak(const std::vector<std::int16_t>& decoded, const ManifestEntry& e, int channel,
                     std::size_t window, int range) {
    std::vector<double> d(window);
    std::vector<double> s(window);
    for (std::size_t n = 0; n < window; ++n) {
        d[n] =
            decoded[n * static_cast<std::size_t>(e.channels) + static_cast<std::size_t>(channel)];
        s[n] = source_sample(e, channel, n);
    }
    int best_lag = 0;
    double best = -1e300;
    for (int lag = -range; lag <= range; ++lag) {
        double sum = 0;
        for (std::size_t n = lag > 0 ? static_cast<std::size_t>(lag) : 0; n < window; ++n) {
            const auto m = static_cast<std::ptrdiff_t>(n) - lag;
            if (m >= static_cast<std::ptrdiff_t>(window)) {
                break;
            }
            sum += d[n] * s[static_cast<std::size_t>(m)];
        }
        if (sum > best) {
            best = sum;
            best_lag = lag;
        }
    }
    return best_lag;
}

struct Residual {
    double gain;  // least-squares level of the decoded channel against the source
    double db;    // energy left after that level, relative to the source's energy
};

// lame lowers CBR and ABR input to 0.95 of its level on purpose; that level difference is no
// misalignment or coding noise, so it is fitted out before the residual is measured.
Residual residual_of(const std::vector<std::int16_t>& decoded, const ManifestEntry& e,
                     int channel) {
    auto at = [&](std::size_t n) {
        return static_cast<double>(
            decoded[n * static_cast<std::size_t>(e.channels) + static_cast<std::size_t>(channel)]);
    };
    double signal = 0;
    double cross = 0;
    for (std::size_t n = 0; n < e.samples; ++n) {
        const double s = source_sample(e, channel, n);
        signal += s * s;
        cross += at(n) * s;
    }
    const double gain = cross / signal;
    double error = 0;
    for (std::size_t n = 0; n < e.samples; ++n) {
        const double r = at(n) - gain * source_sample(e, channel, n);
        error += r * r;
    }
    return {gain, 10.0 * std::log10((error + 1e-9) / (gain * gain * signal))};
}

TEST(ExactLength, LameFixturesComeBackWithTheSourceLengthAligned) {
    const std::vector<ManifestEntry> entries = read_manifest();
    ASSERT_EQ(entries.size(), 15u);  // a manifest that reads nothing is no check
    TempDir dir;
    for (const ManifestEntry& e : entries) {
        SCOPED_TRACE(e.file);
        ParsedWav wav = decode(fixture_path("exact/" + e.file), dir.file("out.wav"), true);
        ASSERT_TRUE(wav.ok) << wav.error;
        ASSERT_EQ(wav.channels, e.channels);
        ASSERT_EQ(wav.sample_rate, static_cast<std::uint32_t>(e.rate));
        const std::size_t frames = frames_of(wav);
        EXPECT_EQ(frames, e.samples);
        EXPECT_EQ(frames, e.gapless_samples);
        const std::vector<std::int16_t> samples = samples_s16(wav);
        const std::size_t window = std::min<std::size_t>({frames, e.samples, 16384});
        std::string line = e.file + ": " + std::to_string(frames) + " samples (source " +
                           std::to_string(e.samples) + ", gapless " +
                           std::to_string(e.gapless_samples) + "), peak lag";
        for (int channel = 0; channel < e.channels; ++channel) {
            // 1200 covers every wrong trim that matters: 529, 576, 1105 and a whole frame.
            const int lag = correlation_peak(samples, e, channel, window, 1200);
            EXPECT_EQ(lag, 0) << "channel " << channel;
            line += " " + std::to_string(lag);
        }
        if (frames == e.samples) {
            char text[64];
            line += ", residual";
            for (int channel = 0; channel < e.channels; ++channel) {
                const Residual r = residual_of(samples, e, channel);
                EXPECT_GT(r.gain, 0.94) << "channel " << channel;
                EXPECT_LT(r.gain, 1.01) << "channel " << channel;
                if (e.cbr128) {
                    EXPECT_LT(r.db, -60.0) << "channel " << channel;
                }
                std::snprintf(text, sizeof text, " %.1f dB (level %.3f)", r.db, r.gain);
                line += text;
            }
        }
        std::printf("%s\n", line.c_str());
    }
}

TEST(ExactLength, DropsTheInfoFrameAndTrimsOnlyWhenAsked) {
    TempDir dir;
    // The Info frame decodes as 1152 samples of silence when the option is off: 117 frames.
    ParsedWav off = decode(fixture_path("stereo_44k_128_info.mp3"), dir.file("off.wav"), false);
    EXPECT_EQ(frames_of(off), 117u * 1152u);
    // 116 x 1152 - 576 delay - 756 padding (README.md) = 132300 = 3 s at 44100 Hz.
    ParsedWav on = decode(fixture_path("stereo_44k_128_info.mp3"), dir.file("on.wav"), true);
    EXPECT_EQ(frames_of(on), 132300u);
    ParsedWav vbr = decode(fixture_path("vbr_xing.mp3"), dir.file("vbr.wav"), true);
    EXPECT_EQ(frames_of(vbr), 132300u);
    // Without a header frame there is nothing to trim: the same bytes either way.
    decode(fixture_path("stereo_44k_128.mp3"), dir.file("plain_off.wav"), false);
    decode(fixture_path("stereo_44k_128.mp3"), dir.file("plain_on.wav"), true);
    EXPECT_EQ(read_file_bytes(dir.file("plain_off.wav")),
              read_file_bytes(dir.file("plain_on.wav")));
}

TEST(ExactLength, FadeOutEndsAtTheTrimmedEnd) {
    TempDir dir;
    ParsedWav wav =
        decode(fixture_path("exact/cbr128_44k_s_2s.mp3"), dir.file("fade.wav"), true, "0.5");
    ASSERT_EQ(frames_of(wav), 88200u);
    const std::vector<std::int16_t> samples = samples_s16(wav);
    auto peak = [&](std::size_t from, std::size_t to) {
        int p = 0;
        for (std::size_t i = from * 2; i < to * 2; ++i) {
            p = std::max(p, std::abs(static_cast<int>(samples[i])));
        }
        return p;
    };
    // A 0.5 s fade over 22050 samples from 66150: at its middle about half of lame's 0.95 x
    // 16384 peak, in the last 64 samples below 64 / 22050 of it (plus coding noise), before it
    // untouched. (The source's own 0.02 s fade lies inside the last 64 samples' region.)
    EXPECT_GT(peak(60000, 65000), 15000);
    EXPECT_NEAR(peak(77000, 77300), 7782, 1200);
    EXPECT_LT(peak(88136, 88200), 200);
}

TEST(ExactLength, FadeInStartsAtTheTrimmedStart) {
    TempDir dir;
    ParsedWav wav =
        decode(fixture_path("exact/cbr128_44k_s_2s.mp3"), dir.file("fade.wav"), true, "", "0.1");
    ASSERT_EQ(frames_of(wav), 88200u);
    const std::vector<std::int16_t> samples = samples_s16(wav);
    auto peak = [&](std::size_t from, std::size_t to) {
        int p = 0;
        for (std::size_t i = from * 2; i < to * 2; ++i) {
            p = std::max(p, std::abs(static_cast<int>(samples[i])));
        }
        return p;
    };
    // A 0.1 s fade over 4410 samples from the first kept sample: around sample 2205 the gain is
    // about 0.5 of lame's 0.95 x 16384 peak (7782). A fade counted from the first decoded
    // sample, 1105 samples earlier, gives about 0.75 there (11700); one that ignores the
    // synthesis filterbank's 241 samples about 0.45 (6970). After the fade, untouched.
    EXPECT_NEAR(peak(2150, 2260), 7782, 400);
    EXPECT_GT(peak(5000, 6000), 15000);
}

// A frame header record as libmad fills it, for MPEG-1 (1152 samples) or the lower rates (576).
mad_frame layer3_frame(bool lower_rate) {
    mad_frame frame;
    mad_frame_init(&frame);
    frame.header.layer = MAD_LAYER_III;
    frame.header.flags = lower_rate ? MAD_FLAG_LSF_EXT : 0;
    return frame;
}

TEST(ExactLength, KeepsTheRightSamplesOfEachFrameAcrossAFrameSizeChange) {
    ExactLength exact = {};
    exact.trimming = 1;
    exact.counted = 1;
    exact.start = 1105;     // delay 576 + 529
    exact.tail = 227;       // padding 756 - 529
    exact.frames_left = 4;  // two MPEG-1 frames, then two MPEG-2 frames
    mad_frame big = layer3_frame(false);
    mad_frame small = layer3_frame(true);
    // Worked out by hand: the counted frames hold 2 x 1152 + 2 x 576 = 3456 samples, so the end
    // lies at 3456 - 227 = 3229, 349 samples into the fourth frame (which starts at 2880).
    const struct {
        mad_frame* frame;
        std::uint32_t from;
        std::uint32_t to;
    } expected[] = {{&big, 1105, 1152},
                    {&big, 0, 1152},
                    {&small, 0, 576},
                    {&small, 0, 349},
                    {&small, 0, 576}};  // the last lies beyond the count
    for (const auto& step : expected) {
        exact_length_frame(&exact, step.frame);
        EXPECT_EQ(exact.keep_from, step.from);
        EXPECT_EQ(exact.keep_to, step.to);
    }

    mad_pcm pcm = {};
    pcm.channels = 2;
    pcm.length = 8;
    for (int i = 0; i < 8; ++i) {
        pcm.samples[0][i] = i;
        pcm.samples[1][i] = 100 + i;
    }
    exact.keep_from = 2;
    exact.keep_to = 5;
    exact_length_trim(&exact, &pcm);
    ASSERT_EQ(pcm.length, 3);
    EXPECT_EQ(pcm.samples[0][0], 2);
    EXPECT_EQ(pcm.samples[0][2], 4);
    EXPECT_EQ(pcm.samples[1][0], 102);
    mad_frame_finish(&big);
    mad_frame_finish(&small);
}

}  // namespace

#include "dsp/rate_converter.h"

#include <gtest/gtest.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/support/rate_convert.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone_analysis.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// A sine of the given amplitude (fraction of full scale) in the engine's fixed point.
std::vector<mad_fixed_t> sine(double freq, double rate, double amplitude, std::size_t n) {
    std::vector<mad_fixed_t> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = static_cast<mad_fixed_t>(std::lround(
            amplitude * std::sin(2 * PI * freq * static_cast<double>(i) / rate) * 268435456.0));
    }
    return samples;
}

struct Converted {
    std::vector<mad_fixed_t> left;
    std::vector<mad_fixed_t> right;
};

// Feeds the input in frames of `block` samples as the player does, then drains.
Converted convert(std::uint32_t rate_in, std::uint32_t rate_out,
                  const std::vector<mad_fixed_t>& left, const std::vector<mad_fixed_t>* right,
                  std::uint32_t block = 1152, std::uint32_t output_bits = 24) {
    Converted result;
    convert_whole(rate_in, rate_out, output_bits, left, right, block,
                  [&result](std::int64_t count, const mad_fixed_t* l, const mad_fixed_t* r) {
                      result.left.insert(result.left.end(), l, l + count);
                      if (r != nullptr) {
                          result.right.insert(result.right.end(), r, r + count);
                      }
                  });
    return result;
}

std::string write_f28(const TempDir& dir, const std::string& name,
                      const std::vector<mad_fixed_t>& samples) {
    const std::string path = dir.file(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file != nullptr) {
        EXPECT_EQ(std::fwrite(samples.data(), sizeof(mad_fixed_t), samples.size(), file),
                  samples.size());
        EXPECT_EQ(std::fclose(file), 0);
    }
    return path;
}

TEST(RateConverter, LengthFollowsTheRateRatioToOneSample) {
    // By hand: 3 s at each input rate is 3 s at the output rate.
    struct Case {
        std::uint32_t in;
        std::uint32_t out;
        std::size_t n;
        std::size_t expected;
    };
    for (const Case& c : {Case{48000, 44100, 144000, 132300}, Case{32000, 44100, 96000, 132300},
                          Case{22050, 44100, 66150, 132300}, Case{8000, 192000, 24000, 576000},
                          Case{192000, 8000, 576000, 24000}, Case{44100, 32000, 89856, 65202},
                          Case{48000, 32000, 97920, 65280}}) {
        const Converted out = convert(c.in, c.out, sine(440, c.in, 0.5, c.n), nullptr);
        EXPECT_LE(std::llabs(static_cast<long long>(out.left.size()) -
                             static_cast<long long>(c.expected)),
                  1)
            << c.in << " -> " << c.out;
        EXPECT_TRUE(out.right.empty());
    }
}

TEST(RateConverter, ChannelsKeepTheirOwnSignal) {
    // A tone on the left and silence on the right: a shared filter state would leak the tone.
    const std::vector<mad_fixed_t> left = sine(1000, 48000, 0.5, 48000);
    const std::vector<mad_fixed_t> right(48000, 0);
    const Converted out = convert(48000, 44100, left, &right);
    ASSERT_EQ(out.left.size(), out.right.size());
    ASSERT_GT(out.left.size(), 44000u);
    mad_fixed_t right_peak = 0;
    mad_fixed_t left_peak = 0;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        right_peak = std::max(right_peak, std::abs(out.right[i]));
        left_peak = std::max(left_peak, std::abs(out.left[i]));
    }
    EXPECT_EQ(right_peak, 0);
    // 0.5 of full scale is 2^27; the filter's ripple stays far within 1 %.
    EXPECT_NEAR(left_peak, 134217728, 1342177);
}

TEST(RateConverter, RatesOutsideTheRangeAreRefused) {
    RateConverter converter = {};
    EXPECT_EQ(rate_converter_start(&converter, 2, 7999, 44100, 16), -1);
    EXPECT_EQ(rate_converter_start(&converter, 2, 48000, 192001, 16), -1);
    EXPECT_EQ(rate_converter_start(&converter, 3, 48000, 44100, 16), -1);
    EXPECT_EQ(converter.resampler, nullptr);

    // Output that does not fit is a failure, never a silent truncation.
    ASSERT_EQ(rate_converter_start(&converter, 1, 48000, 44100, 16), 0);
    const std::vector<mad_fixed_t> tone = sine(1000, 48000, 0.5, 48000);
    std::vector<mad_fixed_t> room(100);
    std::vector<unsigned char> staged(tone.size() * rate_converter_staged_size(&converter));
    rate_converter_stage(&converter, tone.data(), 48000, staged.data());
    const void* const in[2] = {staged.data(), nullptr};
    mad_fixed_t* const out[2] = {room.data(), nullptr};
    EXPECT_EQ(rate_converter_process(&converter, 48000, in, out, 100), -1);
    rate_converter_release(&converter);
}

// libsoxr's own conversion of 32-bit integers, which reads them as fractions of 2^31: what the
// converter's samples must equal whatever type it hands libsoxr, clamped as the converter clamps.
std::vector<mad_fixed_t> converted_by_soxr_itself(const std::vector<mad_fixed_t>& in,
                                                  double precision) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT32_S, SOXR_INT32_S);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    quality.precision = precision;
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t resampler = soxr_create(48000, 44100, 1, &error, &io, &quality, &runtime);
    EXPECT_EQ(error, nullptr);
    std::vector<mad_fixed_t> out(in.size() * 2);
    std::size_t used = 0;
    std::size_t done = 0;
    const void* from[1] = {in.data()};
    void* to[1] = {out.data()};
    EXPECT_EQ(soxr_process(resampler, static_cast<soxr_in_t>(from), in.size(), &used,
                           static_cast<soxr_out_t>(to), out.size(), &done),
              nullptr);
    std::size_t total = done;
    do {
        void* rest[1] = {out.data() + total};
        EXPECT_EQ(soxr_process(resampler, nullptr, 0, &used, static_cast<soxr_out_t>(rest),
                               out.size() - total, &done),
                  nullptr);
        total += done;
    } while (done > 0);
    soxr_delete(resampler);
    out.resize(total);
    for (mad_fixed_t& sample : out) {
        sample = std::clamp(sample, -4 * 268435456, 4 * 268435456 - 1);
    }
    return out;
}

TEST(RateConverter, SamplesEqualLibsoxrsOwnConversionOfIntegers) {
    // Noise, a tone and a stretch far above full scale (the filter's overshoot there passes the
    // converter's limit of four times full scale), in frames as the player gives them.
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.2);
    std::vector<mad_fixed_t> in(3 * 48000);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double loud = i >= 60000 && i < 64000 ? (i < 62000 ? 7.5 : -7.5) : 0.0;
        const double value =
            loud != 0.0 ? loud : 0.5 * std::sin(0.05 * static_cast<double>(i)) + noise(random);
        in[i] = static_cast<mad_fixed_t>(std::lround(value * 268435456.0));
    }
    for (const std::uint32_t bits : {16u, 24u}) {
        SCOPED_TRACE(bits);
        const Converted ours = convert(48000, 44100, in, nullptr, 1152, bits);
        const std::vector<mad_fixed_t> theirs = converted_by_soxr_itself(in, bits <= 16 ? 20 : 28);
        ASSERT_EQ(ours.left.size(), theirs.size());
        EXPECT_TRUE(ours.left == theirs);
        EXPECT_EQ(*std::max_element(ours.left.begin(), ours.left.end()), 4 * 268435456 - 1);
        EXPECT_EQ(*std::min_element(ours.left.begin(), ours.left.end()), -4 * 268435456);
    }
}

// Figures by numpy (tests/support/tone_analysis.py) over one second from the middle of four, so
// that the start and the end of the tone are not measured.
TEST(RateConverter, SpuriousComponentsStayFarBelowTheTone) {
    if (!numpy_available()) {
        GTEST_SKIP() << "numpy is not installed for /usr/bin/python3 (python3-numpy)";
    }
    TempDir dir;
    // Both precisions: the 20-bit one that serves words of 16 bits or fewer, the 28-bit one.
    for (const std::uint32_t bits : {16u, 24u}) {
        SCOPED_TRACE(bits);
        // 1 kHz at -6 dBFS, 48 kHz to 44.1 kHz: everything else at least 120 dB below the tone.
        const Converted tone =
            convert(48000, 44100, sine(1000, 48000, 0.5, 4 * 48000), nullptr, 1152, bits);
        const auto figures = spectrum_figures({"tone", write_f28(dir, "tone.f28", tone.left), "0",
                                               "44100", "1.5", "1", "1000", "22050"});
        ASSERT_EQ(figures.count("spurious_db"), 1u);
        EXPECT_NEAR(figures.at("tone_db"), -6.02, 0.05);
        EXPECT_LE(figures.at("spurious_db"), -120.0);

        // 23 kHz lies above the new Nyquist frequency (22.05 kHz): at least 100 dB down.
        const Converted high =
            convert(48000, 44100, sine(23000, 48000, 0.5, 4 * 48000), nullptr, 1152, bits);
        ASSERT_EQ(high.left.size(), 4u * 44100u);
        const auto high_figures = spectrum_figures({"tone", write_f28(dir, "high.f28", high.left),
                                                    "0", "44100", "1.5", "1", "21100", "22050"});
        ASSERT_EQ(high_figures.count("rms_db"), 1u);
        EXPECT_LE(high_figures.at("rms_db"), -6.02 - 100.0);
    }
}

}  // namespace

// The true-peak interpolator against libebur128's own true peak on tones, full-scale squares
// and noise at the rates an MPEG file can have and at 96 kHz, and against values worked out by
// hand where the signal makes them plain.
#include "dsp/true_peak.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double ONE = 268435456.0;  // 1.0 in libmad's 28 fraction bits

enum class Shape { Sine, Square, Noise };

struct Signal {
    std::uint32_t rate;
    std::uint32_t channels;
    std::vector<mad_fixed_t> left;
    std::vector<mad_fixed_t> right;
};

mad_fixed_t fixed(double value) {
    return static_cast<mad_fixed_t>(std::lround(value * ONE));
}

// Half a second of a shape at frequency and phase (radians), amplitude a, on the left channel;
// the right one, when there is one, a tenth higher in frequency at 0.7 and another phase.
Signal make(Shape shape, std::uint32_t rate, std::uint32_t channels, double frequency,
            double phase) {
    Signal s{rate, channels, {}, {}};
    std::mt19937 noise(1234);
    auto sample = [&](double f, double ph, double a, std::size_t i) {
        const double angle = 2 * M_PI * f * static_cast<double>(i) / rate + ph;
        switch (shape) {
            case Shape::Sine:
                return a * std::sin(angle);
            case Shape::Square:
                return std::sin(angle) >= 0 ? a : -a;
            case Shape::Noise:
                // Uniform in [-a, a]: full band, so inter-sample peaks of every size.
                return a * (2.0 * noise() / 4294967295.0 - 1.0);
        }
        return 0.0;
    };
    const std::size_t n = rate / 2;
    for (std::size_t i = 0; i < n; ++i) {
        s.left.push_back(fixed(sample(frequency, phase, shape == Shape::Square ? 1.0 : 0.9, i)));
        if (channels == 2) {
            s.right.push_back(fixed(sample(frequency * 1.1, phase + 0.5, 0.7, i)));
        }
    }
    return s;
}

// Feeds the signal in pieces of an MPEG frame's length (1152), plus one odd piece, and gives
// the peak of each channel.
std::vector<double> ours(const Signal& s, std::size_t piece = 1152) {
    TruePeakState state;
    true_peak_init(&state, s.channels, s.rate);
    std::size_t done = 0;
    while (done < s.left.size()) {
        std::size_t n = s.left.size() - done < piece ? s.left.size() - done : piece;
        true_peak_add(&state, static_cast<std::uint32_t>(n), s.left.data() + done,
                      s.channels == 2 ? s.right.data() + done : nullptr);
        done += n;
    }
    true_peak_finish(&state);
    std::vector<double> peaks;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        peaks.push_back(state.channel[c].peak);
    }
    return peaks;
}

std::vector<double> libebur128(const Signal& s) {
    ebur128_state* state = ebur128_init(s.channels, s.rate, EBUR128_MODE_TRUE_PEAK);
    std::vector<double> interleaved;
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        interleaved.push_back(s.left[i] / ONE);
        if (s.channels == 2) {
            interleaved.push_back(s.right[i] / ONE);
        }
    }
    ebur128_add_frames_double(state, interleaved.data(), s.left.size());
    std::vector<double> peaks;
    for (std::uint32_t c = 0; c < s.channels; ++c) {
        double peak = 0;
        ebur128_true_peak(state, c, &peak);
        peaks.push_back(peak);
    }
    ebur128_destroy(&state);
    return peaks;
}

double db(double linear) {
    return 20.0 * std::log10(linear);
}

TEST(TruePeak, AgreesWithLibebur128WithinATenthOfADecibel) {
    int compared = 0;
    double worst = 0;
    for (std::uint32_t rate : {32000u, 44100u, 48000u, 96000u}) {
        // Around an eighth and a quarter of the rate (where inter-sample peaks are largest
        // between the interpolated points), a low tone, and high in the pass band.
        const double frequencies[] = {rate / 8.0 * 0.97, rate / 8.0, rate / 4.0,
                                      rate / 4.0 * 1.03, 997.0,      0.4 * rate};
        for (std::uint32_t channels : {1u, 2u}) {
            for (Shape shape : {Shape::Sine, Shape::Square, Shape::Noise}) {
                for (double frequency : frequencies) {
                    for (double phase : {0.0, 0.3, M_PI / 4}) {
                        const Signal s = make(shape, rate, channels, frequency, phase);
                        const std::vector<double> got = ours(s);
                        const std::vector<double> want = libebur128(s);
                        for (std::uint32_t c = 0; c < channels; ++c) {
                            SCOPED_TRACE("rate " + std::to_string(rate) + ", shape " +
                                         std::to_string(static_cast<int>(shape)) + ", " +
                                         std::to_string(frequency) + " Hz, phase " +
                                         std::to_string(phase) + ", channel " + std::to_string(c));
                            const double difference = db(got[c]) - db(want[c]);
                            EXPECT_NEAR(difference, 0.0, 0.1);
                            worst = std::fabs(difference) > std::fabs(worst) ? difference : worst;
                            ++compared;
                        }
                        if (shape == Shape::Noise) {
                            break;  // one noise per rate and layout
                        }
                    }
                }
            }
        }
    }
    // 4 rates x (1 + 2 channels) x (2 x 6 x 3 tones and squares + 6 noises)
    EXPECT_EQ(compared, 4 * 3 * (36 + 6));
    std::printf("worst difference from libebur128: %+.3f dB\n", worst);
}

TEST(TruePeak, FindsThePeakBetweenSamplesAndOnlyTheSamplesAt192kHz) {
    // A tone at a quarter of the rate, 45 degrees off: every sample is +-A/sqrt(2) (-3.01 dB
    // below A) and the wave's crests lie halfway between samples, which both 4 times and 2
    // times oversampling land on. The filter passes a quarter of the rate within 0.01 dB.
    // The tone fades in over its first quarter second: a tone cut in at once would ring past
    // its amplitude, as a converter would make it do.
    for (std::uint32_t rate : {32000u, 44100u, 48000u, 96000u}) {
        SCOPED_TRACE(rate);
        Signal s = make(Shape::Sine, rate, 1, rate / 4.0, M_PI / 4);
        for (std::size_t i = 0; i < rate / 4; ++i) {
            s.left[i] = fixed(s.left[i] / ONE * static_cast<double>(i) / (rate / 4));
        }
        EXPECT_NEAR(db(ours(s)[0]), db(0.9), 0.01);
    }
    // From 192 kHz on nothing is interpolated: the largest sample.
    const Signal s = make(Shape::Sine, 192000, 1, 48000.0, M_PI / 4);
    EXPECT_NEAR(ours(s)[0], 0.9 / std::sqrt(2.0), 1e-6);
}

TEST(TruePeak, TheSameWhateverTheSizeOfThePiecesFed) {
    const Signal s = make(Shape::Noise, 44100, 2, 0, 0);
    const std::vector<double> whole = ours(s, s.left.size());
    for (std::size_t piece : {1u, 7u, 255u, 256u, 257u, 1152u}) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(ours(s, piece), whole);
    }
    EXPECT_GT(whole[0], 0.89);  // the noise reaches 0.9 at its samples
}

TEST(TruePeak, FindsALateOverAfterAQuietStretch) {
    // Loud, then a long quiet stretch the filter may pass over, then 0.9 between samples
    // (a quarter-rate tone 45 degrees off, its samples at 0.64) near the end, and quiet again.
    for (std::uint32_t rate : {44100u, 96000u}) {
        SCOPED_TRACE(rate);
        Signal s{rate, 2, {}, {}};
        std::mt19937 noise(99);
        for (std::size_t i = 0; i < rate; ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0.01 * (2.0 * noise() / 4294967295.0 - 1.0);
            if (i < rate / 10) {
                v += 0.5 * std::sin(2 * M_PI * 997.0 * t);
            } else if (i >= rate * 8 / 10 && i < rate * 8 / 10 + 2000) {
                const double ramp =
                    std::min(1.0, std::min(i - rate * 8 / 10, rate * 8 / 10 + 2000 - i) / 500.0);
                v = 0.9 * ramp * std::sin(2 * M_PI * (rate / 4.0) * t + M_PI / 4);
            }
            s.left.push_back(fixed(v));
            s.right.push_back(fixed(v * 0.5));
        }
        const std::vector<double> got = ours(s);
        const std::vector<double> want = libebur128(s);
        for (std::uint32_t c = 0; c < 2; ++c) {
            SCOPED_TRACE(c);
            EXPECT_NEAR(db(got[c]), db(want[c]), 0.1);
            EXPECT_NEAR(db(got[c]), db(c == 0 ? 0.9 : 0.45), 0.05);
        }
    }
}

}  // namespace

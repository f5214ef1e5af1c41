#include "tests/support/tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FULL_SCALE = 32768.0;
constexpr double SPAN_SECONDS = 0.2;

// The samples of one channel as fractions of full scale; empty when the span leaves the data.
std::vector<double> channel_span(const ParsedWav& wav, unsigned channel, std::size_t first,
                                 std::size_t count) {
    if (wav.bits_per_sample != 16 || wav.channels == 0 || channel >= wav.channels) {
        return {};
    }
    const std::vector<std::int16_t> samples = samples_s16(wav);
    const std::size_t frames = samples.size() / wav.channels;
    if (count == 0 || first + count > frames) {
        return {};
    }
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = samples[(first + i) * wav.channels + channel] / FULL_SCALE;
    }
    return out;
}

// Goertzel: the squared magnitude of the span's DFT at one frequency, without computing the
// other bins. For a sine of amplitude a over whole cycles it is (a * n / 2)^2.
double goertzel_power(const std::vector<double>& x, double rate, double frequency) {
    const double coefficient = 2.0 * std::cos(2.0 * PI * frequency / rate);
    double s1 = 0;
    double s2 = 0;
    for (const double sample : x) {
        const double s0 = sample + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double amplitude_of(const std::vector<double>& x, double rate, double frequency) {
    return 2.0 * std::sqrt(std::max(0.0, goertzel_power(x, rate, frequency))) /
           static_cast<double>(x.size());
}

ToneReading reading_of(const std::vector<double>& x, double rate,
                       std::initializer_list<double> candidates) {
    ToneReading reading;
    if (x.empty()) {
        return reading;
    }
    for (const double frequency : candidates) {
        const double amplitude = amplitude_of(x, rate, frequency);
        if (amplitude > reading.amplitude || reading.frequency == 0) {
            reading.frequency = frequency;
            reading.amplitude = amplitude;
        }
    }
    double total = 0;
    for (const double sample : x) {
        total += sample * sample;
    }
    total /= static_cast<double>(x.size());
    // Over whole cycles a sine's mean square is amplitude^2 / 2, and the rest of the signal
    // is orthogonal to it.
    const double tone = reading.amplitude * reading.amplitude / 2.0;
    const double rest = total - tone;
    reading.purity_db = rest > 0 ? 10.0 * std::log10(tone / rest) : 200.0;
    return reading;
}

}  // namespace

ToneReading read_tone(const ParsedWav& wav, unsigned channel, std::size_t first, std::size_t count,
                      std::initializer_list<double> candidates) {
    return reading_of(channel_span(wav, channel, first, count), wav.sample_rate, candidates);
}

double tone_amplitude(const ParsedWav& wav, unsigned channel, std::size_t first, std::size_t count,
                      double frequency) {
    const std::vector<double> x = channel_span(wav, channel, first, count);
    return x.empty() ? 0.0 : amplitude_of(x, wav.sample_rate, frequency);
}

std::string tone_faults(const ParsedWav& wav, unsigned channel, double from_s, double to_s,
                        double expected, double min_purity_db) {
    const double rate = wav.sample_rate;
    const auto span = static_cast<std::size_t>(rate * SPAN_SECONDS + 0.5);
    const auto first = static_cast<std::size_t>(rate * from_s + 0.5);
    const auto end = static_cast<std::size_t>(rate * to_s + 0.5);
    if (span == 0 || first + span > end) {
        return "no whole span between the given times";
    }
    std::string faults;
    for (std::size_t at = first; at + span <= end; at += span) {
        const ToneReading r = read_tone(wav, channel, at, span, {LEFT_TONE, RIGHT_TONE});
        if (r.frequency != expected || r.purity_db < min_purity_db) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "channel %u at %.2f s: %.0f Hz, amplitude %.3f, purity %.1f dB\n",
                          channel, static_cast<double>(at) / rate, r.frequency, r.amplitude,
                          r.purity_db);
            faults += line;
        }
    }
    return faults;
}

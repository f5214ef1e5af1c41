#include "dsp/true_peak.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::uint32_t HISTORY = TRUE_PEAK_PHASE_TAPS_MAX - 1;
constexpr double PI = 3.14159265358979323846;
constexpr std::size_t LANES = 8;
constexpr float FIXED_SCALE = 1.0f / 268435456.0f;  // 28 fraction bits

// The Kaiser window's shape. With 12 taps a phase at 4 times it leaves the pass band within
// 0.5 dB up to 0.4 of the input rate (-2.1 dB at 0.45) and the images 26 dB down or more; a
// steeper window (larger beta) reads full-band signals such as a square wave lower.
constexpr double KAISER_BETA = 5.8;

double sinc(double x) {
    return x == 0 ? 1.0 : std::sin(PI * x) / (PI * x);
}

// The zeroth-order modified Bessel function, by its power series (converges fast for the
// window's arguments).
double bessel_i0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) {
            break;
        }
    }
    return sum;
}

// A low pass at the input's Nyquist frequency, as a Kaiser-windowed sinc of TRUE_PEAK_TAPS + 1
// taps at the oversampled rate centred on a sample, so that phase 0 is the sample itself. Each
// phase is scaled to pass a constant unchanged.
void design(TruePeakState* state) {
    const std::uint32_t factor = state->factor;
    const std::uint32_t taps = state->phase_taps;
    const double centre = TRUE_PEAK_TAPS / 2.0;
    state->overshoot = 1.0f;  // phase 0, the sample itself
    for (std::uint32_t p = 1; p < factor; ++p) {
        double weights[TRUE_PEAK_PHASE_TAPS_MAX];
        double sum = 0;
        for (std::uint32_t j = 0; j < taps; ++j) {
            // Tap p + factor*j weighs the sample j before the newest of the phase's output.
            const double n = p + static_cast<double>(factor) * j;
            const double r = (n - centre) / centre;
            const double window =
                bessel_i0(KAISER_BETA * std::sqrt(1.0 - r * r)) / bessel_i0(KAISER_BETA);
            weights[j] = sinc((n - centre) / factor) * window;
            sum += weights[j];
        }
        // The newest sample comes last in `samples`.
        double gain = 0;
        for (std::uint32_t k = 0; k < taps; ++k) {
            state->phase[p - 1][k] = static_cast<float>(weights[taps - 1 - k] / sum);
            gain += std::fabs(weights[k] / sum);
        }
        // A little over, for the float sums' rounding.
        const auto bound = static_cast<float>(gain * 1.001);
        state->overshoot = bound > state->overshoot ? bound : state->overshoot;
    }
}

float largest_magnitude(const float* x, std::size_t n) {
    // Folded in lanes, which vectorizes where one running maximum would not.
    float lanes[LANES] = {};
    std::size_t i = 0;
    for (; i + LANES <= n; i += LANES) {
        for (std::size_t j = 0; j < LANES; ++j) {
            const float magnitude = std::fabs(x[i + j]);
            lanes[j] = magnitude > lanes[j] ? magnitude : lanes[j];
        }
    }
    for (; i < n; ++i) {
        const float magnitude = std::fabs(x[i]);
        lanes[0] = magnitude > lanes[0] ? magnitude : lanes[0];
    }
    float largest = 0;
    for (float lane : lanes) {
        largest = lane > largest ? lane : largest;
    }
    return largest;
}

// Filters a whole block of one channel and keeps its last samples for the next. Only the
// first `count` results count: the rest would need samples that have not come.
void filter_block(const TruePeakState* state, TruePeakChannel* channel, std::uint32_t count) {
    const std::uint32_t taps = state->phase_taps;
    const float* s = channel->samples + (TRUE_PEAK_PHASE_TAPS_MAX - taps);
    // No interpolated value exceeds the largest sample it is made of times the phase's sum of
    // magnitudes: a block too quiet to pass the peak so far is not filtered (most of music's).
    const float loudest =
        largest_magnitude(channel->samples, TRUE_PEAK_PHASE_TAPS_MAX - 1 + TRUE_PEAK_BLOCK);
    if (loudest * state->overshoot <= channel->peak) {
        std::memmove(channel->samples, channel->samples + TRUE_PEAK_BLOCK, HISTORY * sizeof(float));
        return;
    }
    float largest[TRUE_PEAK_BLOCK];
    for (std::uint32_t i = 0; i < TRUE_PEAK_BLOCK; ++i) {
        largest[i] = std::fabs(channel->samples[HISTORY + i]);
    }
    for (std::uint32_t p = 0; p + 1 < state->factor; ++p) {
        const float* c = state->phase[p];
        float sum[TRUE_PEAK_BLOCK] = {};
        for (std::uint32_t k = 0; k < taps; ++k) {
            const float weight = c[k];
            const float* x = s + k;
            for (std::size_t i = 0; i < TRUE_PEAK_BLOCK; ++i) {
                sum[i] += weight * x[i];
            }
        }
        for (std::uint32_t i = 0; i < TRUE_PEAK_BLOCK; ++i) {
            const float magnitude = std::fabs(sum[i]);
            largest[i] = magnitude > largest[i] ? magnitude : largest[i];
        }
    }
    for (std::uint32_t i = count; i < TRUE_PEAK_BLOCK; ++i) {
        largest[i] = 0;
    }
    const float peak = largest_magnitude(largest, TRUE_PEAK_BLOCK);
    channel->peak = peak > channel->peak ? peak : channel->peak;
    std::memmove(channel->samples, channel->samples + TRUE_PEAK_BLOCK, HISTORY * sizeof(float));
}

void filter_blocks(TruePeakState* state, std::uint32_t count) {
    for (std::uint32_t c = 0; c < state->channels; ++c) {
        filter_block(state, &state->channel[c], count);
    }
    state->filled = 0;
}

}  // namespace

void true_peak_init(TruePeakState* state, std::uint32_t channels, std::uint32_t rate) {
    *state = {};
    state->channels = channels == 1 ? 1 : 2;
    state->factor = rate < 96000 ? 4 : (rate < 192000 ? 2 : 1);
    state->phase_taps = TRUE_PEAK_TAPS / state->factor;
    design(state);
}

void true_peak_add(TruePeakState* state, std::uint32_t n, const mad_fixed_t* first,
                   const mad_fixed_t* second) {
    const mad_fixed_t* source[2] = {first, second};
    std::uint32_t done = 0;
    while (done < n) {
        std::uint32_t piece = TRUE_PEAK_BLOCK - state->filled;
        if (piece > n - done) {
            piece = n - done;
        }
        for (std::uint32_t c = 0; c < state->channels; ++c) {
            float* to = state->channel[c].samples + HISTORY + state->filled;
            const mad_fixed_t* from = source[c] + done;
            for (std::uint32_t i = 0; i < piece; ++i) {
                to[i] = static_cast<float>(from[i]) * FIXED_SCALE;
            }
        }
        state->filled += piece;
        done += piece;
        if (state->filled == TRUE_PEAK_BLOCK) {
            filter_blocks(state, TRUE_PEAK_BLOCK);
        }
    }
}

void true_peak_finish(TruePeakState* state) {
    if (state->filled == 0) {
        return;
    }
    for (std::uint32_t c = 0; c < state->channels; ++c) {
        float* block = state->channel[c].samples + HISTORY;
        std::memset(block + state->filled, 0, (TRUE_PEAK_BLOCK - state->filled) * sizeof(float));
    }
    filter_blocks(state, state->filled);
}

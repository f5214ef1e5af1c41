#include "engine/loudness.h"

#include <cmath>

namespace {

constexpr double ABSOLUTE_GATE_LUFS = -70.0;
constexpr double RELATIVE_GATE_LU = 10.0;
constexpr double BIN_WIDTH_LU = 0.1;
constexpr double GAIN_MIN_DB = -175.0;  // the attenuation stage's range
constexpr double GAIN_MAX_DB = 18.0;

// Samples converted per call into libebur128.
constexpr std::uint32_t TAP_PIECE = 512;

// The measuring decode drives its output module through the same handle-less entry as the
// writer, so the format it took lives here; like the writer's it is fixed by the first config,
// so that the player routes channels and resamples exactly as for the written file.
struct MeasureFormat {
    std::uint32_t bits;  // 0: not configured yet
    std::uint32_t channels;
    std::uint32_t rate;
};
MeasureFormat measure_format = {};

// Where libebur128 puts its gating steps: every 100 ms once the first 400 ms are in.
std::uint32_t frames_per_step(std::uint32_t rate) {
    return (rate + 5) / 10;
}

double block_energy(double lufs) {
    return std::pow(10.0, (lufs + 0.691) / 10.0);
}

double energy_lufs(double energy) {
    return -0.691 + 10.0 * std::log10(energy);
}

double bin_centre_lufs(int bin) {
    return ABSOLUTE_GATE_LUFS + (bin + 0.5) * BIN_WIDTH_LU;
}

// The block just completed (the last 400 ms) into the histogram.
void note_block(LoudnessMeter* meter) {
    double lufs = 0;
    if (ebur128_loudness_momentary(meter->ebur, &lufs) != EBUR128_SUCCESS ||
        !(lufs > ABSOLUTE_GATE_LUFS)) {
        return;
    }
    int bin = static_cast<int>((lufs - ABSOLUTE_GATE_LUFS) / BIN_WIDTH_LU);
    if (bin >= LOUDNESS_BINS) {
        bin = LOUDNESS_BINS - 1;
    }
    ++meter->figures->blocks[bin];
}

bool meter_start(LoudnessMeter* meter, std::uint32_t channels, std::uint32_t rate) {
    meter->ebur = ebur128_init(channels, rate, EBUR128_MODE_I);
    if (meter->ebur == nullptr) {
        meter->failed = 1;
        return false;
    }
    meter->channels = channels;
    meter->rate = rate;
    meter->to_block_end = 4 * frames_per_step(rate);
    true_peak_init(&meter->true_peak, channels, rate);
    return true;
}

}  // namespace

void loudness_tap(LoudnessMeter* meter, std::uint32_t n, const mad_fixed_t* left,
                  const mad_fixed_t* right, std::uint32_t rate) {
    if (meter->failed != 0 || n == 0) {
        return;
    }
    if (meter->ebur == nullptr && !meter_start(meter, right != nullptr ? 2 : 1, rate)) {
        return;
    }
    // The output's format is fixed by its first block; a later block of another channel
    // count is measured as it would be written.
    const mad_fixed_t* second = meter->channels == 2 ? (right != nullptr ? right : left) : nullptr;
    true_peak_add(&meter->true_peak, n, left, second);
    double interleaved[2 * TAP_PIECE];
    std::uint32_t done = 0;
    while (done < n) {
        std::uint32_t piece = n - done < TAP_PIECE ? n - done : TAP_PIECE;
        if (piece > meter->to_block_end) {
            piece = meter->to_block_end;
        }
        for (std::uint32_t i = 0; i < piece; ++i) {
            if (second != nullptr) {
                interleaved[2 * i] = left[done + i] / 268435456.0;
                interleaved[2 * i + 1] = second[done + i] / 268435456.0;
            } else {
                interleaved[i] = left[done + i] / 268435456.0;
            }
        }
        if (ebur128_add_frames_double(meter->ebur, interleaved, piece) != EBUR128_SUCCESS) {
            meter->failed = 1;
            return;
        }
        done += piece;
        meter->frames += piece;
        meter->to_block_end -= piece;
        if (meter->to_block_end == 0) {
            note_block(meter);
            meter->to_block_end = frames_per_step(meter->rate);
        }
    }
}

double loudness_true_peak(LoudnessMeter* meter) {
    TruePeakState* state = &meter->true_peak;
    true_peak_finish(state);
    double peak = 0;
    for (std::uint32_t channel = 0; channel < state->channels; ++channel) {
        if (state->channel[channel].peak > peak) {
            peak = state->channel[channel].peak;
        }
    }
    return peak;
}

std::int32_t measure_command(OutputControl* control) {
    switch (control->command) {
        case OUTPUT_OPEN:
            measure_format = {};
            return 0;
        case OUTPUT_CONFIG:
            if (measure_format.bits == 0) {
                const std::uint32_t bits = control->precision;
                measure_format.bits = bits == 0 ? 16 : (bits > 32 ? 32 : bits);
                measure_format.channels = control->channels;
                measure_format.rate = control->speed;
            }
            control->precision = measure_format.bits;
            control->channels = measure_format.channels;
            control->speed = measure_format.rate;
            return 0;
        default:
            return 0;
    }
}

double loudness_of_blocks(const std::uint32_t* blocks) {
    double energy = 0;
    double count = 0;
    for (int bin = 0; bin < LOUDNESS_BINS; ++bin) {
        energy += blocks[bin] * block_energy(bin_centre_lufs(bin));
        count += blocks[bin];
    }
    if (count == 0) {
        return -HUGE_VAL;
    }
    const double relative_gate = energy_lufs(energy / count) - RELATIVE_GATE_LU;
    energy = 0;
    count = 0;
    for (int bin = 0; bin < LOUDNESS_BINS; ++bin) {
        if (bin_centre_lufs(bin) > relative_gate) {
            energy += blocks[bin] * block_energy(bin_centre_lufs(bin));
            count += blocks[bin];
        }
    }
    return count == 0 ? -HUGE_VAL : energy_lufs(energy / count);
}

void loudness_add_to_album(LoudnessFigures* album, const LoudnessFigures* track) {
    if (track->measured == 0) {
        return;
    }
    album->measured = 1;
    for (int bin = 0; bin < LOUDNESS_BINS; ++bin) {
        album->blocks[bin] += track->blocks[bin];
    }
    if (track->true_peak > album->true_peak) {
        album->true_peak = track->true_peak;
    }
    album->integrated_lufs = loudness_of_blocks(album->blocks);
}

double peak_dbtp(double true_peak) {
    return true_peak > 0 ? 20.0 * std::log10(true_peak) : -HUGE_VAL;
}

LoudnessGain loudness_gain(const LoudnessFigures* figures, double target_lufs,
                           double ceiling_dbtp) {
    if (figures->measured == 0 || !std::isfinite(figures->integrated_lufs)) {
        return {0.0, GAIN_NOT_MEASURABLE};
    }
    LoudnessGain gain{target_lufs - figures->integrated_lufs, GAIN_ON_TARGET};
    const double peak = peak_dbtp(figures->true_peak);
    if (std::isfinite(peak) && peak + gain.gain_db > ceiling_dbtp) {
        gain.gain_db = ceiling_dbtp - peak;
        gain.limit = GAIN_LIMITED_BY_PEAK;
    }
    if (gain.gain_db > GAIN_MAX_DB) {
        gain = {GAIN_MAX_DB, GAIN_LIMITED_BY_RANGE};
    } else if (gain.gain_db < GAIN_MIN_DB) {
        gain = {GAIN_MIN_DB, GAIN_LIMITED_BY_RANGE};
    }
    return gain;
}

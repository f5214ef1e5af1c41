// Loudness measurement on the samples the player hands to its output: gated integrated
// loudness with libebur128, true peak with our own interpolator (libebur128's costs several
// decodes); and the gain that brings a file or an album to a target loudness.
#pragma once

#include <ebur128.h>
#include <mad.h>

#include <cstdint>

#include "dsp/true_peak.h"
#include "engine/output.h"
#include "engine/request.h"

// One programme's meter, attached to a player state for a measuring decode.
struct LoudnessMeter {
    ebur128_state* ebur;  // made at the first block, for its channel count and rate
    std::uint32_t channels;
    std::uint32_t rate;
    std::uint64_t frames;        // sample frames measured
    std::uint32_t to_block_end;  // frames until the next 100 ms gating step
    LoudnessFigures* figures;    // where the block histogram goes
    std::int32_t failed;         // libebur128 refused something (memory): no figures
    TruePeakState true_peak;     // started with ebur
};

// Feeds n samples per channel (right null for one channel) at rate into the meter.
void loudness_tap(LoudnessMeter* meter, std::uint32_t n, const mad_fixed_t* left,
                  const mad_fixed_t* right, std::uint32_t rate);

// Ends the measurement's true peak and gives the largest of its channels (1.0 is full scale).
double loudness_true_peak(LoudnessMeter* meter);

// The output module of a measuring decode: takes the format the first config asks for, as
// the WAV writer does, and writes and quantizes nothing.
std::int32_t measure_command(OutputControl* control);

// Integrated loudness of gating blocks added up from one or more measurements, gated as one
// programme (absolute gate -70 LUFS, relative gate 10 LU below the mean of the rest). -HUGE_VAL
// when no block passes.
double loudness_of_blocks(const std::uint32_t* blocks);

// Adds a track's figures to an album's: blocks summed, the larger true peak. The album's
// integrated loudness follows from its blocks (loudness_of_blocks).
void loudness_add_to_album(LoudnessFigures* album, const LoudnessFigures* track);

struct LoudnessGain {
    double gain_db;
    std::int32_t limit;  // GAIN_ON_TARGET, GAIN_LIMITED_BY_PEAK, ...
};

// target - measured, lowered so that the true peak stays at or below ceiling_dbtp and kept
// within -175..+18 dB; 0 with GAIN_NOT_MEASURABLE for a loudness of -inf.
LoudnessGain loudness_gain(const LoudnessFigures* figures, double target_lufs, double ceiling_dbtp);

// 20 log10 of a linear peak; -HUGE_VAL for 0.
double peak_dbtp(double true_peak);

// The true peak of a signal: the largest magnitude between its samples as a converter would
// reconstruct it, found by oversampling 4 times below 96 kHz, 2 times below 192 kHz and not at
// all above, through a polyphase FIR interpolator.
#pragma once

#include <mad.h>

#include <cstdint>

// Coefficients of the interpolated phases together: 12 for each of 3 phases at 4 times, 24
// for the one phase at 2 times.
constexpr std::uint32_t TRUE_PEAK_TAPS = 48;
constexpr std::uint32_t TRUE_PEAK_PHASE_TAPS_MAX = 24;
// Samples filtered at once: a whole block keeps the loops free of remainders, so the compiler
// can give them to vector instructions.
constexpr std::uint32_t TRUE_PEAK_BLOCK = 256;
constexpr std::uint32_t TRUE_PEAK_MAX_FACTOR = 4;

struct TruePeakChannel {
    // The last TRUE_PEAK_PHASE_TAPS_MAX - 1 samples before the block, then the block.
    float samples[TRUE_PEAK_PHASE_TAPS_MAX - 1 + TRUE_PEAK_BLOCK];
    float peak;  // 1.0 is full scale
};

struct TruePeakState {
    std::uint32_t channels;    // 1 or 2
    std::uint32_t factor;      // 4, 2 or 1
    std::uint32_t filled;      // samples waiting in the block
    std::uint32_t phase_taps;  // TRUE_PEAK_TAPS / factor
    // The most an interpolated value can exceed the largest of its samples by (the largest
    // sum of a phase's coefficient magnitudes); 1 without interpolation.
    float overshoot;
    // The interpolated phases 1 .. factor-1, each as the coefficients that multiply the
    // newest phase_taps samples of `samples` in their order there; phase 0 is the sample
    // itself. Unused coefficients are 0.
    float phase[TRUE_PEAK_MAX_FACTOR - 1][TRUE_PEAK_PHASE_TAPS_MAX];
    TruePeakChannel channel[2];
};

// Silence before the first sample; channels is 1 or 2.
void true_peak_init(TruePeakState* state, std::uint32_t channels, std::uint32_t rate);

// n samples of each channel (second unused for one channel).
void true_peak_add(TruePeakState* state, std::uint32_t n, const mad_fixed_t* first,
                   const mad_fixed_t* second);

// Ends the signal with silence, so that the ringing after its last samples counts too; then
// channel[c].peak holds each channel's true peak. The state takes no more samples.
void true_peak_finish(TruePeakState* state);

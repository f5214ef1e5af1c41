// The output module interface through which the player drives the WAV writer.
#pragma once

#include <cstdint>

#include "dsp/pcm.h"

enum OutputCommandCode : std::int32_t {
    OUTPUT_OPEN = 0,
    OUTPUT_CONFIG = 1,
    OUTPUT_PLAY = 2,
    OUTPUT_STOP = 3,
    OUTPUT_FINISH = 4,
};

// One record for every command; each command reads only its own fields. config writes back
// what the writer accepted.
struct OutputControl {
    std::int32_t command;
    const char* path;  // open: null or "-" is standard output
    std::uint32_t channels;
    std::uint32_t speed;      // Hz
    std::uint32_t precision;  // bits per sample, 0 = default
    // config: the sample frames the player expects (its play length at this rate), 0 when
    // unknown. A file expected past the 4 GiB RIFF limit is laid out as RF64 from the start.
    std::uint64_t expected_frames;
    std::uint32_t nsamples;  // play: samples per channel
    const mad_fixed_t* samples[2];
    OutputMode mode;
    ClipStats* stats;
    std::int32_t flush;
    // open: whole RIFF chunks, pad bytes included, that finish writes after the data chunk;
    // the caller keeps them until finish. Left out when the data size cannot be patched.
    const unsigned char* trailer;
    std::uint32_t trailer_length;
};

// Returns 0, or -1 with output_error() describing the failure.
using OutputCommand = std::int32_t (*)(OutputControl* control);

// Stores the code and clears the fields (play's mode starts as Dither).
void output_control_init(OutputControl* control, std::int32_t command);

// The output module for a name; null (the only use) gives the WAV writer.
OutputCommand find_output_module(const char* name);

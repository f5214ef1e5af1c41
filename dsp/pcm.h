// Quantization of fixed-point samples to 8/16/24/32-bit PCM with rounding or dither,
// clipping statistics, and the packers that interleave and store them little-endian.
#pragma once

#include <mad.h>

#include <cstdint>

enum OutputMode : std::int32_t { Round = 0, Dither = 1 };

struct ClipStats {
    std::uint32_t clip_count;
    mad_fixed_t clip_peak;   // largest excess over full scale
    mad_fixed_t peak_level;  // largest magnitude seen; 2^28 once MIN was reached
};

struct DitherState {
    mad_fixed_t feedback[3];  // e0, e1, e2
    std::uint32_t lcg_state;
};

// Returns the sample clipped to full scale and records it in the statistics.
mad_fixed_t clip_and_track(mad_fixed_t sample, ClipStats* stats);
// width is 8, 16 or 24 bits; the result is a signed value of that width.
// width: 8, 16 or 24 bits.
std::int32_t quantize_round(unsigned width, mad_fixed_t sample, ClipStats* stats);
std::int32_t quantize_dither(unsigned width, mad_fixed_t sample, DitherState* dither,
                             ClipStats* stats);

// Puts both dither states back where a new process starts them, so that the next file's bytes
// depend on that file alone and not on which files this process decoded before it.
void restart_dither();

// Each packer stores n samples per channel (right may be null for one channel) and returns
// the byte count written, or 0 for an unknown mode.
using Packer = std::uint32_t (*)(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                                 const mad_fixed_t* right, OutputMode mode, ClipStats* stats);

std::uint32_t pack_u8(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                      const mad_fixed_t* right, OutputMode mode, ClipStats* stats);
std::uint32_t pack_s16le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats);
std::uint32_t pack_s24le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats);
std::uint32_t pack_s32le(unsigned char* out, std::uint32_t n, const mad_fixed_t* left,
                         const mad_fixed_t* right, OutputMode mode, ClipStats* stats);

// The packer for a bit depth of 1 to 32 (0 is taken as 16, more than 32 as 32).
Packer packer_for_bits(std::uint32_t bits);

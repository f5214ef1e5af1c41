// The per-frame filters that run on subband samples before synthesis: mono mix, gain, and
// the fade filter (leading/long silence skipping, fade-in, fade-out).
#pragma once

#include <mad.h>

struct PlayerState;

// 2 channels x 32 subbands of fixed-point factors.
struct GainTable {
    mad_fixed_t factor[2][32];
};

// The one module-wide table, filled with 1.0 until the gain filter is installed.
GainTable* gain_table();
// Sets every entry of the module-wide table, e.g. to the state's attenuation when the
// player installs the gain filter.
void gain_table_fill(mad_fixed_t factor);

unsigned frame_slots(const mad_frame* frame);     // 12, 18 or 36
unsigned frame_channels(const mad_frame* frame);  // 1 or 2
unsigned frame_level(const mad_frame* frame);

mad_flow mono_filter(void* state, mad_frame* frame);  // PlayerState*
mad_flow gain_filter(void* table, mad_frame* frame);  // GainTable*
mad_flow fade_filter(void* state, mad_frame* frame);  // PlayerState*

// The parts of fade_filter, for tests. The silence checks return MAD_FLOW_IGNORE to drop
// the frame. Fades shorter than one slot (32 samples) change the gain in a single step.
mad_flow leading_silence_check(PlayerState* state, const mad_frame* frame);
mad_flow long_silence_check(PlayerState* state, const mad_frame* frame);
void apply_fade_in(PlayerState* state, mad_frame* frame);
void apply_fade_out(PlayerState* state, mad_frame* frame);

// The per-frame filters that run on subband samples before synthesis: mono mix, gain, and
// the fade filter (leading/long silence skipping, fade-in, fade-out).
#pragma once

#include <mad.h>

#include <cstdint>

// 2 channels x 32 subbands of fixed-point factors.
struct GainTable {
    mad_fixed_t factor[2][32];
};

// The fade filter's record. The player holds one and points the filter node at it; the two
// clocks stay the player's, which advances play_timer only for frames that reach the output.
struct FadeState {
    mad_timer_t fade_in;   // zero: no fade-in
    mad_timer_t fade_out;  // zero: no fade-out
    std::int32_t silence_enabled;
    std::int32_t in_leading_silence;  // no loud frame has been met yet
    mad_timer_t quiet_run;            // length of the current run of quiet frames
    mad_timer_t quiet_limit;          // longest quiet run kept
    const mad_timer_t* total_time;    // expected play time; zero when unknown
    const mad_timer_t* play_timer;    // audio handed to the output so far
    // Decoded time that is cut away before the first kept sample (exact length); the fade-in
    // starts after it, and audio before it is silenced. Zero: the fade-in starts at once.
    mad_timer_t lead_in;
};

// Times zero, silence skipping off, the quiet limit at 2 seconds; the clocks are the
// caller's and must outlive every call of fade_filter.
void fade_state_init(FadeState* fade, const mad_timer_t* total_time, const mad_timer_t* play_timer);

// The one module-wide table, filled with 1.0 until the gain filter is installed.
GainTable* gain_table();
// Sets every entry of the module-wide table, e.g. to the state's attenuation when the
// player installs the gain filter.
void gain_table_fill(mad_fixed_t factor);

mad_flow mono_filter(void* data, mad_frame* frame);   // data unused
mad_flow gain_filter(void* table, mad_frame* frame);  // GainTable*
// Returns MAD_FLOW_IGNORE to drop a frame of skipped silence. Fades shorter than one slot
// (32 samples) change the gain in a single step.
mad_flow fade_filter(void* fade, mad_frame* frame);  // FadeState*

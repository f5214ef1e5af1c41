// Test-only entry points into dsp: the parts of the fade filter one at a time, the frame
// level, and the process-wide dither states. Production code calls none of them.
#pragma once

#include <mad.h>

#include "dsp/filters.h"
#include "dsp/pcm.h"

// The level the silence checks compare: sum |sample >> 21| / ((channels * slots * 32) >> 6).
unsigned frame_level(const mad_frame* frame);

// The steps of fade_filter. The silence checks return MAD_FLOW_IGNORE to drop the frame.
mad_flow leading_silence_check(FadeState* fade, const mad_frame* frame);
mad_flow long_silence_check(FadeState* fade, const mad_frame* frame);
void apply_fade_in(const FadeState* fade, mad_frame* frame);
void apply_fade_out(const FadeState* fade, mad_frame* frame);

// The dither state of channel 0 (left or only) or 1 (right), so that a test can start from
// a known state; production code resets it only through restart_dither.
DitherState* dither_state(int channel);

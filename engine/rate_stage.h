// The rate converter as a stage of the output path. Routed samples are gathered into blocks;
// with threads of its own (one per channel) the stage converts one block while the calling
// thread goes on decoding, packing and writing the one before. Without them the same blocks
// are converted on the calling thread, so both ways give the same samples.
#pragma once

#include <mad.h>

#include <cstdint>

struct RateStage;

// Plays one converted block: count samples per channel, right null with one channel. Returns
// 0 or -1 (reported by the player).
using RateStagePlay = int (*)(void* context, std::uint32_t count, const mad_fixed_t* left,
                              const mad_fixed_t* right);

// What rate_stage_push and rate_stage_finish return besides 0.
constexpr int RATE_STAGE_CONVERTER_FAILED = -1;  // libsoxr failed: not yet reported
constexpr int RATE_STAGE_PLAY_FAILED = -2;       // play returned -1

// Starts a conversion of channels (1 or 2) from rate_in to rate_out, for an output word of
// output_bits, whose blocks go to play.
// Null when a rate is outside the converter's range, memory runs out or libsoxr refuses.
RateStage* rate_stage_start(std::uint32_t channels, std::uint32_t rate_in, std::uint32_t rate_out,
                            std::uint32_t output_bits, bool own_thread, RateStagePlay play,
                            void* context);

// Whether the stage converts this many channels from this rate.
bool rate_stage_matches(const RateStage* stage, std::uint32_t channels, std::uint32_t rate_in);

// Takes n (at most one frame, 1152) samples of each channel; right is ignored with one
// channel. Plays the blocks that are ready in order. Returns 0 or a RATE_STAGE_* failure.
int rate_stage_push(RateStage* stage, std::uint32_t n, const mad_fixed_t* left,
                    const mad_fixed_t* right);

// The end of the input: plays everything still held, the converter's last samples included.
// Returns 0 or a RATE_STAGE_* failure.
int rate_stage_finish(RateStage* stage);

// Stops the stage's thread and frees it (null is allowed); what was not played is dropped.
void rate_stage_release(RateStage* stage);

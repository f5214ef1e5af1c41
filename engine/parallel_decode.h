// One file decoded on several threads with the bytes, messages and progress calls of the
// sequential decode: threads decode runs of whole frames from states they check against each
// other, and the calling thread hands the frames in order to the player's one output path.
#pragma once

#include <mad.h>

#include "engine/player_state.h"

// Decodes the opened input as the sequential decoder would and returns what it returns
// (0, or -1 after a message). Falls back to the sequential decoder, from the start or from
// the last frame whose decoder state was confirmed, whenever the stream or a check asks.
// With state->tokens, a file also takes up the run's free processors as they come: between
// pieces one more thread for each, and a file begun on one thread goes over to pieces at the
// first free processor. Every token taken is given back by the time it returns.
int decode_parallel(PlayerState* state);
// The player's header callback, every few frames while a file that may take up a free
// processor is decoded on one thread: the offset of the frame of the run to stop at, having
// taken a token, or 0 to go on.
std::uint64_t parallel_growth_stop(PlayerState* state);

// The player's side, in player.cpp. Runs libmad's synchronous decoder with the player's
// callbacks from state->input_offset, restoring state->snapshot first when state->resume is
// set and stopping at state->stop_offset when that is not 0. Returns mad_decoder_run's result.
int player_run_decoder(PlayerState* state);
int player_decoder_options(const PlayerState* state);
// Everything the callbacks do for a frame the threads decoded and synthesized: its header
// counted, its kind noted, the exact-length bookkeeping, then the output. decoded carries the
// header before the filters and the options; played is the header the synthesis saw.
mad_flow player_replay_frame(PlayerState* state, const mad_frame* decoded, mad_header* played,
                             mad_pcm* pcm);

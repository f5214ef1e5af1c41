// The player: one run of libmad's synchronous decoder over a prepared PlayerState, with the
// filter chain, the output module, progress reporting and the summary line.
#pragma once

#include <mad.h>

#include "engine/player_state.h"

void player_init(PlayerState* state);
// May end the process on an invalid option text.
void player_apply_request(PlayerState* state, const DecodeRequest* request);
// Frees the filter nodes and the resample buffer.
void player_release(PlayerState* state);

// Installs the filters, plays the playlist and finishes the output. Returns 0, or -1 after
// printing why.
int run_player(PlayerState* state);

// The figures of the summary line (also after a failure or a stop) into stats.
void player_stats(const PlayerState* state, DecodeStats* stats);

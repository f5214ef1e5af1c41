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

// Each returns 0, or -1 after printing why.
int run_player(PlayerState* state);
int install_filters(PlayerState* state);
int play_all(PlayerState* state);
int play_file(PlayerState* state);
int decode_stream(PlayerState* state);

// libmad's callbacks; data is the PlayerState.
mad_flow on_input(void* data, mad_stream* stream);
mad_flow on_header(void* data, const mad_header* header);
mad_flow on_frame(void* data, const mad_stream* stream, mad_frame* frame);
mad_flow on_output(void* data, const mad_header* header, mad_pcm* pcm);
mad_flow on_error(void* data, mad_stream* stream, mad_frame* frame);

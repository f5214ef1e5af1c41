#include <cstdio>
#include <cstdlib>

#include "dsp/fixed.h"
#include "engine/messages.h"
#include "engine/options.h"
#include "engine/player.h"

namespace {

bool given(const char* text) {
    return text != nullptr && text[0] != '\0';
}

// The values of a request's option texts; a text not given leaves its field zero.
struct RequestValues {
    mad_fixed_t attenuation;
    std::uint32_t precision;
    mad_timer_t gap;
    mad_timer_t fade_in;
    mad_timer_t fade_out;
};

// Ends the process with status 1 after the message of the first invalid text. The order of
// the parses decides which of several invalid texts is reported.
void parse_request_texts(const DecodeRequest* request, RequestValues* values) {
    *values = {};
    if (given(request->attenuation_text)) {
        values->attenuation = decibel_to_gain(request->attenuation_text);
    }
    if (given(request->bit_depth_text)) {
        values->precision = parse_bit_depth(request->bit_depth_text);
    }
    if (given(request->gap_text)) {
        values->gap = parse_time_option(request->gap_text, "gap time", false);
    }
    if (given(request->fade_in_text)) {
        values->fade_in = parse_time_option(request->fade_in_text, "fade-in time", true);
    }
    if (given(request->fade_out_text)) {
        values->fade_out = parse_time_option(request->fade_out_text, "fade-out time", true);
    }
}

}  // namespace

void decode_request_init(DecodeRequest* request) {
    *request = {};
    request->fade_in_text = "";
    request->fade_out_text = "";
    request->gap_text = "";
    request->bit_depth_text = "16";
    request->spare_text = "";
    request->attenuation_text = "";
    request->channel_text = "";
    request->output_path = "";
}

void player_init(PlayerState* state) {
    *state = {};
    state->repeat = 1;
    fade_state_init(&state->fade, &state->total_time, &state->play_timer);
    state->gap = mad_timer_zero;
    state->input_fd = -1;
    state->mode = Dither;
    state->attenuation = FIXED_ONE;
    state->select = SELECT_DEFAULT;
    state->total_time = mad_timer_zero;
    state->play_timer = mad_timer_zero;
    state->error_frame = 0xFFFFFFFFu;
}

// The order of the steps decides which of two conflicting switches wins (stereo over mono
// over a channel number).
void player_apply_request(PlayerState* state, const DecodeRequest* request) {
    RequestValues values;
    parse_request_texts(request, &values);
    if (given(request->channel_text)) {
        state->select = decimal_value(request->channel_text);
    }
    if (given(request->attenuation_text)) {
        state->attenuation = values.attenuation;
    }
    if (given(request->bit_depth_text)) {
        state->precision_in = values.precision;
    }
    if (request->no_dither != 0) {
        state->mode = Round;
    }
    if (request->half_rate != 0) {
        state->flags |= FLAG_HALF_RATE;
    }
    if (given(request->gap_text)) {
        state->gap = values.gap;
        state->flags |= FLAG_GAP;
    }
    if (request->ignore_crc != 0) {
        state->flags |= FLAG_IGNORE_CRC;
    }
    if (given(request->fade_in_text)) {
        state->fade.fade_in = values.fade_in;
        state->flags |= FLAG_FADE_IN;
    }
    if (request->mono != 0) {
        state->select = SELECT_MONO;
    }
    if (given(request->output_path)) {
        state->output_path = request->output_path;
    }
    if (given(request->input_path)) {
        state->playlist_entry = request->input_path;
        state->entries = &state->playlist_entry;
        state->count = 1;
    }
    if (given(request->fade_out_text)) {
        state->fade.fade_out = values.fade_out;
        state->flags |= FLAG_FADE_OUT;
    }
    if (request->stereo != 0) {
        state->select = SELECT_STEREO;
    }
    if (request->cross_fade != 0) {
        state->flags |= FLAG_CROSS_FADE;
    }
    mad_timer_set(&state->total_time, 0, request->play_length_ms, 1000);
    state->progress = request->progress;
    if (request->skip_silence != 0) {
        state->flags |= FLAG_SKIP_SILENCE | FLAG_GAP;
        state->fade.silence_enabled = 1;
        state->fade.in_leading_silence = 1;
    }
    if (request->normalize != 0) {
        state->flags |= FLAG_NORMALIZE;
    }
    if (request->copy_tags != 0) {
        state->flags |= FLAG_COPY_TAGS;
    }
    if (request->exact_length != 0) {
        state->flags |= FLAG_EXACT_LENGTH;
    }
}

void check_request_texts(const DecodeRequest* request) {
    RequestValues values;
    parse_request_texts(request, &values);
}

void player_release(PlayerState* state) {
    FilterNode* node = state->filters;
    while (node != nullptr) {
        FilterNode* next = node->next;
        if ((node->flags & FILTER_HEAP) != 0) {
            std::free(node);
        }
        node = next;
    }
    state->filters = nullptr;
    std::free(state->resample_buffer);
    state->resample_buffer = nullptr;
    std::free(state->tag_chunks);
    state->tag_chunks = nullptr;
    state->tag_chunks_length = 0;
}

const char* decode_banner() {
    return "MPEG Audio Decoder 0.14.2 (beta) - ";
}

std::int32_t decode_file(const DecodeRequest* request) {
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, request);

    engine_message("%s", decode_banner());
    std::fflush(stderr);

    if ((state.flags & FLAG_CROSS_FADE) != 0) {
        if ((state.flags & FLAG_GAP) == 0) {
            engine_warn("cross-fade ignored without gap");
        } else if (mad_timer_sign(state.gap) >= 0) {
            engine_warn("cross-fade ignored without negative gap");
        }
    }

    engine_output_failure_reset();
    int result = run_player(&state);
    player_release(&state);
    if (request->stats != nullptr) {
        player_stats(&state, request->stats);
        request->stats->output_error = result == -1 ? engine_output_failure() : 0;
    }

    if (state.stop_requested != 0) {
        return DECODE_ABORTED;
    }
    return result == -1 ? DECODE_FAILED : DECODE_OK;
}

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dsp/fixed.h"
#include "dsp/rate_converter.h"
#include "engine/loudness.h"
#include "engine/messages.h"
#include "engine/options.h"
#include "engine/player.h"
#include "engine/rate_stage.h"
#include "engine/replaygain_tag.h"
#include "engine/wav_tags.h"

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
    if (request->output_rate != 0 && (request->output_rate < RATE_CONVERTER_MIN_RATE ||
                                      request->output_rate > RATE_CONVERTER_MAX_RATE)) {
        engine_fatal("output rate %u Hz outside %u to %u Hz", request->output_rate,
                     RATE_CONVERTER_MIN_RATE, RATE_CONVERTER_MAX_RATE);
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
    request->target_lufs = -18.0;
    request->true_peak_dbtp = -1.0;
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
    state->threads = 1;
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
    state->output_rate = request->output_rate;
    state->threads = request->threads > 1 ? request->threads : 1;
    state->tokens = request->tokens;
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
    rate_stage_release(state->rate_stage);
    state->rate_stage = nullptr;
    state->tag_chunks_length = 0;
}

const char* decode_banner() {
    return "MPEG Audio Decoder 0.14.2 (beta) - ";
}

namespace {

// What a loudness decode adds to a plain one: the gain through the attenuation stage, and the
// chunks with the ReplayGain tags.
struct LoudnessPass {
    std::int32_t apply;  // replace the attenuation by gain_db plus the request's own
    double gain_db;
    std::int32_t limit;
    std::int32_t tags;  // add the ReplayGain frames
    ReplayGainValues values;
};

double decibels_of(const char* text) {
    double value = 0;
    if (given(text) && parse_decibel(text, &value) != 0) {
        value = 0;  // cannot happen: the text was parsed before
    }
    return value;
}

// progress: PROGRESS_SECOND_HALF after a measuring decode of the same file.
std::int32_t decode_pass(const DecodeRequest* request, const LoudnessPass* pass,
                         ProgressPart progress) {
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, request);
    state.progress_part = progress;

    engine_message("%s", decode_banner());
    std::fflush(stderr);

    if ((state.flags & FLAG_CROSS_FADE) != 0) {
        if ((state.flags & FLAG_GAP) == 0) {
            engine_warn("cross-fade ignored without gap");
        } else if (mad_timer_sign(state.gap) >= 0) {
            engine_warn("cross-fade ignored without negative gap");
        }
    }

    if (pass != nullptr) {
        state.flags |= FLAG_LOUDNESS;
        if (pass->apply != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%.6f", pass->gain_db);
            for (char* c = text; *c != '\0'; ++c) {
                if (*c == ',') {
                    *c = '.';  // the engine's decibel texts take a point whatever the locale
                }
            }
            state.attenuation = decibel_to_gain(text);
        }
        if (pass->tags != 0) {
            if ((state.flags & FLAG_COPY_TAGS) != 0 && state.count > 0) {
                state.tag_chunks =
                    wav_tag_chunks(state.entries[0], &state.tag_chunks_length, &state.warnings);
            }
            state.tag_chunks =
                add_replaygain_tags(state.tag_chunks, &state.tag_chunks_length, &pass->values);
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

double scaled_peak(double peak, double gain_db) {
    return peak * std::pow(10.0, gain_db / 20.0);
}

// The gain to apply and the tags to write, from the file's figures and, with an album, the
// album's.
LoudnessPass plan_pass(const DecodeRequest* request, const LoudnessFigures* track) {
    LoudnessPass pass = {};
    const LoudnessFigures* programme =
        request->album_figures != nullptr ? request->album_figures : track;
    const LoudnessGain gain =
        loudness_gain(programme, request->target_lufs, request->true_peak_dbtp);
    pass.limit = gain.limit;
    double applied = 0;
    if (request->loudness != 0 && gain.limit != GAIN_NOT_MEASURABLE) {
        // The request's own attenuation comes on top; the stage's range holds for the sum.
        const double user = decibels_of(request->attenuation_text);
        applied = gain.gain_db;
        if (user + applied > 18.0) {
            applied = 18.0 - user;
            pass.limit = GAIN_LIMITED_BY_RANGE;
        } else if (user + applied < -175.0) {
            applied = -175.0 - user;
            pass.limit = GAIN_LIMITED_BY_RANGE;
        }
        pass.apply = 1;
        pass.gain_db = applied;
    }
    if (gain.limit == GAIN_NOT_MEASURABLE) {
        engine_error("loudness", "too short or too quiet to measure the loudness; gain 0 dB");
    }
    if (request->replaygain != 0 && gain.limit != GAIN_NOT_MEASURABLE) {
        // The written file's values: what the applied gain left to do.
        const LoudnessGain own =
            loudness_gain(track, request->target_lufs, request->true_peak_dbtp);
        pass.tags = own.limit != GAIN_NOT_MEASURABLE ? 1 : 0;
        pass.values.track_gain_db = own.gain_db - applied;
        pass.values.track_peak = scaled_peak(track->true_peak, applied);
        if (request->album_figures != nullptr) {
            pass.values.has_album = 1;
            pass.values.album_gain_db = gain.gain_db - applied;
            pass.values.album_peak = scaled_peak(request->album_figures->true_peak, applied);
        }
        pass.values.reference_lufs = request->target_lufs;
    }
    return pass;
}

}  // namespace

std::int32_t measure_file(const DecodeRequest* request, LoudnessFigures* figures) {
    *figures = {};
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, request);
    // Nothing is written, so nothing is normalized or tagged.
    state.flags &= ~(FLAG_NORMALIZE | FLAG_COPY_TAGS);
    state.flags |= FLAG_LOUDNESS;
    state.command = measure_command;
    state.progress_part = PROGRESS_FIRST_HALF;
    LoudnessMeter meter = {};
    meter.figures = figures;
    state.meter = &meter;

    // The writing decode gives the file's messages (its tag, damage, channel notes) once.
    engine_messages_quiet(1);
    int result = run_player(&state);
    engine_messages_quiet(0);
    player_release(&state);
    if (meter.ebur != nullptr) {
        double lufs = -HUGE_VAL;
        if (meter.failed == 0 && ebur128_loudness_global(meter.ebur, &lufs) == EBUR128_SUCCESS) {
            figures->measured = 1;
            figures->integrated_lufs = lufs;
            figures->true_peak = loudness_true_peak(&meter);
        }
        ebur128_destroy(&meter.ebur);
    } else if (result == 0 && state.stop_requested == 0) {
        // Audio without a single sample (all of it trimmed away): nothing to measure.
        figures->measured = 1;
        figures->integrated_lufs = -HUGE_VAL;
    }
    if (meter.failed != 0) {
        engine_error("loudness", "not enough memory to measure the loudness");
    }
    if (state.stop_requested != 0) {
        return DECODE_ABORTED;
    }
    return result == -1 ? DECODE_FAILED : DECODE_OK;
}

std::int32_t decode_file(const DecodeRequest* request) {
    if (request->loudness == 0 && request->replaygain == 0) {
        return decode_pass(request, nullptr, PROGRESS_WHOLE);
    }
    // Large (the block histogram): from the heap.
    auto* own = static_cast<LoudnessFigures*>(std::malloc(sizeof(LoudnessFigures)));
    if (own == nullptr) {
        engine_error("loudness", "not enough memory to measure the loudness");
        return DECODE_FAILED;
    }
    const LoudnessFigures* track = request->track_figures;
    if (track == nullptr) {
        const std::int32_t measured = measure_file(request, own);
        if (measured != DECODE_OK || own->measured == 0) {
            // A file that cannot be measured is decoded as it is: it fails, or a cancel stops
            // it at once, the way a plain decode would.
            std::free(own);
            return decode_pass(request, nullptr, PROGRESS_SECOND_HALF);
        }
        track = own;
    }
    const LoudnessPass pass = plan_pass(request, track);
    const std::int32_t result = decode_pass(request, &pass, PROGRESS_SECOND_HALF);
    if (request->stats != nullptr) {
        DecodeStats* stats = request->stats;
        stats->loudness = *track;
        stats->gain_db = pass.gain_db;
        // Stored as tags only, the gain changed nothing: no limit applied.
        stats->gain_limit = request->loudness == 0 && pass.limit != GAIN_NOT_MEASURABLE
                                ? GAIN_ON_TARGET
                                : pass.limit;
        if (request->album_figures != nullptr) {
            stats->has_album_gain = 1;
            stats->album_gain_db =
                loudness_gain(request->album_figures, request->target_lufs, request->true_peak_dbtp)
                    .gain_db;
        }
    }
    std::free(own);
    return result;
}

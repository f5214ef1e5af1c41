#include "engine/player.h"

#include <fcntl.h>
#include <id3tag.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/filters.h"
#include "dsp/fixed.h"
#include "dsp/resampler.h"
#include "engine/loudness.h"
#include "engine/messages.h"
#include "engine/parallel_decode.h"
#include "engine/rate_stage.h"
#include "engine/tag_display.h"
#include "engine/wav_tags.h"
#include "engine/wav_writer.h"
#include "normalize/normalizer.h"

namespace {

// The highest bit rate of any MPEG audio layer is 448 kbit/s; libmad takes free-format frames
// up to 640 kbit/s in layer III and without a limit in layers I and II.
constexpr unsigned long AUDIO_BITRATE_MAX = 640000;

// The shell is called after every 26th output frame.
constexpr std::uint32_t PROGRESS_INTERVAL = 25;

// The loop's steps, each returning 0 or -1 after printing why, and libmad's callbacks, whose
// data is the PlayerState.
int play_all(PlayerState* state);
int play_file(PlayerState* state);
int decode_stream(PlayerState* state);
mad_flow on_input(void* data, mad_stream* stream);
mad_flow on_header(void* data, const mad_header* header);
mad_flow on_frame(void* data, const mad_stream* stream, mad_frame* frame);
mad_flow on_output(void* data, const mad_header* header, mad_pcm* pcm);
mad_flow on_error(void* data, mad_stream* stream, mad_frame* frame);

PlayerState* player_of(void* data) {
    return static_cast<PlayerState*>(data);
}

// Layer x sample rate x mode as a number below 108; -1 for a rate libmad never gives.
int frame_kind(const mad_header* header) {
    static constexpr unsigned RATES[] = {48000, 44100, 32000, 24000, 22050,
                                         16000, 12000, 11025, 8000};
    for (int rate = 0; rate < 9; ++rate) {
        if (header->samplerate == RATES[rate]) {
            return ((static_cast<int>(header->layer) - 1) * 9 + rate) * 4 +
                   static_cast<int>(header->mode);
        }
    }
    return -1;
}

void note_frame_kind(PlayerState* state, const mad_header* header) {
    const int kind = frame_kind(header);
    if (state->audio_found != 0 || header->bitrate > AUDIO_BITRATE_MAX || kind < 0) {
        return;
    }
    const std::uint64_t bit = std::uint64_t{1} << (kind % 64);
    std::uint64_t& kinds = state->frame_kinds[kind / 64];
    if ((kinds & bit) != 0) {
        state->audio_found = 1;
    }
    kinds |= bit;
}

int add_filter(PlayerState* state, FilterFunction function, void* data) {
    auto* node = static_cast<FilterNode*>(std::malloc(sizeof(FilterNode)));
    if (node == nullptr) {
        return -1;
    }
    node->flags = FILTER_HEAP;
    node->function = function;
    node->data = data;
    node->next = state->filters;
    state->filters = node;
    return 0;
}

void count_frame(PlayerState* state, const mad_header* header) {
    ++state->frames_seen;
    ++state->frames_total;
    auto milliseconds =
        static_cast<std::uint32_t>(mad_timer_count(header->duration, MAD_UNITS_MILLISECONDS));
    state->bytes_done +=
        milliseconds * static_cast<std::uint32_t>(header->bitrate) * 125u / 1000000u;
}

// The peak as a fraction of full scale in fixed point; 64-bit: a large clip excess plus 1.0
// does not fit the sample type.
std::int64_t summary_peak(const PlayerState* state) {
    return state->clip.clip_peak != 0 ? std::int64_t{FIXED_ONE} + state->clip.clip_peak
                                      : std::int64_t{state->clip.peak_level};
}

void print_summary(const PlayerState* state) {
    char time_text[64];
    mad_timer_string(state->play_timer, time_text, "%lu:%02u:%02u.%1u", MAD_UNITS_HOURS,
                     MAD_UNITS_DECISECONDS, 0);
    if (char* point = std::strchr(time_text, '.'); point != nullptr) {
        const char* decimal_point = std::localeconv()->decimal_point;
        if (decimal_point != nullptr && decimal_point[0] != '\0') {
            *point = decimal_point[0];
        }
    }

    std::int64_t peak = summary_peak(state);
    char peak_text[32];
    if (peak == 0) {
        std::snprintf(peak_text, sizeof peak_text, "-inf");
    } else {
        std::snprintf(peak_text, sizeof peak_text, "%+.1f",
                      20.0 * std::log10(static_cast<double>(peak) / FIXED_ONE));
    }
    engine_message("%lu frames decoded (%s), %s dB peak amplitude, %lu clipped samples\n",
                   static_cast<unsigned long>(state->frames_played), time_text, peak_text,
                   static_cast<unsigned long>(state->clip.clip_count));
}

// Reconfigures the output for a new channel count or rate. Returns 0 or -1 (reported).
int configure_output(PlayerState* state, std::uint32_t channels, std::uint32_t rate) {
    OutputControl control;
    output_control_init(&control, OUTPUT_CONFIG);
    control.channels = channels;
    control.speed = state->output_rate != 0 ? state->output_rate : rate;
    control.precision = state->precision_in;
    // From the header scan's play length, so that a file known to pass 4 GiB is laid out for
    // it from the start.
    const long length_ms = mad_timer_count(state->total_time, MAD_UNITS_MILLISECONDS);
    control.expected_frames =
        length_ms > 0 ? static_cast<std::uint64_t>(length_ms) * control.speed / 1000u : 0;
    if (state->command(&control) == -1) {
        engine_error_text("output", output_error(), state->output_path);
        return -1;
    }
    state->channels_in = channels;
    state->speed_in = rate;
    state->channels_out = control.channels;
    state->speed_out = control.speed;
    state->precision_out = control.precision;

    if (state->channels_out != channels) {
        engine_error("output", channels == 1 ? "mono output not available; forcing stereo"
                                             : "stereo output not available; using first "
                                               "channel (use -m to mix)");
    }
    if (state->speed_out != state->speed_in && state->output_rate == 0) {
        engine_error("output", "sample frequency %u Hz not available; closest %u Hz",
                     state->speed_in, state->speed_out);
    }
    if (state->precision_in != 0 && state->precision_in != state->precision_out) {
        engine_error("output", "bit depth %u not available; using %u", state->precision_in,
                     state->precision_out);
    }

    // A chosen output rate is reached by convert_rate instead.
    if (state->output_rate != 0) {
        std::free(state->resample_buffer);
        state->resample_buffer = nullptr;
        return 0;
    }
    std::uint32_t difference = state->speed_out > state->speed_in
                                   ? state->speed_out - state->speed_in
                                   : state->speed_in - state->speed_out;
    if (difference < state->speed_in * 6u / 100u) {
        std::free(state->resample_buffer);
        state->resample_buffer = nullptr;
        return 0;
    }
    if (state->resample_buffer == nullptr) {
        state->resample_buffer =
            static_cast<mad_fixed_t*>(std::malloc(2 * RESAMPLE_MAX_OUTPUT * sizeof(mad_fixed_t)));
        if (state->resample_buffer == nullptr) {
            engine_error("output", "not enough memory to allocate resampling buffer");
            return -1;
        }
    }
    if (resampler_start(&state->resampler[0], state->speed_in, state->speed_out) == -1 ||
        resampler_start(&state->resampler[1], state->speed_in, state->speed_out) == -1) {
        engine_error("output", "cannot resample %u Hz to %u Hz", state->speed_in, state->speed_out);
        std::free(state->resample_buffer);
        state->resample_buffer = nullptr;
        return -1;
    }
    engine_error("output", "resampling %u Hz to %u Hz", state->speed_in, state->speed_out);
    return 0;
}

// Hands one block to the output's play command, measured on its way when loudness is being
// measured: every block the packer gets, a rate converter's last samples included. Returns 0
// or -1 (reported).
int play_samples(PlayerState* state, std::uint32_t count, const mad_fixed_t* left,
                 const mad_fixed_t* right) {
    if (state->meter != nullptr) {
        loudness_tap(state->meter, count, left, right, state->speed_out);
    }
    OutputControl control;
    output_control_init(&control, OUTPUT_PLAY);
    control.nsamples = count;
    control.samples[0] = left;
    control.samples[1] = right;
    control.mode = state->mode;
    control.stats = &state->clip;
    if (state->command(&control) == -1) {
        engine_error_text("output", output_error(), state->output_path);
        return -1;
    }
    return 0;
}

// Plays a converted block; a channel the routing sent to both outputs was converted once.
int play_converted(void* context, std::uint32_t count, const mad_fixed_t* left,
                   const mad_fixed_t* right) {
    auto* state = static_cast<PlayerState*>(context);
    return play_samples(state, count, left,
                        right == nullptr && state->channels_out == 2 ? left : right);
}

// Reports a failure of the rate stage that the player has not reported yet.
int rate_stage_failed(const PlayerState* state, std::uint32_t rate_in, int result) {
    if (result == RATE_STAGE_CONVERTER_FAILED) {
        engine_error("output", "cannot resample %u Hz to %u Hz", rate_in, state->speed_out);
    }
    return -1;
}

// Plays what the rate stage still holds and releases it. Returns 0 or -1 (reported).
int finish_rate_stage(PlayerState* state) {
    RateStage* stage = state->rate_stage;
    if (stage == nullptr) {
        return 0;
    }
    state->rate_stage = nullptr;
    const int result = rate_stage_finish(stage);
    const std::uint32_t rate_in = state->rate_stage_in;
    rate_stage_release(stage);
    return result == 0 ? 0 : rate_stage_failed(state, rate_in, result);
}

// Plays a routed block at the chosen output rate: frames at that rate pass untouched, others
// go through the rate stage, which is (re)started when the stream's rate or its number of
// distinct channels changes, after what it held for the old ones has been played. A channel
// sent to both outputs is converted once. Returns 0 or -1 (reported).
int play_at_output_rate(PlayerState* state, std::uint32_t count, const mad_fixed_t* left,
                        const mad_fixed_t* right) {
    if (state->speed_in == state->speed_out) {
        if (finish_rate_stage(state) == -1) {
            return -1;
        }
        return play_samples(state, count, left, right);
    }
    const std::uint32_t channels = right != nullptr && right != left ? 2 : 1;
    if (state->rate_stage == nullptr ||
        !rate_stage_matches(state->rate_stage, channels, state->speed_in)) {
        if (finish_rate_stage(state) == -1) {
            return -1;
        }
        state->rate_stage =
            rate_stage_start(channels, state->speed_in, state->speed_out, state->precision_out,
                             state->threads > 1, play_converted, state);
        if (state->rate_stage == nullptr) {
            engine_error("output", "cannot resample %u Hz to %u Hz", state->speed_in,
                         state->speed_out);
            return -1;
        }
        state->rate_stage_in = state->speed_in;
        engine_error("output", "resampling %u Hz to %u Hz", state->speed_in, state->speed_out);
    }
    const int result = rate_stage_push(state->rate_stage, count, left, right);
    return result == 0 ? 0 : rate_stage_failed(state, state->speed_in, result);
}

int add_gain_filter(PlayerState* state) {
    if (state->attenuation == FIXED_ONE) {
        return 0;
    }
    gain_table_fill(state->attenuation);
    return add_filter(state, gain_filter, gain_table());
}

// Nodes go to the head: the last added runs first.
int install_filters(PlayerState* state) {
    const bool gain_last = (state->flags & FLAG_LOUDNESS) != 0;
    if (gain_last && add_gain_filter(state) == -1) {
        return -1;
    }
    if ((state->flags & (FLAG_FADE_IN | FLAG_SKIP_SILENCE | FLAG_GAP | FLAG_FADE_OUT)) != 0 &&
        add_filter(state, fade_filter, &state->fade) == -1) {
        return -1;
    }
    if (!gain_last && add_gain_filter(state) == -1) {
        return -1;
    }
    if (state->select == SELECT_MONO && add_filter(state, mono_filter, state) == -1) {
        return -1;
    }
    return 0;
}

}  // namespace

void player_stats(const PlayerState* state, DecodeStats* stats) {
    *stats = {};
    stats->frames_decoded = state->frames_played;
    stats->duration_ms =
        static_cast<std::uint64_t>(mad_timer_count(state->play_timer, MAD_UNITS_MILLISECONDS));
    std::int64_t peak = summary_peak(state);
    if (peak != 0) {
        stats->has_peak = 1;
        stats->peak_millibel = static_cast<std::int32_t>(
            std::lround(2000.0 * std::log10(static_cast<double>(peak) / FIXED_ONE)));
    }
    stats->clipped_samples = state->clip.clip_count;
    stats->no_audio = state->no_audio;
    stats->warnings = state->warnings;
}

int run_player(PlayerState* state) {
    if (state->command == nullptr) {
        state->command = find_output_module(nullptr);
    }
    if (install_filters(state) == -1) {
        engine_error("filter", "not enough memory to allocate filters");
        return -1;
    }

    // Read before the output exists, so that its size limit counts the chunks from the start.
    if ((state->flags & FLAG_COPY_TAGS) != 0 && state->count > 0 && state->tag_chunks == nullptr) {
        state->tag_chunks =
            wav_tag_chunks(state->entries[0], &state->tag_chunks_length, &state->warnings);
    }

    OutputControl control;
    output_control_init(&control, OUTPUT_OPEN);
    control.path = state->output_path;
    control.trailer = state->tag_chunks;
    control.trailer_length = state->tag_chunks_length;
    if (state->command(&control) == -1) {
        engine_error_text("audio", output_error(), state->output_path);
        return -1;
    }

    int result = play_all(state);

    output_control_init(&control, OUTPUT_FINISH);
    if (state->command(&control) == -1) {
        engine_error_text("audio", output_error(), state->output_path);
        return -1;
    }

    if (state->stop_requested == 0 && (state->flags & FLAG_NORMALIZE) != 0) {
        std::printf("Normalizing .... ");
        std::fflush(stdout);
        int code = normalize_path(state->output_path);
        std::printf("Normalizing returned %i\n", code);
        std::fflush(stdout);
    }
    return result;
}

namespace {

int play_all(PlayerState* state) {
    int result = 0;
    const std::int32_t length = state->count;
    std::int32_t remaining = state->count;
    while (remaining != 0) {
        if (state->repeat != -1 && state->repeat-- == 0) {
            break;
        }
        for (; state->current < length; ++state->current) {
            if (state->entries[state->current] == nullptr) {
                continue;
            }
            if (play_file(state) == -1) {
                state->entries[state->current] = nullptr;
                --remaining;
                --state->count;
                result = -1;
            }
        }
        state->current = 0;
    }
    return result;
}

int play_file(PlayerState* state) {
    const char* path = state->entries[state->current];
    state->input_path = path;
    // Without O_NONBLOCK a FIFO put in a file's place would block the open until a writer
    // came; only a regular file is read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) {
        engine_error(nullptr, ":", path);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) == -1) {
        engine_error(nullptr, ":", path);
        close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        engine_error(nullptr, "%s: not a regular file", path);
        close(fd);
        return -1;
    }
    int status_flags = fcntl(fd, F_GETFL);
    if (status_flags == -1 || fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) == -1) {
        engine_error(nullptr, ":", path);
        close(fd);
        return -1;
    }
    state->input_fd = fd;

    state->flags &= ~FLAG_STREAM_TAGS;
    show_file_tag(state);

    int result = decode_stream(state);
    // The converter's last samples belong to the file, also when it was stopped.
    if (result == 0 && finish_rate_stage(state) == -1) {
        result = -1;
    }
    rate_stage_release(state->rate_stage);
    state->rate_stage = nullptr;
    if (result == 0 && state->audio_found == 0) {
        // Tags, damage or foreign bytes only (an empty file, a WAV under an MPEG name).
        engine_error(nullptr, "%s: no MPEG audio found", path);
        state->no_audio = 1;
        result = -1;
    } else if (result == 0 && state->meter == nullptr) {
        print_summary(state);
    }

    state->input_fd = -1;
    if (close(fd) == -1 && result == 0) {
        engine_error(nullptr, ":", path);
        return -1;
    }
    return result;
}

int decode_stream(PlayerState* state) {
    struct stat info {};
    if (fstat(state->input_fd, &info) == -1) {
        engine_error("decode", ":fstat");
        return -1;
    }
    state->total_bytes = static_cast<std::uint32_t>(info.st_size);
    state->xing.flags = 0;

    if (state->input_buffer == nullptr) {
        // The guard bytes appended at the end of input need room beyond a full buffer.
        state->input_buffer =
            static_cast<unsigned char*>(std::malloc(INPUT_BUFFER_SIZE + MAD_BUFFER_GUARD));
        if (state->input_buffer == nullptr) {
            engine_error("decode", "not enough memory to allocate input buffer");
            return -1;
        }
        state->input_length = 0;
    }

    state->input_eof = 0;
    state->play_timer = mad_timer_zero;
    state->frames_seen = 0;
    state->frames_played = 0;
    state->frame_kinds[0] = 0;
    state->frame_kinds[1] = 0;
    state->audio_found = 0;
    state->error_frame = 0xFFFFFFFFu;
    state->clip = {};
    state->exact = {};

    state->input_offset = 0;
    state->stop_offset = 0;
    state->stopped = 0;
    state->resume = 0;

    const bool threaded = state->threads > 1 || state->tokens != nullptr;
    int result =
        threaded && state->command != nullptr ? decode_parallel(state) : player_run_decoder(state);

    std::free(state->input_buffer);
    state->input_buffer = nullptr;
    return result;
}

mad_flow on_input(void* data, mad_stream* stream) {
    PlayerState* state = player_of(data);
    if (state->input_eof != 0) {
        return MAD_FLOW_STOP;
    }

    if (stream->next_frame != nullptr) {
        const unsigned char* end = state->input_buffer + state->input_length;
        auto held = static_cast<std::uint32_t>(end - stream->next_frame);
        state->input_offset += static_cast<std::uint64_t>(stream->next_frame - state->input_buffer);
        std::memmove(state->input_buffer, stream->next_frame, held);
        state->input_length = held;
    }

    ssize_t got;
    do {
        got = read(state->input_fd, state->input_buffer + state->input_length,
                   INPUT_BUFFER_SIZE - state->input_length);
    } while (got == -1 && errno == EINTR);
    if (got == -1) {
        engine_error("input", ":read");
        return MAD_FLOW_BREAK;
    }
    if (got == 0) {
        state->input_eof = 1;
        std::memset(state->input_buffer + state->input_length, 0, MAD_BUFFER_GUARD);
        state->input_length += MAD_BUFFER_GUARD;
    } else {
        state->input_length += static_cast<std::uint32_t>(got);
    }

    mad_stream_buffer(stream, state->input_buffer, state->input_length);
    if (state->resume != 0) {
        state->resume = 0;
        if (snapshot_restore(state->snapshot, stream, &state->decoder->sync->frame,
                             &state->decoder->sync->synth) == -1) {
            engine_error("decode", "not enough memory to allocate decoder state");
            return MAD_FLOW_BREAK;
        }
    }
    return MAD_FLOW_CONTINUE;
}

mad_flow on_header(void* data, const mad_header* header) {
    PlayerState* state = player_of(data);
    if (state->growth != nullptr && state->stop_offset == 0 && --state->growth_countdown == 0) {
        state->stop_offset = parallel_growth_stop(state);
    }
    if (state->stop_offset != 0) {
        const mad_stream* stream = &state->decoder->sync->stream;
        if (state->input_offset +
                static_cast<std::uint64_t>(stream->this_frame - state->input_buffer) ==
            state->stop_offset) {
            snapshot_capture(state->snapshot, stream, &state->decoder->sync->frame,
                             &state->decoder->sync->synth);
            state->stopped = 1;
            return MAD_FLOW_STOP;
        }
    }
    if (state->frames_seen != 0) {
        count_frame(state, header);
    }
    return MAD_FLOW_CONTINUE;
}

mad_flow on_frame(void* data, const mad_stream* stream, mad_frame* frame) {
    PlayerState* state = player_of(data);
    // Before the header frames are dropped: they are frames of the stream as well.
    note_frame_kind(state, &frame->header);
    const bool exact = (state->flags & FLAG_EXACT_LENGTH) != 0;
    if (exact && exact_length_header(state, stream, frame) != 0) {
        return MAD_FLOW_IGNORE;
    }
    if (state->frames_seen == 0) {
        // Only "Xing" marks a header frame here: an "Info" frame is decoded as audio.
        // libmad's bit pointer is at bit (8 - left) of its byte.
        const mad_bitptr& ancillary = stream->anc_ptr;
        if (parse_xing(&state->xing, ancillary.byte, CHAR_BIT - ancillary.left, stream->anc_bitlen,
                       HEADER_FRAME_XING) != HEADER_FRAME_NONE) {
            if ((state->xing.flags & XING_FRAMES) != 0) {
                state->total_time = frame->header.duration;
                mad_timer_multiply(&state->total_time, state->xing.frames);
            }
            auto length = static_cast<std::uint32_t>(stream->next_frame - stream->this_frame);
            if (state->total_bytes >= length) {
                state->total_bytes -= length;
            }
            return MAD_FLOW_IGNORE;
        }
        count_frame(state, &frame->header);
    }
    if (exact) {
        exact_length_frame(&state->exact, frame);
    }

    for (FilterNode* node = state->filters; node != nullptr; node = node->next) {
        mad_flow result = node->function(node->data, frame);
        if (result != MAD_FLOW_CONTINUE) {
            return result;
        }
    }
    return MAD_FLOW_CONTINUE;
}

mad_flow on_output(void* data, const mad_header* header, mad_pcm* pcm) {
    PlayerState* state = player_of(data);
    if ((state->flags & FLAG_EXACT_LENGTH) != 0) {
        exact_length_trim(&state->exact, pcm);
        if (pcm->length == 0) {
            // Still counted as time: the fade-out's end is placed in decoded time.
            mad_timer_add(&state->play_timer, header->duration);
            return MAD_FLOW_CONTINUE;
        }
    }

    std::uint32_t channels = pcm->channels;
    const mad_fixed_t* left = pcm->samples[0];
    const mad_fixed_t* right = nullptr;
    if (channels == 1) {
        if (state->select == SELECT_STEREO) {
            right = left;
            channels = 2;
        }
    } else if (state->select == SELECT_LEFT) {
        channels = 1;
    } else if (state->select == SELECT_RIGHT) {
        left = pcm->samples[1];
        channels = 1;
    } else if (state->select == SELECT_STEREO) {
        right = pcm->samples[1];
    } else if (header->mode == MAD_MODE_DUAL_CHANNEL) {
        if (state->select == SELECT_DEFAULT) {
            engine_error("output", "no channel selected for dual channel; using first");
            state->select = SELECT_DEFAULT_WARNED;
        }
        channels = 1;
    } else {
        right = pcm->samples[1];
    }

    if (channels != state->channels_in || pcm->samplerate != state->speed_in) {
        if (configure_output(state, channels, pcm->samplerate) == -1) {
            return MAD_FLOW_BREAK;
        }
    }

    if (state->channels_out != state->channels_in) {
        right = state->channels_out == 2 ? left : nullptr;
    }

    std::uint32_t count = pcm->length;
    if (state->resample_buffer != nullptr && count > 0) {
        mad_fixed_t* first = state->resample_buffer;
        mad_fixed_t* second = state->resample_buffer + RESAMPLE_MAX_OUTPUT;
        std::uint32_t produced = resampler_process(&state->resampler[0], count, left, first);
        if (right != nullptr && right != left) {
            resampler_process(&state->resampler[1], count, right, second);
            right = second;
        } else if (right != nullptr) {
            right = first;
        }
        left = first;
        count = produced;
    }

    const int played = state->output_rate != 0 ? play_at_output_rate(state, count, left, right)
                                               : play_samples(state, count, left, right);
    if (played == -1) {
        return MAD_FLOW_BREAK;
    }

    ++state->frames_played;
    mad_timer_add(&state->play_timer, header->duration);

    if (++state->progress_counter > PROGRESS_INTERVAL) {
        if (state->progress != nullptr) {
            const std::uint32_t total = state->total_bytes >> 10;
            std::uint32_t done = state->bytes_done >> 10;
            if (state->progress_part == PROGRESS_FIRST_HALF) {
                done /= 2;
            } else if (state->progress_part == PROGRESS_SECOND_HALF) {
                done = total / 2 + done / 2;
            }
            state->stop_requested =
                state->progress(static_cast<std::int32_t>(total), static_cast<std::int32_t>(done));
        }
        state->progress_counter = 0;
    }
    return state->stop_requested != 0 ? MAD_FLOW_STOP : MAD_FLOW_CONTINUE;
}

mad_flow on_error(void* data, mad_stream* stream, mad_frame* frame) {
    PlayerState* state = player_of(data);

    if (stream->error == MAD_ERROR_LOSTSYNC) {
        auto held = static_cast<id3_length_t>(stream->bufend - stream->this_frame);
        signed long tag_size = id3_tag_query(stream->this_frame, held);
        if (tag_size > 0) {
            if ((state->flags & FLAG_STREAM_TAGS) != 0) {
                id3_tag* tag = read_stream_tag(stream, static_cast<id3_length_t>(tag_size), state);
                if (tag != nullptr) {
                    show_tag(tag);
                    id3_tag_delete(tag);
                }
            } else {
                mad_stream_skip(stream, static_cast<unsigned long>(tag_size));
            }
            if (state->total_bytes >= static_cast<unsigned long>(tag_size)) {
                state->total_bytes -= static_cast<std::uint32_t>(tag_size);
            }
            return MAD_FLOW_CONTINUE;
        }
    }

    if (stream->error == MAD_ERROR_BADDATAPTR) {
        return MAD_FLOW_CONTINUE;
    }

    if (((stream->error == MAD_ERROR_LOSTSYNC && state->input_eof == 0) || stream->sync != 0) &&
        state->frames_total != state->error_frame) {
        engine_error("error", "frame %lu: %s", static_cast<unsigned long>(state->frames_seen),
                     mad_stream_errorstr(stream));
        state->error_frame = state->frames_total;
    }

    if (stream->error == MAD_ERROR_BADCRC) {
        if (state->frames_total == state->mute_frame) {
            mad_frame_mute(frame);
        }
        state->mute_frame = state->frames_total + 1;
        return MAD_FLOW_IGNORE;
    }
    return MAD_FLOW_CONTINUE;
}

}  // namespace

int player_run_decoder(PlayerState* state) {
    mad_decoder decoder;
    mad_decoder_init(&decoder, state, on_input, on_header, on_frame,
                     state->command != nullptr ? on_output : nullptr, on_error, nullptr);
    mad_decoder_options(&decoder, player_decoder_options(state));
    state->decoder = &decoder;
    int result = mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    state->decoder = nullptr;
    mad_decoder_finish(&decoder);
    return result;
}

int player_decoder_options(const PlayerState* state) {
    int options = 0;
    if ((state->flags & FLAG_HALF_RATE) != 0) {
        options |= MAD_OPTION_HALFSAMPLERATE;
    }
    if ((state->flags & FLAG_IGNORE_CRC) != 0) {
        options |= MAD_OPTION_IGNORECRC;
    }
    return options;
}

mad_flow player_replay_frame(PlayerState* state, const mad_frame* decoded, mad_header* played,
                             mad_pcm* pcm) {
    on_header(state, &decoded->header);
    note_frame_kind(state, &decoded->header);
    if ((state->flags & FLAG_EXACT_LENGTH) != 0) {
        exact_length_frame(&state->exact, decoded);
    }
    return on_output(state, played, pcm);
}

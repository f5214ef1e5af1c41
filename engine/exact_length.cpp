#include "engine/exact_length.h"

#include <cstring>

#include "engine/player_state.h"
#include "mpeg/lame_tag.h"

namespace {

std::uint32_t half_shift(const mad_frame* frame) {
    return (frame->options & MAD_OPTION_HALFSAMPLERATE) != 0 ? 1u : 0u;
}

std::uint32_t frame_samples(const mad_frame* frame) {
    return (32u * static_cast<std::uint32_t>(MAD_NSBSAMPLES(&frame->header))) >> half_shift(frame);
}

// The end moves whenever the frame size changes (a stream whose version changes mid-file),
// so that it always lies tail samples before the end of the last counted frame.
void place_end(ExactLength* exact, std::uint32_t samples_per_frame) {
    exact->samples_per_frame = samples_per_frame;
    const std::uint64_t last =
        exact->position + std::uint64_t{exact->frames_left} * samples_per_frame;
    exact->end = last > exact->tail ? last - exact->tail : 0;
}

}  // namespace

int exact_length_header(PlayerState* state, const mad_stream* stream, const mad_frame* frame) {
    ExactLength* exact = &state->exact;
    if (exact->checked != 0) {
        return 0;
    }
    exact->checked = 1;
    HeaderFrame header;
    auto length = static_cast<std::size_t>(stream->next_frame - stream->this_frame);
    if (parse_header_frame(&header, stream->this_frame, length) == HEADER_FRAME_NONE) {
        return 0;
    }
    if (state->total_bytes >= length) {
        state->total_bytes -= static_cast<std::uint32_t>(length);
    }
    const std::uint32_t half = half_shift(frame);
    const bool counted = (header.flags & XING_FRAMES) != 0;
    if (header.has_lame == 0) {
        if (counted) {
            state->total_time = frame->header.duration;
            mad_timer_multiply(&state->total_time, header.frames);
        }
        return 1;
    }

    exact->trimming = 1;
    exact->start = (header.delay + DECODER_DELAY) >> half;
    exact->tail = header.padding > DECODER_DELAY ? (header.padding - DECODER_DELAY) >> half : 0;
    // The fade-in belongs to the kept audio: it starts where the cut start ends. The fade
    // works on subband samples, which reach the output through the synthesis filterbank's
    // delay, so its lead-in is that much shorter.
    const std::uint64_t synthesis_delay = SYNTHESIS_DELAY >> half;
    if (exact->start > synthesis_delay) {
        mad_timer_set(&state->fade.lead_in, 0,
                      static_cast<unsigned long>(exact->start - synthesis_delay),
                      frame->header.samplerate >> half);
    }
    if (counted) {
        exact->counted = 1;
        exact->frames_left = header.frames;
        place_end(exact, header.samples_per_frame >> half);
        // The fade filter counts time from the first decoded sample, so the fade-out has to
        // end where the kept audio ends in that count.
        mad_timer_set(&state->total_time, 0, static_cast<unsigned long>(exact->end),
                      frame->header.samplerate >> half);
    }
    return 1;
}

void exact_length_frame(ExactLength* exact, const mad_frame* frame) {
    const std::uint32_t n = frame_samples(frame);
    exact->keep_from = 0;
    exact->keep_to = n;
    if (exact->trimming == 0) {
        return;
    }
    const std::uint64_t position = exact->position;
    if (exact->counted != 0 && exact->frames_left > 0 && n != exact->samples_per_frame) {
        place_end(exact, n);
    }
    exact->position += n;
    if (exact->start > position) {
        const std::uint64_t cut = exact->start - position;
        exact->keep_from = cut < n ? static_cast<std::uint32_t>(cut) : n;
    }
    // Frames beyond the tag's count belong to audio the tag does not describe: kept whole.
    if (exact->counted != 0 && exact->frames_left > 0) {
        --exact->frames_left;
        const std::uint64_t room = exact->end > position ? exact->end - position : 0;
        exact->keep_to = room < n ? static_cast<std::uint32_t>(room) : n;
    }
    if (exact->keep_to < exact->keep_from) {
        exact->keep_to = exact->keep_from;
    }
}

void exact_length_trim(const ExactLength* exact, mad_pcm* pcm) {
    std::uint32_t to = exact->keep_to < pcm->length ? exact->keep_to : pcm->length;
    std::uint32_t from = exact->keep_from < to ? exact->keep_from : to;
    if (from > 0) {
        for (unsigned channel = 0; channel < pcm->channels; ++channel) {
            std::memmove(pcm->samples[channel], pcm->samples[channel] + from,
                         (to - from) * sizeof(mad_fixed_t));
        }
    }
    pcm->length = static_cast<unsigned short>(to - from);
}

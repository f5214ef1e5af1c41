// "Exact length": the encoder's header frame is never played, and with a LAME tag the
// encoder delay plus the decoder's own delay is cut from the start and the padding less that
// delay from the end, on the synthesized samples before the output routing and resampling.
#pragma once

#include <mad.h>

#include <cstdint>

struct PlayerState;

// Positions count samples per channel as the synthesis puts them out (halved at half rate),
// from the first audio frame on.
struct ExactLength {
    std::int32_t checked;             // the first frame has been looked at
    std::int32_t trimming;            // a LAME tag gave delay and padding
    std::int32_t counted;             // the tag counts the frames, so the end is known
    std::uint32_t frames_left;        // frames the tag counts that have not been decoded yet
    std::uint32_t tail;               // samples cut from the end of the counted frames
    std::uint32_t samples_per_frame;  // the frame size `end` was worked out with
    std::uint64_t position;           // samples before the current frame
    std::uint64_t start;              // first sample kept
    std::uint64_t end;                // first sample dropped at the end, when counted
    std::uint32_t keep_from;          // the current frame's kept samples: [keep_from, keep_to)
    std::uint32_t keep_to;
};

// For the first frame of a file: 1 when it is the encoder's Xing/Info frame, which the player
// then ignores (its bytes leave the progress total; with a frame count the fade-out's end is
// set from it), else 0. Later frames return 0 at once.
int exact_length_header(PlayerState* state, const mad_stream* stream, const mad_frame* frame);

// For every audio frame before the filters run: which of its samples stay.
void exact_length_frame(ExactLength* exact, const mad_frame* frame);

// Cuts the synthesized frame down to the samples exact_length_frame kept; may leave 0.
void exact_length_trim(const ExactLength* exact, mad_pcm* pcm);

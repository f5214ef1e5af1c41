// The header frame an encoder writes in front of the audio ("Xing" for VBR, "Info" for CBR)
// and the LAME extension inside it, read from the frame's bytes. Plain byte logic with no
// library, so the header scan reads the same facts the player does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mpeg/xing.h"

// libmad's synthesis puts out every sample this much later than the encoder took it in.
constexpr std::uint32_t DECODER_DELAY = 529;
// The part of that delay that lies after the subband samples, in the polyphase synthesis
// filterbank: a change made to subband samples is heard this much later.
constexpr std::uint32_t SYNTHESIS_DELAY = 241;

struct HeaderFrame {
    std::uint32_t kind;    // HEADER_FRAME_*
    std::uint32_t flags;   // XING_* fields present
    std::uint32_t frames;  // audio frames after this one, when flag 0x1 is set
    std::int32_t has_lame;
    std::uint32_t delay;              // samples the encoder put in front of the audio (12 bits)
    std::uint32_t padding;            // samples it appended to fill the last frame (12 bits)
    std::uint32_t samples_per_frame;  // of this frame: 384, 576 or 1152
    std::uint32_t sample_rate;        // Hz
};

// Reads the frame whose header starts at frame[0]; length is the bytes available from there
// (the whole frame or more). Returns HEADER_FRAME_NONE and a zero record when the bytes are
// no layer III frame holding a complete Xing/Info header; a LAME extension is only taken
// when all of its 36 bytes lie inside the frame.
std::uint32_t parse_header_frame(HeaderFrame* out, const unsigned char* frame, std::size_t length);

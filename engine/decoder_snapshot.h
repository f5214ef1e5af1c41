// libmad's state between two frames, the part that carries into the next frame: the Layer III
// bit reservoir, the IMDCT overlap and the synthesis filterbank with its phase. Two decoders
// with equal snapshots at the same frame decode the rest of the stream identically.
#pragma once

#include <mad.h>

#include <cstdint>

struct DecoderSnapshot {
    unsigned char main_data[MAD_BUFFER_MDLEN];
    unsigned int md_len;
    std::int32_t has_overlap;  // 0: no Layer III frame has been decoded (overlap all zero)
    mad_fixed_t overlap[2][32][18];
    mad_fixed_t filter[2][2][2][16][8];
    unsigned int phase;
};

void snapshot_capture(DecoderSnapshot* snapshot, const mad_stream* stream, const mad_frame* frame,
                      const mad_synth* synth);

// Puts the snapshot into a decoder after mad_stream_buffer and before its next frame. Returns 0,
// or -1 when the reservoir or overlap cannot be allocated (the decoder is then unchanged).
int snapshot_restore(const DecoderSnapshot* snapshot, mad_stream* stream, mad_frame* frame,
                     mad_synth* synth);

// 1 when both would decode the following frames alike, else 0.
int snapshot_equal(const DecoderSnapshot* a, const DecoderSnapshot* b);

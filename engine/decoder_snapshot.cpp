#include "engine/decoder_snapshot.h"

#include <cstdlib>
#include <cstring>

namespace {

bool overlap_is_zero(const DecoderSnapshot* snapshot) {
    if (snapshot->has_overlap == 0) {
        return true;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(snapshot->overlap);
    for (std::size_t i = 0; i < sizeof snapshot->overlap; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void snapshot_capture(DecoderSnapshot* snapshot, const mad_stream* stream, const mad_frame* frame,
                      const mad_synth* synth) {
    snapshot->md_len = stream->main_data != nullptr ? stream->md_len : 0;
    if (snapshot->md_len > 0) {
        std::memcpy(snapshot->main_data, *stream->main_data, snapshot->md_len);
    }
    snapshot->has_overlap = frame->overlap != nullptr ? 1 : 0;
    if (frame->overlap != nullptr) {
        std::memcpy(snapshot->overlap, *frame->overlap, sizeof snapshot->overlap);
    }
    std::memcpy(snapshot->filter, synth->filter, sizeof snapshot->filter);
    snapshot->phase = synth->phase;
}

int snapshot_restore(const DecoderSnapshot* snapshot, mad_stream* stream, mad_frame* frame,
                     mad_synth* synth) {
    // libmad allocates both lazily with malloc and releases them with free in its finish calls.
    if (snapshot->md_len > 0 && stream->main_data == nullptr) {
        stream->main_data =
            static_cast<unsigned char(*)[MAD_BUFFER_MDLEN]>(std::malloc(MAD_BUFFER_MDLEN));
        if (stream->main_data == nullptr) {
            return -1;
        }
    }
    if (snapshot->has_overlap != 0 && frame->overlap == nullptr) {
        frame->overlap =
            static_cast<mad_fixed_t(*)[2][32][18]>(std::calloc(1, sizeof snapshot->overlap));
        if (frame->overlap == nullptr) {
            return -1;
        }
    }
    if (snapshot->md_len > 0) {
        std::memcpy(*stream->main_data, snapshot->main_data, snapshot->md_len);
    }
    stream->md_len = snapshot->md_len;
    if (snapshot->has_overlap != 0) {
        std::memcpy(*frame->overlap, snapshot->overlap, sizeof snapshot->overlap);
    }
    std::memcpy(synth->filter, snapshot->filter, sizeof snapshot->filter);
    synth->phase = snapshot->phase;
    return 0;
}

int snapshot_equal(const DecoderSnapshot* a, const DecoderSnapshot* b) {
    if (a->md_len != b->md_len || a->phase != b->phase ||
        std::memcmp(a->main_data, b->main_data, a->md_len) != 0 ||
        std::memcmp(a->filter, b->filter, sizeof a->filter) != 0) {
        return 0;
    }
    if (a->has_overlap != 0 && b->has_overlap != 0) {
        return std::memcmp(a->overlap, b->overlap, sizeof a->overlap) == 0 ? 1 : 0;
    }
    // A decoder that never allocated its overlap holds zeros there.
    return overlap_is_zero(a) && overlap_is_zero(b) ? 1 : 0;
}

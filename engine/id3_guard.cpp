#include "engine/id3_guard.h"

#include <cstdint>
#include <vector>

#include "mpeg/big_endian.h"
#include "mpeg/id3v2_walk.h"

namespace {

constexpr unsigned char COMPRESSED_V23 = 0x80;  // second frame-flag byte
constexpr unsigned char GROUPED_V24 = 0x40;
constexpr unsigned char COMPRESSED_V24 = 0x08;
constexpr unsigned char ENCRYPTED_V24 = 0x04;
constexpr unsigned char DATA_LENGTH_V24 = 0x01;

bool inflate_fits(std::uint32_t declared, std::size_t compressed) {
    return declared <= compressed * ID3_MAX_INFLATE_RATIO + ID3_INFLATE_SLACK;
}

bool frame_is_safe(const Id3v2Frame& frame, int version) {
    const unsigned char format = frame.formatFlags;
    if (version == 3 && (format & COMPRESSED_V23) != 0 && frame.size >= 4 &&
        !inflate_fits(big_endian32(frame.data), frame.size - 4)) {
        return false;
    }
    if (version == 4 && (format & COMPRESSED_V24) != 0 && (format & DATA_LENGTH_V24) != 0) {
        // The data length indicator follows the optional group and encryption bytes.
        const std::size_t skip =
            ((format & GROUPED_V24) != 0 ? 1 : 0) + ((format & ENCRYPTED_V24) != 0 ? 1 : 0);
        if (frame.size >= skip + 4 &&
            !inflate_fits(id3v2_syncsafe32(frame.data + skip), frame.size - skip - 4)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool id3v2_tag_is_safe(const unsigned char* tag, std::size_t length) {
    Id3v2Header header;
    if (!id3v2_read_header(&header, tag, length)) {
        return true;
    }
    const int version = header.version;
    if (version != 3 && version != 4) {
        return true;  // 2.2 has no compressed frames; others are refused by the library
    }
    const std::size_t size =
        header.size < length - ID3V2_HEADER_SIZE ? header.size : length - ID3V2_HEADER_SIZE;
    const unsigned char* stored = tag + ID3V2_HEADER_SIZE;
    const std::vector<unsigned char> body = (header.flags & ID3V2_FLAG_UNSYNCHRONISED) != 0
                                                ? id3v2_remove_unsynchronisation(stored, size)
                                                : std::vector<unsigned char>(stored, stored + size);
    std::size_t start = 0;
    Id3v2ExtendedHeader extended;
    if ((header.flags & ID3V2_FLAG_EXTENDED_HEADER) != 0 &&
        id3v2_read_extended_header(&extended, body.data(), body.size(), version)) {
        // Summed in 32 bits as this check always has been: a 2.3 size field of 0xFFFFFFFC or
        // more wraps to a start inside the extended header, which can only add refusals to a
        // tag whose extended header claims more bytes than any tag holds.
        const std::size_t skip = static_cast<std::uint32_t>(extended.size);
        start = skip < body.size() ? skip : body.size();
    }
    // Frames that run past the end are garbage from there on: the library stops there too.
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body.data(), body.size(), start, id3v2_frame_layout(version));
    Id3v2Frame frame;
    while (id3v2_next_frame(&walk, &frame) == Id3v2Step::Frame) {
        if (!frame_is_safe(frame, version)) {
            return false;
        }
    }
    return true;
}

#include "mpeg/id3v2_walk.h"

#include "mpeg/big_endian.h"

std::uint32_t id3v2_syncsafe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] & 0x7f) << 21 |
           static_cast<std::uint32_t>(p[1] & 0x7f) << 14 |
           static_cast<std::uint32_t>(p[2] & 0x7f) << 7 | static_cast<std::uint32_t>(p[3] & 0x7f);
}

bool id3v2_is_syncsafe(const unsigned char* p) {
    return ((p[0] | p[1] | p[2] | p[3]) & 0x80) == 0;
}

bool id3v2_read_header(Id3v2Header* header, const unsigned char* bytes, std::size_t length) {
    if (length < ID3V2_HEADER_SIZE || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') {
        return false;
    }
    header->version = bytes[3];
    header->revision = bytes[4];
    header->flags = bytes[5];
    header->size = id3v2_syncsafe32(bytes + 6);
    header->sizeIsSyncsafe = id3v2_is_syncsafe(bytes + 6);
    return true;
}

std::vector<unsigned char> id3v2_remove_unsynchronisation(const unsigned char* bytes,
                                                          std::size_t length) {
    std::vector<unsigned char> plain;
    plain.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        plain.push_back(bytes[i]);
        if (bytes[i] == 0xff && i + 1 < length && bytes[i + 1] == 0x00) {
            ++i;
        }
    }
    return plain;
}

bool id3v2_read_extended_header(Id3v2ExtendedHeader* extended, const unsigned char* body,
                                std::size_t length, int version) {
    if (length < 4) {
        return false;
    }
    extended->field = big_endian32(body);
    extended->sizeIsSyncsafe = id3v2_is_syncsafe(body);
    extended->size =
        version == 4 ? std::uint64_t{id3v2_syncsafe32(body)} : std::uint64_t{extended->field} + 4;
    return true;
}

Id3v2FrameLayout id3v2_frame_layout(int version) {
    if (version == 2) {
        return {6, false};
    }
    return {ID3V2_HEADER_SIZE, version == 4};
}

void id3v2_begin_frames(Id3v2FrameWalk* walk, const unsigned char* body, std::size_t length,
                        std::size_t start, Id3v2FrameLayout layout) {
    walk->body = body;
    walk->length = length;
    walk->pos = start;
    walk->layout = layout;
}

Id3v2Step id3v2_next_frame(Id3v2FrameWalk* walk, Id3v2Frame* frame) {
    const std::size_t header_size = walk->layout.headerSize;
    if (walk->pos > walk->length || walk->length - walk->pos < header_size) {
        return Id3v2Step::End;
    }
    const unsigned char* header = walk->body + walk->pos;
    if (header[0] == 0) {
        return Id3v2Step::Padding;
    }
    frame->id = header;
    if (header_size == ID3V2_HEADER_SIZE) {
        frame->idLength = 4;
        frame->size =
            walk->layout.syncsafeSizes ? id3v2_syncsafe32(header + 4) : big_endian32(header + 4);
        frame->statusFlags = header[8];
        frame->formatFlags = header[9];
    } else {
        frame->idLength = 3;
        frame->size = big_endian24(header + 3);
        frame->statusFlags = 0;
        frame->formatFlags = 0;
    }
    frame->data = header + header_size;
    if (frame->size > walk->length - walk->pos - header_size) {
        return Id3v2Step::Oversized;
    }
    walk->pos += header_size + frame->size;
    return Id3v2Step::Frame;
}

bool id3v2_frame_id_is_valid(const Id3v2Frame& frame) {
    for (std::size_t i = 0; i < frame.idLength; ++i) {
        const unsigned char c = frame.id[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

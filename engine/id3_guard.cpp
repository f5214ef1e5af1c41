#include "engine/id3_guard.h"

#include <cstdint>
#include <vector>

namespace {

std::uint32_t plain32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

std::uint32_t syncsafe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] & 0x7f) << 21 |
           static_cast<std::uint32_t>(p[1] & 0x7f) << 14 |
           static_cast<std::uint32_t>(p[2] & 0x7f) << 7 | static_cast<std::uint32_t>(p[3] & 0x7f);
}

bool inflate_fits(std::uint32_t declared, std::size_t compressed) {
    return declared <= compressed * ID3_MAX_INFLATE_RATIO + ID3_INFLATE_SLACK;
}

// Walks the frames of a tag body (after the header, unsynchronisation undone).
bool frames_are_safe(const unsigned char* body, std::size_t length, int version) {
    std::size_t pos = 0;
    while (pos + 10 <= length && body[pos] != 0) {
        const unsigned char* frame = body + pos;
        std::size_t size = version == 4 ? syncsafe32(frame + 4) : plain32(frame + 4);
        if (size > length - pos - 10) {
            return true;  // garbage from here on: the library stops here as well
        }
        const unsigned char* data = frame + 10;
        unsigned char format = frame[9];
        if (version == 3 && (format & 0x80) != 0 && size >= 4 &&
            !inflate_fits(plain32(data), size - 4)) {
            return false;
        }
        if (version == 4 && (format & 0x08) != 0 && (format & 0x01) != 0) {
            // The data length indicator follows the optional group and encryption bytes.
            std::size_t skip = ((format & 0x40) != 0 ? 1 : 0) + ((format & 0x04) != 0 ? 1 : 0);
            if (size >= skip + 4 && !inflate_fits(syncsafe32(data + skip), size - skip - 4)) {
                return false;
            }
        }
        pos += 10 + size;
    }
    return true;
}

}  // namespace

bool id3v2_tag_is_safe(const unsigned char* tag, std::size_t length) {
    if (length < 10 || tag[0] != 'I' || tag[1] != 'D' || tag[2] != '3') {
        return true;
    }
    const int version = tag[3];
    if (version != 3 && version != 4) {
        return true;  // 2.2 has no compressed frames; others are refused by the library
    }
    const unsigned char flags = tag[5];
    std::size_t size = syncsafe32(tag + 6);
    if (size > length - 10) {
        size = length - 10;
    }
    std::vector<unsigned char> body(tag + 10, tag + 10 + size);
    if ((flags & 0x80) != 0) {
        // Undo unsynchronisation: a zero byte inserted after every 0xFF.
        std::vector<unsigned char> plain;
        plain.reserve(body.size());
        for (std::size_t i = 0; i < body.size(); ++i) {
            plain.push_back(body[i]);
            if (body[i] == 0xff && i + 1 < body.size() && body[i + 1] == 0x00) {
                ++i;
            }
        }
        body.swap(plain);
    }
    std::size_t start = 0;
    if ((flags & 0x40) != 0 && body.size() >= 4) {
        std::size_t extended = version == 4 ? syncsafe32(body.data()) : plain32(body.data()) + 4;
        start = extended < body.size() ? extended : body.size();
    }
    return frames_are_safe(body.data() + start, body.size() - start, version);
}

#include "engine/lame_tag.h"

#include <cstring>

namespace {

constexpr std::uint32_t FIELD_FRAMES = 0x1;
constexpr std::uint32_t FIELD_BYTES = 0x2;
constexpr std::uint32_t FIELD_TOC = 0x4;
constexpr std::uint32_t FIELD_SCALE = 0x8;

// The LAME extension: a 9-byte version text, revision, low-pass, replay gain (8 bytes),
// encoding flags and bit rate, then delay and padding as two 12-bit numbers in 3 bytes.
constexpr std::size_t LAME_SIZE = 36;
constexpr std::size_t LAME_DELAY_OFFSET = 21;

std::uint32_t big_endian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

// Encoders that write the LAME layout: LAME itself and libavcodec's muxer.
bool known_encoder(const unsigned char* text) {
    return std::memcmp(text, "LAME", 4) == 0 || std::memcmp(text, "Lavf", 4) == 0 ||
           std::memcmp(text, "Lavc", 4) == 0;
}

}  // namespace

std::uint32_t parse_header_frame(HeaderFrame* out, const unsigned char* frame, std::size_t length) {
    *out = {};
    if (length < 4) {
        return HEADER_FRAME_NONE;
    }
    const std::uint32_t header = big_endian32(frame);
    const std::uint32_t version = (header >> 19) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const std::uint32_t rate_index = (header >> 10) & 3;
    if ((header & 0xFFE00000u) != 0xFFE00000u || version == 1 || ((header >> 17) & 3) != 1 ||
        rate_index == 3) {
        return HEADER_FRAME_NONE;
    }
    static constexpr std::uint32_t rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    const bool crc = ((header >> 16) & 1) == 0;
    const std::size_t side_info = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::size_t at = 4 + (crc ? 2 : 0) + side_info;
    if (length < at + 8) {
        return HEADER_FRAME_NONE;
    }

    std::uint32_t kind = HEADER_FRAME_NONE;
    if (std::memcmp(frame + at, "Xing", 4) == 0) {
        kind = HEADER_FRAME_XING;
    } else if (std::memcmp(frame + at, "Info", 4) == 0) {
        kind = HEADER_FRAME_INFO;
    } else {
        return HEADER_FRAME_NONE;
    }
    HeaderFrame parsed = {};
    parsed.kind = kind;
    parsed.flags = big_endian32(frame + at + 4);
    parsed.samples_per_frame = mpeg1 ? 1152 : 576;
    parsed.sample_rate = rates[rate_index] >> (version == 3 ? 0 : (version == 2 ? 1 : 2));
    at += 8;
    if ((parsed.flags & FIELD_FRAMES) != 0) {
        if (length < at + 4) {
            return HEADER_FRAME_NONE;
        }
        parsed.frames = big_endian32(frame + at);
        at += 4;
    }
    at += (parsed.flags & FIELD_BYTES) != 0 ? 4 : 0;
    at += (parsed.flags & FIELD_TOC) != 0 ? 100 : 0;
    at += (parsed.flags & FIELD_SCALE) != 0 ? 4 : 0;
    if (length < at) {
        return HEADER_FRAME_NONE;
    }

    if (length >= at + LAME_SIZE && known_encoder(frame + at)) {
        const unsigned char* gap = frame + at + LAME_DELAY_OFFSET;
        parsed.has_lame = 1;
        parsed.delay =
            static_cast<std::uint32_t>(gap[0]) << 4 | static_cast<std::uint32_t>(gap[1]) >> 4;
        parsed.padding = (static_cast<std::uint32_t>(gap[1]) & 0xF) << 8 | gap[2];
    }
    *out = parsed;
    return kind;
}

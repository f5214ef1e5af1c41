#include "mpeg/lame_tag.h"

#include <cstring>

#include "mpeg/big_endian.h"
#include "mpeg/xing.h"

namespace {

// The LAME extension: a 9-byte version text, revision, low-pass, replay gain (8 bytes),
// encoding flags and bit rate, then delay and padding as two 12-bit numbers in 3 bytes.
constexpr std::size_t LAME_SIZE = 36;
constexpr std::size_t LAME_DELAY_OFFSET = 21;

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
    if (length < at) {
        return HEADER_FRAME_NONE;
    }
    XingInfo xing;
    if (parse_xing(&xing, frame + at, 0, (length - at) * 8,
                   HEADER_FRAME_XING | HEADER_FRAME_INFO) == HEADER_FRAME_NONE) {
        return HEADER_FRAME_NONE;
    }
    HeaderFrame parsed = {};
    parsed.kind = xing.kind;
    parsed.flags = xing.flags;
    parsed.frames = xing.frames;
    parsed.samples_per_frame = mpeg1 ? 1152 : 576;
    parsed.sample_rate = rates[rate_index] >> (version == 3 ? 0 : (version == 2 ? 1 : 2));
    at += xing.size_bits / 8;

    if (length >= at + LAME_SIZE && known_encoder(frame + at)) {
        const unsigned char* gap = frame + at + LAME_DELAY_OFFSET;
        parsed.has_lame = 1;
        parsed.delay =
            static_cast<std::uint32_t>(gap[0]) << 4 | static_cast<std::uint32_t>(gap[1]) >> 4;
        parsed.padding = (static_cast<std::uint32_t>(gap[1]) & 0xF) << 8 | gap[2];
    }
    *out = parsed;
    return parsed.kind;
}

#include "mpeg/xing.h"

#include "mpeg/big_endian.h"

namespace {

constexpr std::uint32_t WORD_XING = 0x58696e67;  // "Xing"
constexpr std::uint32_t WORD_INFO = 0x496e666f;  // "Info"

// Walks the header's fields; every read is checked against the bits left first.
struct FieldReader {
    const unsigned char* bytes;
    std::size_t at;    // bits from bytes
    std::size_t left;  // bits still readable

    bool take32(std::uint32_t* value) {
        if (left < 32) {
            return false;
        }
        *value = big_endian_bits(bytes, at, 32);
        at += 32;
        left -= 32;
        return true;
    }
};

}  // namespace

std::uint32_t parse_xing(XingInfo* out, const unsigned char* bytes, std::size_t first_bit,
                         std::size_t bit_length, std::uint32_t accepted) {
    *out = {};
    if (bit_length < 64) {
        return HEADER_FRAME_NONE;
    }
    FieldReader reader = {bytes, first_bit, bit_length};
    XingInfo parsed = {};
    std::uint32_t word = 0;
    reader.take32(&word);
    if (word == WORD_XING) {
        parsed.kind = HEADER_FRAME_XING;
    } else if (word == WORD_INFO) {
        parsed.kind = HEADER_FRAME_INFO;
    }
    if ((parsed.kind & accepted) == 0) {
        return HEADER_FRAME_NONE;
    }
    reader.take32(&parsed.flags);
    if ((parsed.flags & XING_FRAMES) != 0 && !reader.take32(&parsed.frames)) {
        return HEADER_FRAME_NONE;
    }
    if ((parsed.flags & XING_BYTES) != 0 && !reader.take32(&parsed.bytes)) {
        return HEADER_FRAME_NONE;
    }
    if ((parsed.flags & XING_TOC) != 0) {
        if (reader.left < 8 * sizeof parsed.toc) {
            return HEADER_FRAME_NONE;
        }
        for (unsigned char& entry : parsed.toc) {
            entry = static_cast<unsigned char>(big_endian_bits(bytes, reader.at, 8));
            reader.at += 8;
            reader.left -= 8;
        }
    }
    if ((parsed.flags & XING_SCALE) != 0 && !reader.take32(&parsed.scale)) {
        return HEADER_FRAME_NONE;
    }
    parsed.size_bits = reader.at - first_bit;
    *out = parsed;
    return parsed.kind;
}

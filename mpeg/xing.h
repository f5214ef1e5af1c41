// The Xing header an encoder puts in the first frame's data ("Xing" for VBR, "Info" for CBR):
// frame and byte counts, seek table and quality. One parser for the player, which takes the
// frame for a header frame only when it says "Xing", and for the LAME tag reader, which
// takes both words.
#pragma once

#include <cstddef>
#include <cstdint>

// The word a header starts with; also bits of the mask a caller accepts.
constexpr std::uint32_t HEADER_FRAME_NONE = 0;
constexpr std::uint32_t HEADER_FRAME_XING = 1;
constexpr std::uint32_t HEADER_FRAME_INFO = 2;

constexpr std::uint32_t XING_FRAMES = 0x1;
constexpr std::uint32_t XING_BYTES = 0x2;
constexpr std::uint32_t XING_TOC = 0x4;
constexpr std::uint32_t XING_SCALE = 0x8;

struct XingInfo {
    std::uint32_t kind;   // HEADER_FRAME_XING or HEADER_FRAME_INFO
    std::uint32_t flags;  // XING_*: which of the fields below are present
    std::uint32_t frames;
    std::uint32_t bytes;
    unsigned char toc[100];
    std::uint32_t scale;
    std::size_t size_bits;  // the header's length: word, flags and the fields present
};

// Reads a header that starts first_bit bits into bytes, of which bit_length bits are there to
// read. accepted is HEADER_FRAME_XING, HEADER_FRAME_INFO or both OR-ed. Returns the kind
// found, or HEADER_FRAME_NONE with a zero record when the word is not accepted or a field the
// flags announce lies past bit_length.
std::uint32_t parse_xing(XingInfo* out, const unsigned char* bytes, std::size_t first_bit,
                         std::size_t bit_length, std::uint32_t accepted);

// Numbers stored most significant byte first, as MPEG headers, Xing/LAME headers and ID3v2
// tags store them. One reader for all of them, down to single bits: the player's ancillary
// data need not start on a byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads count bits (1 to 32) starting first_bit bits into bytes, most significant first.
// Touches only the bytes that hold those bits.
std::uint32_t big_endian_bits(const unsigned char* bytes, std::size_t first_bit, unsigned count);

inline std::uint32_t big_endian32(const unsigned char* bytes) {
    return big_endian_bits(bytes, 0, 32);
}

inline std::uint32_t big_endian24(const unsigned char* bytes) {
    return big_endian_bits(bytes, 0, 24);
}

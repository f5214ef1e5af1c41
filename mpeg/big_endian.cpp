#include "mpeg/big_endian.h"

std::uint32_t big_endian_bits(const unsigned char* bytes, std::size_t first_bit, unsigned count) {
    const unsigned char* p = bytes + first_bit / 8;
    const auto skip = static_cast<unsigned>(first_bit % 8);
    // At most 39 bits (7 skipped + 32 wanted) in at most 5 bytes: a 64-bit value holds them.
    const unsigned used = (skip + count + 7) / 8;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < used; ++i) {
        value = value << 8 | p[i];
    }
    value >>= used * 8 - skip - count;
    return static_cast<std::uint32_t>(value & ((std::uint64_t{1} << count) - 1));
}

// Hand-built WAV byte images: every field is written explicitly, so a test shows exactly which
// bytes the reader meets, including damaged sizes that no writer would produce.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline void put_u16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

inline void put_u32(Bytes& b, std::uint32_t v) {
    put_u16(b, v & 0xFFFF);
    put_u16(b, v >> 16);
}

inline void put_id(Bytes& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

inline void put_bytes(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// A format chunk whose header declares `declared` bytes; the body is 16 bytes plus `extra`.
inline Bytes fmt_chunk(std::uint32_t format_tag, std::uint32_t channels, std::uint32_t rate,
                       std::uint32_t bits, std::uint32_t declared = 16, const Bytes& extra = {}) {
    Bytes b;
    put_id(b, "fmt ");
    put_u32(b, declared);
    put_u16(b, format_tag);
    put_u16(b, channels);
    put_u32(b, rate);
    put_u32(b, rate * channels * bits / 8);
    put_u16(b, channels * bits / 8);
    put_u16(b, bits);
    put_bytes(b, extra);
    return b;
}

inline Bytes chunk(const char* id, std::uint32_t declared, const Bytes& body) {
    Bytes b;
    put_id(b, id);
    put_u32(b, declared);
    put_bytes(b, body);
    return b;
}

// "RIFF" <riff_size> "WAVE" followed by the given chunks.
inline Bytes riff(std::initializer_list<Bytes> chunks, std::uint32_t riff_size = 0) {
    Bytes b;
    put_id(b, "RIFF");
    Bytes rest;
    for (const Bytes& c : chunks) {
        put_bytes(rest, c);
    }
    put_u32(b, riff_size != 0 ? riff_size : static_cast<std::uint32_t>(rest.size() + 4));
    put_id(b, "WAVE");
    put_bytes(b, rest);
    return b;
}

// The canonical 44-byte header followed by the data bytes.
inline Bytes pcm_wav(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                     const Bytes& data) {
    return riff({fmt_chunk(1, channels, rate, bits),
                 chunk("data", static_cast<std::uint32_t>(data.size()), data)});
}

inline Bytes s16_bytes(std::initializer_list<int> samples) {
    Bytes b;
    for (int s : samples) {
        put_u16(b, static_cast<std::uint32_t>(s) & 0xFFFF);
    }
    return b;
}

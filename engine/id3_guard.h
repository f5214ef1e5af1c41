// A look at an ID3v2 tag before the tag library parses it: a compressed frame may declare
// any decompressed size, and the library allocates that much up front. A few hundred bytes
// could ask for gigabytes.
#pragma once

#include <cstddef>

// Largest expansion zlib's deflate format allows, plus room for tiny frames.
constexpr std::size_t ID3_MAX_INFLATE_RATIO = 1032;
constexpr std::size_t ID3_INFLATE_SLACK = 1024;

// False when a compressed frame of the tag (ID3v2.3 or 2.4, whole tag of length bytes)
// declares more decompressed bytes than its compressed data can hold. A tag this check
// cannot walk is left to the library, which rejects it itself.
bool id3v2_tag_is_safe(const unsigned char* tag, std::size_t length);

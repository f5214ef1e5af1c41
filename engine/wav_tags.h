// An MP3 file's tags as RIFF chunks for the end of its WAV file: a LIST/INFO chunk with the
// common text fields in UTF-8 (behind a CSET chunk naming code page 65001 when a text is not
// plain ASCII), and an "id3 " chunk holding the leading ID3v2 tag byte for byte (cover art
// included).
#pragma once

#include <cstddef>
#include <cstdint>

// ID3v2 tags larger than this get no "id3 " chunk (the tag display refuses to read them as
// well); their text fields still go into INFO.
constexpr std::size_t WAV_TAGS_ID3V2_LIMIT = 16u << 20;

// True when the whole ID3v2 tag of length bytes (header, body and any footer) can be copied
// as it is: a version libid3tag reads, syncsafe sizes that match length, no unknown tag or
// frame flags, at least one frame, every frame with a valid id and inside the body, nothing
// the compressed-frame guard refuses. Padding ends the walk.
bool id3v2_tag_is_whole(const unsigned char* tag, std::size_t length);

// The chunks for the file at path, each with its pad byte, in one malloc'd block that the
// caller frees; *length is its size (even). Null with *length 0 when the file has no tag
// worth copying, cannot be read (the decode reports that itself) or memory runs out (after a
// message). A damaged ID3v2 tag is left out whole, with a message: neither an "id3 " chunk
// nor its fields, while an ID3v1 tag still gives the INFO chunk. An ID3v2 tag over
// WAV_TAGS_ID3V2_LIMIT gives its fields but no "id3 " chunk, with a message. Whatever is
// left out adds its WARNING_* bit to *warnings.
unsigned char* wav_tag_chunks(const char* path, std::uint32_t* length, std::uint32_t* warnings);

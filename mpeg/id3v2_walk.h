// The structure of an ID3v2 tag, walked without judging it: header, syncsafe numbers,
// extended header, unsynchronisation and frames. The guards in front of libid3tag (engine)
// and id3lib (info) each put their own policy on top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t ID3V2_HEADER_SIZE = 10;
constexpr unsigned char ID3V2_FLAG_UNSYNCHRONISED = 0x80;  // tag header flags
constexpr unsigned char ID3V2_FLAG_EXTENDED_HEADER = 0x40;

// Four 7-bit groups, most significant first; the top bit of each byte is ignored.
std::uint32_t id3v2_syncsafe32(const unsigned char* p);
// True when none of the four bytes has its top bit set.
bool id3v2_is_syncsafe(const unsigned char* p);

struct Id3v2Header {
    unsigned char version;  // major version as stored: 2, 3, 4 or anything a file holds
    unsigned char revision;
    unsigned char flags;
    std::uint32_t size;   // bytes after the 10-byte header; top bits of the size bytes ignored
    bool sizeIsSyncsafe;  // false when a size byte has its top bit set
};

// False when length is below 10 or the bytes do not start with "ID3".
bool id3v2_read_header(Id3v2Header* header, const unsigned char* bytes, std::size_t length);

// The bytes with the zero byte after every 0xFF dropped.
std::vector<unsigned char> id3v2_remove_unsynchronisation(const unsigned char* bytes,
                                                          std::size_t length);

struct Id3v2ExtendedHeader {
    std::uint32_t field;  // the 4-byte size field as a plain number
    // Bytes the extended header takes from the start of the body, its size field included:
    // ID3v2.4 stores exactly that as a syncsafe number, the other versions store the count
    // after the field.
    std::uint64_t size;
    bool sizeIsSyncsafe;  // the field has no top bit set; matters in ID3v2.4
};

// Reads the size of the extended header that starts a tag body (unsynchronisation undone).
// False when the body is shorter than the size field.
bool id3v2_read_extended_header(Id3v2ExtendedHeader* extended, const unsigned char* body,
                                std::size_t length, int version);

struct Id3v2FrameLayout {
    std::size_t headerSize;  // 6 in ID3v2.2 (id, 24-bit size), else 10 (id, size, two flags)
    bool syncsafeSizes;
};

// The layout a version defines: 2.2 short headers, 2.4 syncsafe sizes, everything else 2.3.
Id3v2FrameLayout id3v2_frame_layout(int version);

struct Id3v2Frame {
    const unsigned char* id;    // idLength characters, not terminated
    std::size_t idLength;       // 3 in ID3v2.2, else 4
    std::uint32_t size;         // data bytes the header declares
    unsigned char statusFlags;  // both 0 in ID3v2.2
    unsigned char formatFlags;
    const unsigned char* data;  // right after the header; size bytes only when the step is Frame
};

enum class Id3v2Step {
    Frame,      // a whole frame inside the body; the walk has moved past it
    Padding,    // a zero byte where the next frame header would start
    End,        // fewer bytes left than a frame header
    Oversized,  // the header declares more data than the body has left
};

// Position in a tag body; set up by id3v2_begin_frames.
struct Id3v2FrameWalk {
    const unsigned char* body;
    std::size_t length;
    std::size_t pos;  // where the next frame header starts
    Id3v2FrameLayout layout;
};

// Frames start at byte start of the body (after any extended header); a start past the end
// gives End at once.
void id3v2_begin_frames(Id3v2FrameWalk* walk, const unsigned char* body, std::size_t length,
                        std::size_t start, Id3v2FrameLayout layout);

// Reads the next frame header into *frame (for Frame and Oversized). Padding, End and
// Oversized leave the walk where it is, so they repeat when asked again.
Id3v2Step id3v2_next_frame(Id3v2FrameWalk* walk, Id3v2Frame* frame);

// A frame id of capital letters and digits only.
bool id3v2_frame_id_is_valid(const Id3v2Frame& frame);

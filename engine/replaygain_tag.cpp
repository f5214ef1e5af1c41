#include "engine/replaygain_tag.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/wav_writer.h"
#include "mpeg/id3v2_walk.h"

namespace {

constexpr char REPLAYGAIN_PREFIX[] = "REPLAYGAIN_";
constexpr std::size_t CHUNK_HEADER = 8;

// snprintf follows the locale's decimal point; the tag's numbers never do.
void with_point(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == ',') {
            *text = '.';
        }
    }
}

void put_syncsafe(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>((value >> 21) & 0x7Fu);
    bytes[1] = static_cast<unsigned char>((value >> 14) & 0x7Fu);
    bytes[2] = static_cast<unsigned char>((value >> 7) & 0x7Fu);
    bytes[3] = static_cast<unsigned char>(value & 0x7Fu);
}

void put_u32_be(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value >> 24);
    bytes[1] = static_cast<unsigned char>((value >> 16) & 0xFFu);
    bytes[2] = static_cast<unsigned char>((value >> 8) & 0xFFu);
    bytes[3] = static_cast<unsigned char>(value & 0xFFu);
}

// A TXXX frame in Latin-1 (the texts are ASCII) for an ID3v2.3 or 2.4 tag.
void append_txxx(std::vector<unsigned char>& out, int version, const char* description,
                 const char* value) {
    const std::size_t size = 1 + std::strlen(description) + 1 + std::strlen(value);
    unsigned char header[10] = {'T', 'X', 'X', 'X'};
    if (version == 4) {
        put_syncsafe(static_cast<std::uint32_t>(size), header + 4);
    } else {
        put_u32_be(static_cast<std::uint32_t>(size), header + 4);
    }
    out.insert(out.end(), header, header + sizeof header);
    out.push_back(0);  // ISO-8859-1
    out.insert(out.end(), description, description + std::strlen(description) + 1);
    out.insert(out.end(), value, value + std::strlen(value));
}

void append_frames(std::vector<unsigned char>& out, int version, const ReplayGainValues* values) {
    char text[64];
    replaygain_gain_text(values->track_gain_db, text, sizeof text);
    append_txxx(out, version, "REPLAYGAIN_TRACK_GAIN", text);
    replaygain_peak_text(values->track_peak, text, sizeof text);
    append_txxx(out, version, "REPLAYGAIN_TRACK_PEAK", text);
    if (values->has_album != 0) {
        replaygain_gain_text(values->album_gain_db, text, sizeof text);
        append_txxx(out, version, "REPLAYGAIN_ALBUM_GAIN", text);
        replaygain_peak_text(values->album_peak, text, sizeof text);
        append_txxx(out, version, "REPLAYGAIN_ALBUM_PEAK", text);
    }
    std::snprintf(text, sizeof text, "%.2f LUFS", values->reference_lufs);
    with_point(text);
    append_txxx(out, version, "REPLAYGAIN_REFERENCE_LOUDNESS", text);
}

// A TXXX frame whose description starts with REPLAYGAIN_ in a single-byte encoding: the
// values it holds would contradict ours.
bool is_replaygain_frame(const Id3v2Frame& frame) {
    const std::size_t prefix = sizeof REPLAYGAIN_PREFIX - 1;
    return frame.idLength == 4 && std::memcmp(frame.id, "TXXX", 4) == 0 && frame.size > prefix &&
           (frame.data[0] == 0 || frame.data[0] == 3) &&
           strncasecmp(reinterpret_cast<const char*>(frame.data + 1), REPLAYGAIN_PREFIX, prefix) ==
               0;
}

// The tag with its REPLAYGAIN_ frames replaced by ours, no padding; empty when the tag is not
// one this can rewrite frame by frame.
std::vector<unsigned char> rewritten_tag(const unsigned char* tag, std::size_t length,
                                         const ReplayGainValues* values) {
    Id3v2Header header;
    if (!id3v2_read_header(&header, tag, length) || (header.version != 3 && header.version != 4) ||
        header.flags != 0 || ID3V2_HEADER_SIZE + header.size > length) {
        return {};
    }
    std::vector<unsigned char> out(tag, tag + ID3V2_HEADER_SIZE);
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, tag + ID3V2_HEADER_SIZE, header.size, 0,
                       id3v2_frame_layout(header.version));
    Id3v2Frame frame;
    std::size_t start = walk.pos;
    while (id3v2_next_frame(&walk, &frame) == Id3v2Step::Frame) {
        if (!is_replaygain_frame(frame)) {
            out.insert(out.end(), walk.body + start, walk.body + walk.pos);
        }
        start = walk.pos;
    }
    append_frames(out, header.version, values);
    put_syncsafe(static_cast<std::uint32_t>(out.size() - ID3V2_HEADER_SIZE), out.data() + 6);
    return out;
}

std::vector<unsigned char> fresh_tag(const ReplayGainValues* values) {
    std::vector<unsigned char> out = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    append_frames(out, 4, values);
    put_syncsafe(static_cast<std::uint32_t>(out.size() - ID3V2_HEADER_SIZE), out.data() + 6);
    return out;
}

}  // namespace

void replaygain_gain_text(double gain_db, char* text, std::uint32_t room) {
    std::snprintf(text, room, "%.2f dB", gain_db);
    with_point(text);
}

void replaygain_peak_text(double peak, char* text, std::uint32_t room) {
    std::snprintf(text, room, "%.6f", peak);
    with_point(text);
}

unsigned char* add_replaygain_tags(unsigned char* chunks, std::uint32_t* length,
                                   const ReplayGainValues* values) {
    // Where the "id3 " chunk is, if any: [id3_at, id3_end) with its pad byte.
    std::size_t at = 0;
    std::size_t id3_at = *length;
    std::size_t id3_end = *length;
    while (chunks != nullptr && *length - at >= CHUNK_HEADER) {
        std::size_t size = 0;
        for (std::size_t i = 4; i > 0; --i) {
            size = size << 8 | chunks[at + 3 + i];  // little-endian
        }
        std::size_t end = at + CHUNK_HEADER + size + (size & 1u);
        if (end > *length) {
            break;
        }
        if (std::memcmp(chunks + at, "id3 ", 4) == 0) {
            id3_at = at;
            id3_end = end;
            break;
        }
        at = end;
    }
    std::vector<unsigned char> tag;
    if (id3_at != *length) {
        const std::size_t size = id3_end - id3_at - CHUNK_HEADER;
        tag = rewritten_tag(chunks + id3_at + CHUNK_HEADER, size, values);
        if (tag.empty()) {
            engine_error("id3", "ReplayGain tags not added: the ID3v2 tag is copied as it is");
            return chunks;
        }
    } else {
        tag = fresh_tag(values);
    }
    const std::size_t padded = tag.size() + (tag.size() & 1u);
    const std::size_t total = id3_at + CHUNK_HEADER + padded + (*length - id3_end);
    auto* out = static_cast<unsigned char*>(std::malloc(total));
    if (out == nullptr) {
        engine_error("id3", "not enough memory for the ReplayGain tags");
        return chunks;
    }
    if (id3_at != 0) {
        std::memcpy(out, chunks, id3_at);
    }
    unsigned char* p = out + id3_at;
    std::memcpy(p, "id3 ", 4);
    put_u32_le(static_cast<std::uint32_t>(tag.size()), p + 4);
    std::memcpy(p + CHUNK_HEADER, tag.data(), tag.size());
    if (padded != tag.size()) {
        p[CHUNK_HEADER + tag.size()] = 0;
    }
    if (*length != id3_end) {
        std::memcpy(p + CHUNK_HEADER + padded, chunks + id3_end, *length - id3_end);
    }
    std::free(chunks);
    *length = static_cast<std::uint32_t>(total);
    return out;
}

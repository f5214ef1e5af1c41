#include "engine/wav_tags.h"

#include <fcntl.h>
#include <id3tag.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/id3_guard.h"
#include "engine/messages.h"
#include "engine/tag_display.h"
#include "engine/wav_writer.h"
#include "mpeg/id3v2_walk.h"

#ifndef PELMORA_PROGRAM_VERSION
#error "engine/CMakeLists.txt passes the project version to this file"
#endif

namespace {

constexpr char SOFTWARE_TEXT[] = "Pelmora " PELMORA_PROGRAM_VERSION;

constexpr std::size_t ID3V1_SIZE = 128;
// The character set chunk: code page, country, language, dialect; 0 for the last three is
// "not given".
constexpr std::size_t CSET_SIZE = 8;
constexpr std::uint32_t CODE_PAGE_UTF8 = 65001;
constexpr unsigned char ID3V2_FLAG_FOOTER = 0x10;  // ID3v2.4 only

struct InfoField {
    char id[5];
    const char* frame;
};

// The order readers list them in; ISFT follows last.
constexpr InfoField INFO_FIELDS[] = {
    {"INAM", "TIT2"}, {"IART", "TPE1"}, {"IPRD", "TALB"}, {"ICRD", "TDRC"},
    {"IGNR", "TCON"}, {"ITRK", "TRCK"}, {"ICMT", "COMM"},
};
constexpr std::size_t FIELD_COUNT = sizeof INFO_FIELDS / sizeof INFO_FIELDS[0];

// Flags each version defines; a tag with others set was written by something we do not
// understand, and copying it would pass that on.
unsigned char known_flags(int version) {
    return version == 4 ? 0xF0 : (version == 3 ? 0xE0 : 0xC0);
}

bool frame_flags_known(const Id3v2Frame& frame, int version) {
    if (version == 4) {
        return (frame.statusFlags & ~0x70) == 0 && (frame.formatFlags & ~0x4F) == 0;
    }
    if (version == 3) {
        return (frame.statusFlags & ~0xE0) == 0 && (frame.formatFlags & ~0xE0) == 0;
    }
    return true;  // ID3v2.2 frames have no flags
}

// Appends text to the malloc'd *joined (which may be null), with separator before it when
// *joined is not empty. False when memory runs out; *joined is then freed.
bool append_text(char** joined, const char* separator, const char* text) {
    const std::size_t have = *joined != nullptr ? std::strlen(*joined) : 0;
    const std::size_t gap = have != 0 ? std::strlen(separator) : 0;
    const std::size_t add = std::strlen(text);
    auto* grown = static_cast<char*>(std::realloc(*joined, have + gap + add + 1));
    if (grown == nullptr) {
        std::free(*joined);
        *joined = nullptr;
        return false;
    }
    std::memcpy(grown + have, separator, gap);
    std::memcpy(grown + have + gap, text, add + 1);
    *joined = grown;
    return true;
}

// A genre that refers to the ID3v1 list by number, bare ("17") or in the ID3v2.3 form "(17)",
// by its name; anything else as it is.
const id3_ucs4_t* genre_text(const id3_ucs4_t* text, id3_ucs4_t* digits, std::size_t room) {
    if (text[0] == '(') {
        std::size_t n = 0;
        while (text[1 + n] >= '0' && text[1 + n] <= '9' && n + 1 < room) {
            digits[n] = text[1 + n];
            ++n;
        }
        if (n != 0 && text[1 + n] == ')' && text[2 + n] == 0) {
            digits[n] = 0;
            return id3_genre_name(digits);
        }
    }
    return id3_genre_name(text);
}

// Converts one string to UTF-8 and appends it. False when memory runs out.
bool append_ucs4(char** joined, const id3_ucs4_t* text) {
    id3_utf8_t* utf8 = id3_ucs4_utf8duplicate(text);
    if (utf8 == nullptr) {
        std::free(*joined);
        *joined = nullptr;
        return false;
    }
    const bool appended = utf8[0] == 0 || append_text(joined, "; ", reinterpret_cast<char*>(utf8));
    std::free(utf8);
    return appended;
}

// The field's text in UTF-8, several strings joined by "; "; malloc'd, null when the tag has
// none. *failed is set when memory ran out.
char* field_text(const id3_tag* tag, const char* frame_id, bool* failed) {
    char* joined = nullptr;
    if (std::strcmp(frame_id, "COMM") == 0) {
        const id3_frame* comment = plain_comment(tag);
        const id3_field* full = comment != nullptr ? id3_frame_field(comment, 3) : nullptr;
        const id3_ucs4_t* text = full != nullptr ? id3_field_getfullstring(full) : nullptr;
        if (text != nullptr && !append_ucs4(&joined, text)) {
            *failed = true;
        }
        return joined;
    }
    const id3_frame* frame = id3_tag_findframe(tag, frame_id, 0);
    const id3_field* strings = frame != nullptr ? id3_frame_field(frame, 1) : nullptr;
    if (strings == nullptr) {
        return nullptr;
    }
    const unsigned int count = id3_field_getnstrings(strings);
    for (unsigned int i = 0; i < count; ++i) {
        const id3_ucs4_t* text = id3_field_getstrings(strings, i);
        if (text == nullptr) {
            continue;
        }
        id3_ucs4_t digits[12];
        if (std::strcmp(frame_id, "TCON") == 0) {
            text = genre_text(text, digits, sizeof digits / sizeof digits[0]);
        }
        if (!append_ucs4(&joined, text)) {
            *failed = true;
            return nullptr;
        }
    }
    return joined;
}

bool has_non_ascii(const char* text) {
    for (; *text != '\0'; ++text) {
        if ((static_cast<unsigned char>(*text) & 0x80u) != 0) {
            return true;
        }
    }
    return false;
}

std::size_t padded(std::size_t size) {
    return size + (size & 1u);
}

unsigned char* put_chunk_header(unsigned char* out, const char* id, std::size_t size) {
    std::memcpy(out, id, 4);
    put_u32_le(static_cast<std::uint32_t>(size), out + 4);
    return out + 8;
}

unsigned char* put_chunk(unsigned char* out, const char* id, const void* body, std::size_t size) {
    out = put_chunk_header(out, id, size);
    std::memcpy(out, body, size);
    out += size;
    if ((size & 1u) != 0) {
        *out++ = 0;
    }
    return out;
}

// The leading ID3v2 tag, read whole when it can be copied; malloc'd. Null with *length 0 when
// the file starts otherwise; null after a message when the tag is damaged, too large or
// memory runs out.
unsigned char* read_leading_tag(int fd, off_t file_size, std::size_t* length) {
    *length = 0;
    unsigned char header[ID3V2_HEADER_SIZE];
    Id3v2Header fields;
    if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        !id3v2_read_header(&fields, header, sizeof header)) {
        return nullptr;
    }
    std::size_t total = ID3V2_HEADER_SIZE + fields.size;
    if (fields.version == 4 && (fields.flags & ID3V2_FLAG_FOOTER) != 0) {
        total += ID3V2_HEADER_SIZE;
    }
    if (total > WAV_TAGS_ID3V2_LIMIT) {
        engine_error("id3", "ID3v2 tag of more than 16 MiB not copied into the WAV file");
        return nullptr;
    }
    if (static_cast<std::uint64_t>(file_size) < total) {
        engine_error("id3", "damaged ID3v2 tag not copied into the WAV file");
        return nullptr;
    }
    auto* tag = static_cast<unsigned char*>(std::malloc(total));
    if (tag == nullptr) {
        engine_error("id3", "not enough memory to copy the tag");
        return nullptr;
    }
    if (pread(fd, tag, total, 0) != static_cast<ssize_t>(total) ||
        !id3v2_tag_is_whole(tag, total)) {
        engine_error("id3", "damaged ID3v2 tag not copied into the WAV file");
        std::free(tag);
        return nullptr;
    }
    *length = total;
    return tag;
}

}  // namespace

bool id3v2_tag_is_whole(const unsigned char* tag, std::size_t length) {
    Id3v2Header header;
    if (!id3v2_read_header(&header, tag, length)) {
        return false;
    }
    const int version = header.version;
    if (version < 2 || version > 4 || header.revision == 0xFF || !header.sizeIsSyncsafe ||
        (header.flags & ~known_flags(version)) != 0) {
        return false;
    }
    const bool footer = version == 4 && (header.flags & ID3V2_FLAG_FOOTER) != 0;
    if (length != ID3V2_HEADER_SIZE + header.size + (footer ? ID3V2_HEADER_SIZE : 0)) {
        return false;
    }
    if (footer && (std::memcmp(tag + length - ID3V2_HEADER_SIZE, "3DI", 3) != 0 ||
                   std::memcmp(tag + length - ID3V2_HEADER_SIZE + 3, tag + 3, 7) != 0)) {
        return false;
    }
    if (!id3v2_tag_is_safe(tag, length)) {
        return false;
    }
    // ID3v2.4 frame sizes count the bytes as stored; the older versions count them with the
    // unsynchronisation undone.
    const unsigned char* stored = tag + ID3V2_HEADER_SIZE;
    const std::vector<unsigned char> body =
        version != 4 && (header.flags & ID3V2_FLAG_UNSYNCHRONISED) != 0
            ? id3v2_remove_unsynchronisation(stored, header.size)
            : std::vector<unsigned char>(stored, stored + header.size);
    std::size_t start = 0;
    if ((header.flags & ID3V2_FLAG_EXTENDED_HEADER) != 0) {
        Id3v2ExtendedHeader extended;
        if (version == 2 ||
            !id3v2_read_extended_header(&extended, body.data(), body.size(), version) ||
            (version == 4 && !extended.sizeIsSyncsafe) || extended.size > body.size()) {
            return false;
        }
        start = static_cast<std::size_t>(extended.size);
    }
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body.data(), body.size(), start, id3v2_frame_layout(version));
    Id3v2Frame frame;
    std::size_t frames = 0;
    for (;;) {
        const Id3v2Step step = id3v2_next_frame(&walk, &frame);
        if (step == Id3v2Step::Oversized ||
            (step == Id3v2Step::Frame &&
             (!id3v2_frame_id_is_valid(frame) || !frame_flags_known(frame, version)))) {
            return false;
        }
        if (step != Id3v2Step::Frame) {
            break;
        }
        ++frames;
    }
    // A tag without a frame carries nothing worth copying.
    return frames != 0;
}

unsigned char* wav_tag_chunks(const char* path, std::uint32_t* length) {
    *length = 0;
    // Not blocking: a named pipe would otherwise wait here for a writer, and only a regular
    // file is read below.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) {
        return nullptr;  // the decode names the path and the error itself
    }
    struct stat info {};
    std::size_t raw_length = 0;
    unsigned char* raw = nullptr;
    unsigned char v1[ID3V1_SIZE];
    bool have_v1 = false;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        raw = read_leading_tag(fd, info.st_size, &raw_length);
        // An ID3v1 tag inside the ID3v2 tag's bytes is not one.
        const off_t v1_at = info.st_size - static_cast<off_t>(ID3V1_SIZE);
        have_v1 = v1_at >= static_cast<off_t>(raw_length) &&
                  pread(fd, v1, sizeof v1, v1_at) == static_cast<ssize_t>(sizeof v1) &&
                  std::memcmp(v1, "TAG", 3) == 0;
    }
    (void)close(fd);  // read-only: a failed close loses nothing

    id3_tag* v2_tag = nullptr;
    if (raw != nullptr) {
        v2_tag = id3_tag_parse(raw, raw_length);
        if (v2_tag == nullptr) {
            engine_error("id3", "damaged ID3v2 tag not copied into the WAV file");
            std::free(raw);
            raw = nullptr;
            raw_length = 0;
        }
    }
    id3_tag* v1_tag = have_v1 ? id3_tag_parse(v1, sizeof v1) : nullptr;

    // ID3v2 fields first; the ID3v1 tag fills the fields the ID3v2 tag lacks.
    char* texts[FIELD_COUNT] = {};
    bool failed = false;
    bool any_text = false;
    for (std::size_t i = 0; i < FIELD_COUNT && !failed; ++i) {
        if (v2_tag != nullptr) {
            texts[i] = field_text(v2_tag, INFO_FIELDS[i].frame, &failed);
        }
        if (texts[i] == nullptr && v1_tag != nullptr && !failed) {
            texts[i] = field_text(v1_tag, INFO_FIELDS[i].frame, &failed);
        }
        any_text = any_text || texts[i] != nullptr;
    }
    if (v2_tag != nullptr) {
        id3_tag_delete(v2_tag);
    }
    if (v1_tag != nullptr) {
        id3_tag_delete(v1_tag);
    }

    std::size_t info_size = 0;
    bool utf8 = false;
    if (any_text && !failed) {
        info_size = 4 + 8 + padded(sizeof SOFTWARE_TEXT);  // "INFO", then ISFT
        for (const char* text : texts) {
            if (text != nullptr) {
                info_size += 8 + padded(std::strlen(text) + 1);
                utf8 = utf8 || has_non_ascii(text);
            }
        }
    }
    const std::size_t total = (utf8 ? 8 + CSET_SIZE : 0) + (info_size != 0 ? 8 + info_size : 0) +
                              (raw != nullptr ? 8 + padded(raw_length) : 0);
    auto* chunks =
        total != 0 && !failed ? static_cast<unsigned char*>(std::malloc(total)) : nullptr;
    if (failed || (total != 0 && chunks == nullptr)) {
        engine_error("id3", "not enough memory to copy the tag");
    } else if (chunks != nullptr) {
        unsigned char* out = chunks;
        if (utf8) {
            // Without it, readers take INFO texts in their own 8-bit code page.
            unsigned char cset[CSET_SIZE] = {};
            put_u16_le(CODE_PAGE_UTF8, cset);
            out = put_chunk(out, "CSET", cset, sizeof cset);
        }
        if (info_size != 0) {
            out = put_chunk_header(out, "LIST", info_size);
            std::memcpy(out, "INFO", 4);
            out += 4;
            for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
                if (texts[i] != nullptr) {
                    out = put_chunk(out, INFO_FIELDS[i].id, texts[i], std::strlen(texts[i]) + 1);
                }
            }
            out = put_chunk(out, "ISFT", SOFTWARE_TEXT, sizeof SOFTWARE_TEXT);
        }
        if (raw != nullptr) {
            out = put_chunk(out, "id3 ", raw, raw_length);
        }
        *length = static_cast<std::uint32_t>(out - chunks);
    }
    for (char* text : texts) {
        std::free(text);
    }
    std::free(raw);
    return *length != 0 ? chunks : nullptr;
}

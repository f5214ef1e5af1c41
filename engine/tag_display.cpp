#include "engine/tag_display.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/id3_guard.h"
#include "engine/messages.h"

namespace {

struct ShownFrame {
    const char* id;
    const char* label;  // null: shown without a label
};

constexpr ShownFrame SHOWN_FRAMES[] = {
    {"TIT2", "Title"},     {"TIT3", nullptr},  {"TCOP", nullptr},     {"TPRO", nullptr},
    {"TCOM", "Composer"},  {"TPE1", "Artist"}, {"TPE2", "Orchestra"}, {"TPE3", "Conductor"},
    {"TEXT", "Lyricist"},  {"TALB", "Album"},  {"TDRC", "Year"},      {"TRCK", "Track"},
    {"TPUB", "Publisher"}, {"TCON", "Genre"},  {"TRSN", "Station"},   {"TENC", "Encoder"},
};

// Labels are right-aligned in this run of 10 blanks.
constexpr const char* INDENT = "          ";
constexpr std::size_t COMMENT_WIDTH = 66;

// Returns false after a failed copy, which ends the display of the tag.
bool show_text_frame(const id3_tag* tag, const ShownFrame& shown) {
    const id3_frame* frame = id3_tag_findframe(tag, shown.id, 0);
    if (frame == nullptr) {
        return true;
    }
    const id3_field* strings = id3_frame_field(frame, 1);
    if (strings == nullptr) {
        return true;
    }
    const unsigned int count = id3_field_getnstrings(strings);
    for (unsigned int j = 0; j < count; ++j) {
        const id3_ucs4_t* text = id3_field_getstrings(strings, j);
        if (text == nullptr) {
            continue;
        }
        if (std::strcmp(shown.id, "TCON") == 0) {
            text = id3_genre_name(text);
        }
        id3_latin1_t* latin1 = id3_ucs4_latin1duplicate(text);
        if (latin1 == nullptr) {
            engine_error("id3", "not enough memory to display tag");
            return false;
        }
        const char* printable = reinterpret_cast<const char*>(latin1);
        if (j == 0 && shown.label != nullptr) {
            engine_message("%s%s: %s\n", INDENT + std::strlen(shown.label), shown.label, printable);
        } else if (std::strcmp(shown.id, "TCOP") == 0 || std::strcmp(shown.id, "TPRO") == 0) {
            engine_message("%s  %s %s\n", INDENT,
                           shown.id[1] == 'C' ? "Copyright (C)" : "Produced (P)", printable);
        } else {
            engine_message("%s  %s\n", INDENT, printable);
        }
        std::free(latin1);
    }
    return true;
}

}  // namespace

const id3_frame* plain_comment(const id3_tag* tag) {
    for (unsigned int index = 0;; ++index) {
        const id3_frame* frame = id3_tag_findframe(tag, "COMM", index);
        if (frame == nullptr) {
            return nullptr;
        }
        const id3_field* description = id3_frame_field(frame, 2);
        if (description == nullptr) {
            continue;
        }
        const id3_ucs4_t* text = id3_field_getstring(description);
        if (text == nullptr || *text == 0) {
            return frame;
        }
    }
}

namespace {

// Lines end at newlines; a line longer than COMMENT_WIDTH breaks at its last blank at or
// before that position, the blank dropped. Modifies the text.
void show_comment_lines(char* text) {
    bool first = true;
    char* line = text;
    while (*line != '\0') {
        char* newline = std::strchr(line, '\n');
        const std::size_t length =
            newline != nullptr ? static_cast<std::size_t>(newline - line) : std::strlen(line);
        char* next = newline != nullptr ? newline + 1 : line + length;
        char* end = line + length;
        if (length > COMMENT_WIDTH) {
            for (std::size_t k = COMMENT_WIDTH + 1; k-- > 0;) {
                if (line[k] == ' ') {
                    end = line + k;
                    next = end + 1;
                    break;
                }
            }
        }
        *end = '\0';
        if (first) {
            engine_message("%s%s: %s\n", "   ", "Comment", line);
            first = false;
        } else {
            engine_message("%s  %s\n", INDENT, line);
        }
        line = next;
    }
}

}  // namespace

void show_tag(const id3_tag* tag) {
    static_assert(sizeof SHOWN_FRAMES / sizeof SHOWN_FRAMES[0] == 16);
    for (const ShownFrame& shown : SHOWN_FRAMES) {
        if (!show_text_frame(tag, shown)) {
            return;
        }
    }
    const id3_frame* comment = plain_comment(tag);
    if (comment == nullptr) {
        return;
    }
    const id3_field* full_text = id3_frame_field(comment, 3);
    const id3_ucs4_t* text = full_text != nullptr ? id3_field_getfullstring(full_text) : nullptr;
    if (text == nullptr) {
        return;
    }
    id3_latin1_t* latin1 = id3_ucs4_latin1duplicate(text);
    if (latin1 == nullptr) {
        engine_error("id3", "not enough memory to display tag");
        return;
    }
    show_comment_lines(reinterpret_cast<char*>(latin1));
    std::free(latin1);
}

id3_tag* parse_checked(const id3_byte_t* data, id3_length_t size) {
    if (!id3v2_tag_is_safe(data, size)) {
        engine_error("id3", "tag skipped: a compressed frame declares an impossible size");
        return nullptr;
    }
    return id3_tag_parse(data, size);
}

namespace {

// Checks the ID3v2 tag at the start of the file before the tag library reads it. Tags
// larger than LEADING_TAG_CHECK_LIMIT are not read here and count as unsafe.
constexpr std::size_t LEADING_TAG_CHECK_LIMIT = 16u << 20;

bool leading_tag_is_safe(int fd) {
    unsigned char header[10];
    if (pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        header[0] != 'I' || header[1] != 'D' || header[2] != '3') {
        return true;
    }
    std::size_t size = 10 + (static_cast<std::size_t>(header[6] & 0x7f) << 21 |
                             static_cast<std::size_t>(header[7] & 0x7f) << 14 |
                             static_cast<std::size_t>(header[8] & 0x7f) << 7 |
                             static_cast<std::size_t>(header[9] & 0x7f));
    if (size > LEADING_TAG_CHECK_LIMIT) {
        return false;
    }
    std::vector<unsigned char> tag(size);
    ssize_t got = pread(fd, tag.data(), size, 0);
    return got > 0 && id3v2_tag_is_safe(tag.data(), static_cast<std::size_t>(got));
}

}  // namespace

id3_tag* read_stream_tag(mad_stream* stream, id3_length_t size, PlayerState* state) {
    const id3_byte_t* start = stream->this_frame;
    const auto held = static_cast<id3_length_t>(stream->bufend - start);
    if (size <= held) {
        mad_stream_skip(stream, size);
        return parse_checked(start, size);
    }

    auto* data = static_cast<id3_byte_t*>(std::malloc(size));
    if (data == nullptr) {
        engine_error("id3", "not enough memory to allocate tag data buffer");
        return nullptr;
    }
    std::memcpy(data, start, held);
    mad_stream_skip(stream, held);

    // The rest of the tag is not buffered yet: take it from the descriptor, so that the next
    // input read continues right after the tag.
    id3_length_t have = held;
    while (have < size) {
        const ssize_t got = read(state->input_fd, data + have, size - have);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            engine_error("id3", ":read");
            std::free(data);
            return nullptr;
        }
        if (got == 0) {
            engine_error("id3", "EOF while reading tag data");
            std::free(data);
            return nullptr;
        }
        have += static_cast<id3_length_t>(got);
    }
    id3_tag* tag = parse_checked(data, size);
    std::free(data);
    return tag;
}

void show_file_tag(PlayerState* state) {
    if (!leading_tag_is_safe(state->input_fd)) {
        state->flags |= FLAG_STREAM_TAGS;  // met again in the stream, and skipped there
        return;
    }
    const int duplicate = fcntl(state->input_fd, F_DUPFD_CLOEXEC, 0);
    id3_file* file = duplicate >= 0 ? id3_file_fdopen(duplicate, ID3_FILE_MODE_READONLY) : nullptr;
    if (file != nullptr) {
        show_tag(id3_file_tag(file));
        // Read-only: a failed close loses nothing.
        (void)id3_file_close(file);
    } else {
        if (duplicate >= 0) {
            (void)close(duplicate);
        }
        state->flags |= FLAG_STREAM_TAGS;
    }
    // The duplicate shares the file position, which the tag library may leave anywhere.
    // A descriptor that cannot seek (a pipe) has no position to restore.
    (void)lseek(state->input_fd, 0, SEEK_SET);
}

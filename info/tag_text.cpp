#include "info/tag_text.h"

#include <cstdint>
#include <vector>

#include "mpeg/id3v2_walk.h"

namespace {

constexpr unsigned char kEncodingLatin1 = 0;
constexpr unsigned char kEncodingUtf16 = 1;    // with a byte-order mark, by the standard
constexpr unsigned char kEncodingUtf16Be = 2;  // ID3v2.4
constexpr unsigned char kEncodingUtf8 = 3;     // ID3v2.4

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string* out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = kReplacement;
    }
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Where the first string ends (its terminator's start) and where the next begins.
struct Span {
    std::size_t end;
    std::size_t next;
};

Span string_span(const unsigned char* data, std::size_t size, bool wide) {
    if (!wide) {
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == 0) {
                return {i, i + 1};
            }
        }
        return {size, size};
    }
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        if (data[i] == 0 && data[i + 1] == 0) {
            return {i, i + 2};
        }
    }
    return {size, size};
}

std::string utf16_to_utf8(const unsigned char* data, std::size_t size, bool bigEndian) {
    // A mark says which; without one, the side that holds the zero bytes of Latin letters
    // says it (taggers that leave the mark out mostly write little-endian).
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        bigEndian = false;
        data += 2;
        size -= 2;
    } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
        bigEndian = true;
        data += 2;
        size -= 2;
    } else if (!bigEndian) {
        std::size_t evenZeros = 0;
        std::size_t oddZeros = 0;
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            evenZeros += data[i] == 0 ? 1U : 0U;
            oddZeros += data[i + 1] == 0 ? 1U : 0U;
        }
        bigEndian = evenZeros > oddZeros;
    }
    std::string out;
    auto unit = [&](std::size_t i) {
        return bigEndian ? static_cast<char32_t>((data[i] << 8) | data[i + 1])
                         : static_cast<char32_t>((data[i + 1] << 8) | data[i]);
    };
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char32_t high = unit(i);
        if (high >= 0xD800 && high <= 0xDBFF && i + 3 < size) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(&out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        append_utf8(&out, high);
    }
    return out;
}

// Valid UTF-8 is kept byte for byte; each byte of a broken sequence becomes U+FFFD.
std::string clean_utf8(const unsigned char* data, std::size_t size) {
    std::string out;
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = data[i];
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        bool valid = length > 0 && i + length <= size;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (data[i + k] & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(reinterpret_cast<const char*>(data + i), length);
            i += length;
        } else {
            append_utf8(&out, kReplacement);
            ++i;
        }
    }
    return out;
}

std::string decode(unsigned char encoding, const unsigned char* data, std::size_t size) {
    switch (encoding) {
        case kEncodingLatin1:
            return latin1_to_utf8(std::string(reinterpret_cast<const char*>(data), size));
        case kEncodingUtf16:
            return utf16_to_utf8(data, size, false);
        case kEncodingUtf16Be:
            return utf16_to_utf8(data, size, true);
        case kEncodingUtf8:
            return clean_utf8(data, size);
        default:
            return {};
    }
}

bool is_wide(unsigned char encoding) {
    return encoding == kEncodingUtf16 || encoding == kEncodingUtf16Be;
}

// ID3v2.2's three-letter ids of the frames the page shows, with the ids they became.
const char* v23_id(const std::string& id) {
    static const char* const kPairs[][2] = {
        {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TCM", "TCOM"},
        {"TAL", "TALB"}, {"TYE", "TYER"}, {"TCO", "TCON"}, {"TRK", "TRCK"}, {"COM", "COMM"}};
    for (const auto& pair : kPairs) {
        if (id == pair[0]) {
            return pair[1];
        }
    }
    return nullptr;
}

constexpr unsigned char kV24Unsynchronised = 0x02;
constexpr unsigned char kV24DataLength = 0x01;
constexpr unsigned char kV24Hidden = 0x04 | 0x08;  // encrypted, compressed
constexpr unsigned char kV23Hidden = 0x80 | 0x40;  // compressed, encrypted
constexpr unsigned char kV23Grouped = 0x20;

}  // namespace

std::string latin1_to_utf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        append_utf8(&out, static_cast<unsigned char>(c));
    }
    return out;
}

std::string id3v2_frame_text(const unsigned char* data, std::size_t size) {
    if (size == 0) {
        return {};
    }
    const unsigned char encoding = data[0];
    const Span span = string_span(data + 1, size - 1, is_wide(encoding));
    return decode(encoding, data + 1, span.end);
}

bool id3v2_comment_text(const unsigned char* data, std::size_t size, std::string* description,
                        std::string* text) {
    if (size < 4) {
        return false;
    }
    const unsigned char encoding = data[0];
    const unsigned char* rest = data + 4;
    const std::size_t left = size - 4;
    const Span first = string_span(rest, left, is_wide(encoding));
    *description = decode(encoding, rest, first.end);
    const Span second = string_span(rest + first.next, left - first.next, is_wide(encoding));
    *text = decode(encoding, rest + first.next, second.end);
    return true;
}

Id3v2Texts id3v2_texts(const unsigned char* body, std::size_t length, int version,
                       bool extendedHeader) {
    Id3v2Texts texts;
    std::size_t start = 0;
    if (extendedHeader) {
        Id3v2ExtendedHeader extended;
        if (!id3v2_read_extended_header(&extended, body, length, version) ||
            extended.size > length) {
            return texts;
        }
        start = static_cast<std::size_t>(extended.size);
    }
    bool describedComment = false;
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body, length, start, id3v2_frame_layout(version));
    for (;;) {
        Id3v2Frame frame;
        if (id3v2_next_frame(&walk, &frame) != Id3v2Step::Frame) {
            return texts;
        }
        std::string id(reinterpret_cast<const char*>(frame.id), frame.idLength);
        if (frame.idLength == 3) {
            const char* mapped = v23_id(id);
            if (mapped == nullptr) {
                continue;
            }
            id = mapped;
        }
        if (id[0] != 'T' && id != "COMM") {
            continue;
        }
        const unsigned char* data = frame.data;
        std::size_t size = frame.size;
        std::vector<unsigned char> undone;
        if (version == 4) {
            if ((frame.formatFlags & kV24Hidden) != 0) {
                continue;
            }
            if ((frame.formatFlags & kV24DataLength) != 0) {
                if (size < 4) {
                    continue;
                }
                data += 4;
                size -= 4;
            }
            if ((frame.formatFlags & kV24Unsynchronised) != 0) {
                undone = id3v2_remove_unsynchronisation(data, size);
                data = undone.data();
                size = undone.size();
            }
        } else if (version == 3) {
            if ((frame.formatFlags & kV23Hidden) != 0) {
                continue;
            }
            if ((frame.formatFlags & kV23Grouped) != 0) {
                if (size < 1) {
                    continue;
                }
                data += 1;
                size -= 1;
            }
        }
        if (id == "COMM") {
            std::string description;
            std::string text;
            if (!id3v2_comment_text(data, size, &description, &text)) {
                continue;
            }
            // The first with an empty description wins over any before it.
            if (texts.count(id) == 0 || (describedComment && description.empty())) {
                texts[id] = text;
                describedComment = !description.empty();
            }
            continue;
        }
        if (texts.count(id) == 0) {
            texts[id] = id3v2_frame_text(data, size);
        }
    }
}

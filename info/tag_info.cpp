#include "info/tag_info.h"

#include <id3/misc_support.h>
#include <id3/tag.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <vector>

#include "info/mpeg_info.h"
#include "info/tag_text.h"
#include "mpeg/id3v2_walk.h"

namespace {

// Spelled as the page has always shown them, odd spellings included.
// clang-format off
constexpr const char* kGenreNames[GENRE_COUNT] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip Hop", "Vocal", "Jazz Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "Alternative Rock", "Bass", "Soul",
    "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "ShowTunes", "Trailer",
    "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll",
    "Hard Rock", "Folk", "Folk Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin",
    "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening",
    "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",
    "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhytmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "A Capella", "Euro House", "Dance Hall", "Goa", "Drum & Bass", "Club House",
    "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "Merengue", "Salsa", "Trash Metal", "Anime", "JPop", "SynthPop"
};
// clang-format on

struct Id3StringFree {
    void operator()(char* s) const noexcept { ID3_FreeString(s); }
};
using Id3String = std::unique_ptr<char, Id3StringFree>;

// The getters hand over a new string or none; a missing frame reads as "".
std::string take(char* raw) {
    Id3String owned(raw);
    return owned ? std::string(owned.get()) : std::string();
}

// "(n)" at the start, anything after it; the number must stay below 256. id3lib's own
// ID3_GetGenreNum accepts "()" as 0 and wraps long numbers, hence this.
int genre_number(const std::string& text) {
    if (text.size() < 3 || text[0] != '(') {
        return GENRE_NONE;
    }
    std::size_t pos = 1;
    int number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (number < 256) {  // stays above the limit once there, without overflowing
            number = number * 10 + (text[pos] - '0');
        }
        ++pos;
    }
    if (pos == 1 || pos >= text.size() || text[pos] != ')' || number >= 256) {
        return GENRE_NONE;
    }
    return number;
}

// Guard against id3lib crashing. The installed id3lib frees a wild pointer on any ID3v2.3
// frame with the compression flag (valid zlib data or not), and a tag that claims more bytes
// than the file holds makes it read audio bytes as frames, which hits the same flaw. So before
// id3lib sees a file, the ID3v2 tags at its start (id3lib reads stacked ones too) are walked
// the way id3lib walks them; a compressed frame or anything irregular keeps id3lib away from
// the ID3v2 tags, and only the tags at the end of the file are read.

constexpr unsigned char kCompressedV23 = 0x80;  // second frame-flag byte
constexpr unsigned char kCompressedV24 = 0x08;

// id3lib reads an extended header by its version's fixed layout whatever its size field says:
// only the sizes that layout allows are safe (2.3: 6 or 10 bytes after the size field; 2.4: at
// least 6 bytes, the size counting itself). Sets *start to the first frame's offset.
bool extended_header_is_safe(const std::vector<unsigned char>& body, unsigned char version,
                             std::size_t* start) {
    Id3v2ExtendedHeader extended;
    if (!id3v2_read_extended_header(&extended, body.data(), body.size(), version)) {
        return false;
    }
    const bool fits = (version == 3 && (extended.field == 6 || extended.field == 10) &&
                       extended.field <= body.size() - 4) ||
                      (version == 4 && extended.sizeIsSyncsafe && extended.size >= 6 &&
                       extended.size <= body.size());
    if (!fits) {
        return false;
    }
    *start = static_cast<std::size_t>(extended.size);
    return true;
}

// id3lib takes every frame size as a plain 32-bit number, ID3v2.4's too, and stops at a zero
// byte where a frame should start or when fewer than 10 bytes are left.
bool frames_are_safe(const std::vector<unsigned char>& body, bool extended_header,
                     unsigned char compressed, unsigned char version) {
    std::size_t start = 0;
    if (extended_header && !extended_header_is_safe(body, version, &start)) {
        return false;
    }
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body.data(), body.size(), start, {ID3V2_HEADER_SIZE, false});
    for (;;) {
        Id3v2Frame frame;
        const Id3v2Step step = id3v2_next_frame(&walk, &frame);
        if (step == Id3v2Step::End || step == Id3v2Step::Padding) {
            return true;
        }
        if (step == Id3v2Step::Oversized || !id3v2_frame_id_is_valid(frame) ||
            (frame.formatFlags & compressed) != 0) {
            return false;
        }
    }
}

struct FileClose {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }  // read-only: nothing lost
};

enum class LeadingTags { Safe, Unsafe, Unreadable };

// texts: the first tag's frame texts, in their own encodings.
LeadingTags check_leading_tags(const char* path, Id3v2Texts* texts) {
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path, "rb"));
    if (!file) {
        return LeadingTags::Unreadable;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return LeadingTags::Unsafe;
    }
    const long end = std::ftell(file.get());
    if (end < 0) {
        return LeadingTags::Unsafe;
    }
    const auto file_size = static_cast<std::uint64_t>(end);
    std::uint64_t pos = 0;
    for (;;) {
        unsigned char bytes[ID3V2_HEADER_SIZE];
        if (std::fseek(file.get(), static_cast<long>(pos), SEEK_SET) != 0) {
            return LeadingTags::Unsafe;
        }
        Id3v2Header header;
        if (std::fread(bytes, 1, sizeof bytes, file.get()) != sizeof bytes ||
            !id3v2_read_header(&header, bytes, sizeof bytes)) {
            return LeadingTags::Safe;
        }
        if (!header.sizeIsSyncsafe) {
            return LeadingTags::Unsafe;
        }
        const std::uint32_t size = header.size;
        if (pos + ID3V2_HEADER_SIZE + size > file_size) {
            return LeadingTags::Unsafe;
        }
        std::vector<unsigned char> body(size);
        if (std::fread(body.data(), 1, size, file.get()) != size) {
            return LeadingTags::Unsafe;
        }
        const bool extended = (header.flags & ID3V2_FLAG_EXTENDED_HEADER) != 0;
        if (pos == 0) {
            // ID3v2.4 marks unsynchronisation on each frame as well, with frame sizes that
            // count the stored bytes: its frames are undone one by one.
            if ((header.flags & ID3V2_FLAG_UNSYNCHRONISED) != 0 && header.version != 4) {
                const std::vector<unsigned char> plain =
                    id3v2_remove_unsynchronisation(body.data(), body.size());
                *texts = id3v2_texts(plain.data(), plain.size(), header.version, extended);
            } else {
                *texts = id3v2_texts(body.data(), body.size(), header.version, extended);
            }
        }
        // ID3v2.2 frames carry no flags, so no compressed frame can reach id3lib from them.
        if (header.version != 2) {
            // Other versions are walked with both flag layouts, as id3lib's handling of them
            // is not known.
            const unsigned char compressed =
                header.version == 3 ? kCompressedV23 : (kCompressedV23 | kCompressedV24);
            if (!frames_are_safe(body, extended, compressed, header.version)) {
                return LeadingTags::Unsafe;
            }
            // Safe whether or not id3lib undoes the unsynchronisation before its walk.
            if ((header.flags & ID3V2_FLAG_UNSYNCHRONISED) != 0 &&
                !frames_are_safe(id3v2_remove_unsynchronisation(body.data(), body.size()), extended,
                                 compressed, header.version)) {
                return LeadingTags::Unsafe;
            }
        }
        pos += ID3V2_HEADER_SIZE + size;
    }
}

}  // namespace

const char* genre_name(int n) {
    if (n < 0 || n >= GENRE_COUNT) {
        return "";
    }
    return kGenreNames[n];
}

TagInfo read_tag_info(const char* path) {
    if (path == nullptr) {
        return TagInfo{};
    }
    try {
        Id3v2Texts texts;
        const LeadingTags leading = check_leading_tags(path, &texts);
        if (leading == LeadingTags::Unreadable) {
            return TagInfo{};
        }
        const flags_t appended =
            static_cast<flags_t>(ID3TT_ID3V1 | ID3TT_LYRICS3 | ID3TT_LYRICS3V2);
        const flags_t types =
            leading == LeadingTags::Safe ? static_cast<flags_t>(appended | ID3TT_ID3V2) : appended;
        if (leading != LeadingTags::Safe) {
            texts.clear();
        }
        ID3_Tag tag;
        tag.Link(path, types);

        // id3lib chooses the frames; their texts come from the tag's own bytes where the
        // ID3v2 tag holds the frame, since id3lib narrows UTF-16 to single bytes. What only
        // id3lib has (ID3v1, Lyrics3) is ISO-8859-1.
        auto text = [&texts](char* fromId3lib, std::initializer_list<const char*> ids) {
            for (const char* id : ids) {
                const auto found = texts.find(id);
                if (found != texts.end()) {
                    Id3String owned(fromId3lib);
                    return found->second;
                }
            }
            return latin1_to_utf8(take(fromId3lib));
        };
        TagInfo info;
        info.title = text(ID3_GetTitle(&tag), {"TIT2"});
        // TPE1, TPE2, TPE3, TCOM by frame presence
        info.artist = text(ID3_GetArtist(&tag), {"TPE1", "TPE2", "TPE3", "TCOM"});
        info.album = text(ID3_GetAlbum(&tag), {"TALB"});
        // atoi-like; stored as a 32-bit value, so "-3" reads back as -3.
        info.track = static_cast<std::int32_t>(static_cast<std::uint32_t>(ID3_GetTrackNum(&tag)));
        info.year = text(ID3_GetYear(&tag), {"TYER", "TDRC"});
        const std::string genre = text(ID3_GetGenre(&tag), {"TCON"});
        info.genre = genre_number(genre);
        // With no description asked for, id3lib prefers a COMM frame with an empty
        // description over an earlier described one; the walk chooses alike.
        info.comment = text(ID3_GetComment(&tag), {"COMM"});
        info.genreName = genre_name(info.genre);
        // A name in place of a number ("Rock", as ID3v2.4 and many taggers write it) is shown
        // as it is; a malformed reference ("(17", "()") is not a name.
        if (info.genre == GENRE_NONE && !genre.empty() && genre.front() != '(' &&
            genre.front() != ' ') {
            info.genreName = genre;
        }
        return info;
    } catch (...) {
        return TagInfo{};
    }
}

InfoFields info_fields_for(const std::string& path, bool exactLength) {
    InfoFields fields;
    fields.tag = read_tag_info(path.c_str());
    MpegInfo info = {};
    (void)read_first_frame(&info, path.c_str());  // a failed read still shows the record
    const std::vector<std::string> lines = format_mpeg_info_lines(info);
    for (std::size_t i = 0; i < fields.headerLines.size() && i < lines.size(); ++i) {
        fields.headerLines[i] = lines[i];
    }
    EncoderGap gap{};
    if (!read_encoder_gap(&gap, path.c_str())) {
        gap = {};
    }
    const MpegInfo scanned = mpeg_info_scan(path.c_str(), exactLength);
    if (scanned.durationMs > 0) {
        fields.gapLine = format_length_line(gap, scanned.durationMs);
    }
    return fields;
}

InfoFields cleared_info_fields() {
    InfoFields fields;
    fields.prompt = INFO_PROMPT;
    return fields;
}

#include "info/tag_info.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using namespace std::string_literals;
using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// ID3v2.3 frame written out by hand: id, 32-bit big-endian size, two flag bytes, body.
Bytes frame(const std::string& id, const std::string& body, unsigned char flags2 = 0) {
    const std::size_t n = body.size();
    Bytes out = bytes_of(id);
    out.insert(out.end(),
               {static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
                static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n), 0, flags2});
    return out + bytes_of(body);
}

// Encoding byte 0 (ISO-8859-1), then the text.
Bytes text_frame(const std::string& id, const std::string& text) {
    return frame(id, "\0"s + text);
}

Bytes comm_frame(const std::string& description, const std::string& text) {
    return frame("COMM", "\0eng"s + description + "\0"s + text);
}

// "ID3", version 3.0, flags, then the body size as four 7-bit groups.
Bytes id3v2(const std::vector<Bytes>& frames, unsigned char flags = 0, std::size_t extra_size = 0) {
    Bytes body;
    for (const Bytes& f : frames) {
        body = body + f;
    }
    const std::size_t n = body.size() + extra_size;
    Bytes out = {'I',
                 'D',
                 '3',
                 3,
                 0,
                 flags,
                 static_cast<unsigned char>((n >> 21) & 0x7F),
                 static_cast<unsigned char>((n >> 14) & 0x7F),
                 static_cast<unsigned char>((n >> 7) & 0x7F),
                 static_cast<unsigned char>(n & 0x7F)};
    return out + body;
}

std::string padded(const std::string& s, std::size_t n) {
    return s + std::string(n - s.size(), '\0');
}

// ID3v1.1: "TAG", title, artist, album (30 each), year (4), comment (28), 0, track, genre.
Bytes id3v1(const std::string& title, const std::string& comment, int track, int genre) {
    return bytes_of("TAG" + padded(title, 30) + padded("V1 Artist", 30) + padded("V1 Album", 30) +
                    "2001" + padded(comment, 28) + "\0"s) +
           Bytes{static_cast<unsigned char>(track), static_cast<unsigned char>(genre)};
}

void expect_empty(const TagInfo& tag, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(tag.title, "");
    EXPECT_EQ(tag.artist, "");
    EXPECT_EQ(tag.album, "");
    EXPECT_EQ(tag.year, "");
    EXPECT_EQ(tag.comment, "");
    EXPECT_EQ(tag.track, 0);
    EXPECT_EQ(tag.genre, GENRE_NONE);
    EXPECT_EQ(tag.genreName, "");
}

class TagFiles : public ::testing::Test {
protected:
    // The tags around the untagged fixture's audio.
    TagInfo read(const Bytes& front, const Bytes& back = {}) {
        const std::string path = dir.file("t" + std::to_string(++count) + ".mp3");
        write_file_bytes(path, front + audio + back);
        return read_tag_info(path.c_str());
    }
    TagInfo read_text(const std::string& id, const std::string& text) {
        return read(id3v2({text_frame(id, text)}));
    }

    TempDir dir;
    Bytes audio = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    int count = 0;
};

TEST(GenreNames, KeepTheirSpellingsAndEndAt147) {
    EXPECT_STREQ(genre_name(0), "Blues");
    EXPECT_STREQ(genre_name(17), "Rock");
    EXPECT_STREQ(genre_name(52), "Electronic");
    EXPECT_STREQ(genre_name(67), "Psychadelic");
    EXPECT_STREQ(genre_name(118), "Rhytmic Soul");
    EXPECT_STREQ(genre_name(133), "Negerpunk");
    EXPECT_STREQ(genre_name(144), "Trash Metal");
    EXPECT_STREQ(genre_name(147), "SynthPop");
    EXPECT_STREQ(genre_name(148), "");
    EXPECT_STREQ(genre_name(GENRE_NONE), "");
    EXPECT_STREQ(genre_name(-1), "");
    // A dropped or doubled entry would shift the names or leave a hole.
    std::set<std::string> names;
    for (int n = 0; n < GENRE_COUNT; ++n) {
        EXPECT_STRNE(genre_name(n), "") << n;
        names.insert(genre_name(n));
    }
    EXPECT_EQ(names.size(), 148u);
}

TEST(ReadTagInfo, TaggedFixtureShowsItsId3v2Fields) {
    const TagInfo tag = read_tag_info(fixture_path("tagged.mp3").c_str());
    EXPECT_EQ(tag.title, "Seven Bridges");
    EXPECT_EQ(tag.artist, "Anna Example");  // the first of TPE1's two strings
    EXPECT_EQ(tag.album, "Fixture Album");
    EXPECT_EQ(tag.year, "1999");
    EXPECT_EQ(tag.track, 7);  // "07/12"
    EXPECT_EQ(tag.genre, 17);
    EXPECT_EQ(tag.genreName, "Rock");
    // The undescribed COMM, although the described one comes first in the tag.
    EXPECT_EQ(tag.comment,
              "This comment is exactly one hundred characters long so that it has to be wrapped "
              "onto a second line.");
}

TEST(ReadTagInfo, ShortAndDemoFixtures) {
    const TagInfo small = read_tag_info(fixture_path("short.mp3").c_str());
    EXPECT_EQ(small.title, "Short");
    EXPECT_EQ(small.artist, "Tiny Band");
    EXPECT_EQ(small.album, "");
    EXPECT_EQ(small.comment, "");
    EXPECT_EQ(small.track, 0);
    EXPECT_EQ(small.genre, GENRE_NONE);

    const TagInfo demo = read_tag_info(fixture_path("../../samples/demo.mp3").c_str());
    EXPECT_EQ(demo.title, "Pelmora Demo");
    EXPECT_EQ(demo.artist, "The Pelmora Developers");
    EXPECT_EQ(demo.year, "2026");
    EXPECT_EQ(demo.track, 1);
    EXPECT_EQ(demo.comment, "Synthesized for Pelmora's first run.");
    EXPECT_EQ(demo.genre, GENRE_NONE);        // "Electronic" as text carries no number
    EXPECT_EQ(demo.genreName, "Electronic");  // but it is a name, and shown as one
}

TEST(ReadTagInfo, UntaggedMissingOrEmptyFilesGiveEmptyFields) {
    expect_empty(read_tag_info(fixture_path("stereo_44k_128.mp3").c_str()), "untagged");
    expect_empty(read_tag_info(fixture_path("empty.mp3").c_str()), "empty file");
    expect_empty(read_tag_info(fixture_path("garbage.mp3").c_str()), "garbage");
    expect_empty(read_tag_info(fixture_path("no_such_file.mp3").c_str()), "missing");
    expect_empty(read_tag_info(fixture_path("").c_str()), "folder");
    expect_empty(read_tag_info(nullptr), "null path");
}

TEST_F(TagFiles, ArtistFallsBackFromTpe1ToTpe2ToTpe3ToTcom) {
    EXPECT_EQ(read(id3v2({text_frame("TPE2", "Band")})).artist, "Band");
    EXPECT_EQ(read(id3v2({text_frame("TCOM", "Composer")})).artist, "Composer");
    // The order is by frame kind, not by position in the tag.
    EXPECT_EQ(read(id3v2({text_frame("TPE2", "Band"), text_frame("TPE1", "Lead")})).artist, "Lead");
    EXPECT_EQ(read(id3v2({text_frame("TCOM", "Composer"), text_frame("TPE3", "Conductor")})).artist,
              "Conductor");
    EXPECT_EQ(read(id3v2({text_frame("TCOM", "Composer"), text_frame("TPE2", "Band")})).artist,
              "Band");
}

TEST_F(TagFiles, GenreNumberNeedsParenthesisedDigitsBelow256) {
    struct Case {
        const char* text;
        int genre;
        const char* name;
    };
    const Case cases[] = {
        {"(17)", 17, "Rock"},
        {"(17)Rock", 17, "Rock"},
        {"Rock", GENRE_NONE, "Rock"},  // a name instead of a number is shown as it is
        {"(147)", 147, "SynthPop"},
        {"(148)", 148, ""},
        {"(200)", 200, ""},
        {"(0017)", 17, "Rock"},
        {"(255)", 255, ""},
        {"(256)", GENRE_NONE, ""},
        {"(4294967313)", GENRE_NONE, ""},  // 2^32 + 17: must not wrap round to 17
        {"()", GENRE_NONE, ""},
        {"()Rock", GENRE_NONE, ""},
        {"(17", GENRE_NONE, ""},
        {"17", GENRE_NONE, "17"},
        {" (17)", GENRE_NONE, ""},
        {"(-1)", GENRE_NONE, ""},
    };
    for (const Case& c : cases) {
        const TagInfo tag = read_text("TCON", c.text);
        EXPECT_EQ(tag.genre, c.genre) << c.text;
        EXPECT_EQ(tag.genreName, c.name) << c.text;
    }
}

// The expected texts are the characters the bytes were written from, by hand: é is U+00E9
// (Latin-1 E9, UTF-8 C3 A9), ß U+00DF, ï U+00EF, 東 U+6771 (UTF-8 E6 9D B1), 京 U+4EAC
// (UTF-8 E4 BA AC), and 𝄞 U+1D11E, the surrogate pair D834 DD1E.
TEST_F(TagFiles, EveryTextEncodingReadsAsUtf8) {
    const std::string cafe = "Caf\xC3\xA9 Na\xC3\xAFve";
    const std::string tokyo = "\xE6\x9D\xB1\xE4\xBA\xAC";
    // ISO-8859-1: one byte per character.
    EXPECT_EQ(read_text("TIT2", "Caf\xE9 Na\xEFve").title, cafe);
    // UTF-16 with a little-endian mark, as lame --id3v2-utf16 writes it.
    const std::string le = "\x01\xFF\xFE"s + "C\0a\0f\0\xE9\0 \0N\0a\0\xEF\0v\0e\0"s;
    const std::string beTokyo = "\x01\xFE\xFF\x67\x71\x4E\xAC"s;  // a big-endian mark
    const std::string noMark = "\x01G\0r\0o\0\xDF\0e\0s\0"s;      // none: little-endian
    const std::string utf16be = "\x02\x00\x41\xD8\x34\xDD\x1E"s;  // "A𝄞", ID3v2.4 style
    const std::string utf8 = "\x03"s + tokyo;
    const TagInfo tag =
        read(id3v2({frame("TIT2", le), frame("TPE1", beTokyo), frame("TALB", noMark),
                    frame("TCON", utf8), frame("TYER", utf16be), comm_frame("", "Caf\xE9")}));
    EXPECT_EQ(tag.title, cafe);
    EXPECT_EQ(tag.artist, tokyo);
    EXPECT_EQ(tag.album,
              "Gro\xC3\x9F"
              "es");
    EXPECT_EQ(tag.genreName, tokyo);
    EXPECT_EQ(tag.year, "A\xF0\x9D\x84\x9E");
    EXPECT_EQ(tag.comment, "Caf\xC3\xA9");
    // A comment in UTF-16: description and text each end with two zero bytes.
    const std::string wideComment =
        "\x01"
        "eng\xFF\xFE\0\0\xFF\xFE\xDF\0"s;
    EXPECT_EQ(read(id3v2({frame("COMM", wideComment)})).comment, "\xC3\x9F");
    // Broken UTF-8 shows a replacement character (EF BF BD) per bad byte, not a crash.
    EXPECT_EQ(read_text("TIT2", "").title, "");
    EXPECT_EQ(read(id3v2({frame("TIT2",
                                "\x03"
                                "a\xFF"
                                "b"s)}))
                  .title,
              "a\xEF\xBF\xBD"
              "b");
    // ID3v1 is ISO-8859-1 too.
    EXPECT_EQ(read({}, id3v1("Caf\xE9", "", 1, 17)).title, "Caf\xC3\xA9");
}

TEST_F(TagFiles, TrackIsTheLeadingNumberAndZeroWhenMissing) {
    EXPECT_EQ(read_text("TRCK", "3/12").track, 3);
    EXPECT_EQ(read_text("TRCK", "12").track, 12);
    EXPECT_EQ(read_text("TRCK", "abc").track, 0);
    const TagInfo no_track = read_text("TIT2", "Only a title");
    EXPECT_EQ(no_track.title, "Only a title");
    EXPECT_EQ(no_track.track, 0);
}

TEST_F(TagFiles, CommentWithOnlyADescribedFrameIsShown) {
    EXPECT_EQ(read(id3v2({comm_frame("note", "described")})).comment, "described");
    EXPECT_EQ(read(id3v2({comm_frame("", "first"), comm_frame("", "second")})).comment, "first");
}

TEST_F(TagFiles, Id3v1OnlyFillsTheSameFields) {
    const TagInfo tag = read({}, id3v1("V1 Title", "V1 comment", 3, 52));
    EXPECT_EQ(tag.title, "V1 Title");
    EXPECT_EQ(tag.artist, "V1 Artist");
    EXPECT_EQ(tag.album, "V1 Album");
    EXPECT_EQ(tag.year, "2001");
    EXPECT_EQ(tag.comment, "V1 comment");
    EXPECT_EQ(tag.track, 3);
    EXPECT_EQ(tag.genre, 52);
    EXPECT_EQ(tag.genreName, "Electronic");
}

// The installed id3lib crashes on compressed ID3v2.3 frames and on tags longer than the
// file; such ID3v2 tags are left unread and the ID3v1 tag is shown instead.
TEST_F(TagFiles, Id3v2TagsId3libCannotReadSafelyLeaveTheId3v1Fields) {
    const Bytes v1 = id3v1("V1 Title", "", 0, 255);
    // Decompressed size, then data; id3lib fails on the flag alone, valid zlib data or not.
    const Bytes compressed = frame("TIT2", "\0\0\0\x0c"s + "not deflated", 0x80);
    EXPECT_EQ(read(id3v2({compressed, text_frame("TPE1", "Lead")}), v1).title, "V1 Title");
    EXPECT_EQ(read(id3v2({text_frame("TIT2", "V2 Title")}, 0, 100000), v1).title, "V1 Title");
    // A second tag right behind the first is read by id3lib too.
    EXPECT_EQ(read(id3v2({text_frame("TIT2", "V2 Title")}) + id3v2({compressed}), v1).title,
              "V1 Title");
    expect_empty(read(id3v2({compressed})), "compressed frame, no ID3v1 tag");
    // A frame id id3lib would not take for one makes the walk unsure where frames start.
    EXPECT_EQ(read(id3v2({text_frame("TIT2", "V2 Title"), text_frame("ti t", "x")}), v1).title,
              "V1 Title");

    // Regular tags with the less common header features are still read.
    EXPECT_EQ(read(id3v2({text_frame("TIT2", "Unsynchronised")}, 0x80), v1).title,
              "Unsynchronised");
    const Bytes extended_header = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(read(id3v2({extended_header, text_frame("TIT2", "Extended")}, 0x40), v1).title,
              "Extended");
    const TagInfo stacked =
        read(id3v2({text_frame("TIT2", "First")}) + id3v2({text_frame("TPE1", "Second")}), v1);
    EXPECT_EQ(stacked.title, "First");
    EXPECT_EQ(stacked.artist, "Second");
}

TEST(InfoFields, ClearedShowsThePromptAndNothingElse) {
    const InfoFields fields = cleared_info_fields();
    EXPECT_EQ(fields.prompt, "Select an MP3 file to see its information.");
    for (const std::string& line : fields.headerLines) {
        EXPECT_EQ(line, "");
    }
    expect_empty(fields.tag, "cleared");
}

TEST(InfoFields, FileWithoutTagStillShowsItsHeaderLines) {
    // First header FF FB 90 04: MPEG-1 layer III, bit-rate index 9 (128 kbit/s), sample-rate
    // index 0 (44100 Hz), mode 0 (stereo), copyright 0, original 1, emphasis 0, protection
    // bit 1 (no CRC).
    const InfoFields fields = info_fields_for(fixture_path("stereo_44k_128.mp3"));
    EXPECT_EQ(fields.prompt, "");
    EXPECT_EQ(fields.headerLines[0], "MPEG Type: MPEG 1  Layer 3");
    EXPECT_EQ(fields.headerLines[1], "Bitrate: 128kbps,   44100Hz  Stereo");
    EXPECT_EQ(fields.headerLines[2], "Copyright:  No        Original:  Yes");
    EXPECT_EQ(fields.headerLines[3], "CRC:  No               Emphasis:  None");
    expect_empty(fields.tag, "untagged");
    // 111 padded frames of 26.125 ms and 5 of 26.0625 ms: 3030.1875 ms; no LAME tag.
    EXPECT_EQ(fields.gapLine, "Length 0:03.030");

    // The Info frame's LAME tag: delay 576, padding 756 over 116 frames of 1152 samples. As
    // decoded, 111 padded frames of 26.125 ms and 6 of 26.0625 ms (3056 ms); exactly, 116 x
    // 1152 - 576 - 756 = 132300 samples, 3 s at 44100 Hz.
    EXPECT_EQ(info_fields_for(fixture_path("stereo_44k_128_info.mp3")).gapLine,
              "Delay 576  Padding 756  Length 0:03.056");
    EXPECT_EQ(info_fields_for(fixture_path("stereo_44k_128_info.mp3"), true).gapLine,
              "Delay 576  Padding 756  Length 0:03.000");

    const InfoFields missing = info_fields_for(fixture_path("no_such_file.mp3"));
    EXPECT_EQ(missing.prompt, "");
    EXPECT_EQ(missing.headerLines[0], "MPEG Type: MPEG 0  Layer 0");
    EXPECT_EQ(missing.headerLines[1], "Bitrate: 0kbps,   0Hz  Stereo");
    EXPECT_EQ(missing.headerLines[2], "Copyright:  No        Original:  No");
    EXPECT_EQ(missing.headerLines[3], "CRC:  No               Emphasis:  None");
    expect_empty(missing.tag, "missing");
    EXPECT_EQ(missing.gapLine, "");

    const InfoFields tagged = info_fields_for(fixture_path("tagged.mp3"));
    EXPECT_EQ(tagged.prompt, "");
    EXPECT_EQ(tagged.tag.title, "Seven Bridges");
    EXPECT_EQ(tagged.tag.genreName, "Rock");
}

}  // namespace

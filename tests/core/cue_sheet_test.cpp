#include "app/core/cue_sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

void put_u32(std::vector<unsigned char>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
    }
}

// A canonical header declaring data_size bytes of CD audio (or another rate), no samples
// after it: the sheet reads lengths from the header only.
std::vector<unsigned char> wav_header(std::uint32_t rate, std::uint32_t data_size) {
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F'};
    put_u32(b, 36 + data_size);
    for (char c : std::string("WAVEfmt ")) {
        b.push_back(static_cast<unsigned char>(c));
    }
    put_u32(b, 16);
    put_u32(b, 1 | 2u << 16);  // PCM, two channels
    put_u32(b, rate);
    put_u32(b, rate * 4);
    put_u32(b, 4 | 16u << 16);  // block align 4, 16 bits
    for (char c : std::string("data")) {
        b.push_back(static_cast<unsigned char>(c));
    }
    put_u32(b, data_size);
    return b;
}

TEST(CueSheet, TextsAreQuotedWithoutBreakingTheLine) {
    EXPECT_EQ(cue_quote("Say \"Hi\""), "\"Say 'Hi'\"");
    EXPECT_EQ(cue_quote("two\nlines\ttab"), "\"two lines tab\"");
    EXPECT_EQ(cue_quote("Caf\xC3\xA9"), "\"Caf\xC3\xA9\"");
    EXPECT_EQ(cue_sheet_text("Disc", "Band", {{"a.wav", "A", "", 1}, {"b.wav", "", "B", 1}}),
              "PERFORMER \"Band\"\nTITLE \"Disc\"\n"
              "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"A\"\n    INDEX 01 00:00:00\n"
              "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    PERFORMER \"B\"\n"
              "    INDEX 01 00:00:00\n");
}

TEST(CueSheet, WarnsPastAnEightyMinuteCdAndLeavesOutWhatIsNotCdAudio) {
    TempDir dir;
    // 40:00 each: 40 x 60 x 44100 frames of 4 bytes; together 80:00, past 79:57.
    const std::uint32_t forty_minutes = 40u * 60u * 44100u * 4u;
    write_file_bytes(dir.file("01.wav"), wav_header(44100, forty_minutes));
    write_file_bytes(dir.file("02.wav"), wav_header(44100, forty_minutes));
    write_file_bytes(dir.file("03.wav"), wav_header(48000, 4800));
    write_file_bytes(dir.file("04 \"quoted\".wav"), wav_header(44100, 4));
    const std::vector<std::string> warnings =
        write_cue_sheets({{"/nowhere/01.mp3", dir.file("01.wav")}});
    const std::string sheet = dir.file(dir.path().substr(dir.path().rfind('/') + 1) + ".cue");
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0], dir.file("03.wav") + ": not CD audio; left out of the cue sheet");
    EXPECT_NE(warnings[1].find("cannot be given in a cue sheet; left out"), std::string::npos);
    EXPECT_EQ(warnings[2], sheet + ": 80:00 of audio, longer than an 80-minute CD (79:57)");
    const std::vector<unsigned char> bytes = read_file_bytes(sheet);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "FILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
}

}  // namespace

#include "app/core/output_name.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputFileName, ReplacesExtensionsOfUpToThreeCharacters) {
    EXPECT_EQ(output_file_name("/music/song.mp3"), "song.wav");
    EXPECT_EQ(output_file_name("/music/a.b.mp3"), "a.b.wav");
    EXPECT_EQ(output_file_name("/music/x.flac"), "x.flac.wav");  // four characters stay
    EXPECT_EQ(output_file_name("/music/x.mp"), "x.wav");
    EXPECT_EQ(output_file_name("/music/noext"), "noext.wav");
    EXPECT_EQ(output_file_name("song.MP3"), "song.wav");
    // The dot rule looks at the name only, never at a dotted folder.
    EXPECT_EQ(output_file_name("/music.d/readme"), "readme.wav");
}

TEST(OutputFilePath, AlwaysAppendsOneSeparator) {
    EXPECT_EQ(output_file_path("/out", "/music/song.mp3"), "/out/song.wav");
    EXPECT_EQ(output_file_path("/", "/music/song.mp3"), "//song.wav");
    EXPECT_EQ(output_file_path("/out/", "song.mp3"), "/out//song.wav");
}

}  // namespace

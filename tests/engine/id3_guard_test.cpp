#include "engine/id3_guard.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// An ID3v2.3 tag with one frame; sizes written by hand (tag size syncsafe, frame size plain).
std::vector<unsigned char> tag_v23(unsigned char format_flags, std::vector<unsigned char> data,
                                   unsigned char tag_flags = 0) {
    std::vector<unsigned char> frame = {'T', 'I', 'T', '2'};
    auto size = static_cast<std::uint32_t>(data.size());
    frame.insert(
        frame.end(),
        {static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
         static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size), 0, format_flags});
    frame.insert(frame.end(), data.begin(), data.end());
    auto body = static_cast<std::uint32_t>(frame.size());
    std::vector<unsigned char> tag = {'I',
                                      'D',
                                      '3',
                                      3,
                                      0,
                                      tag_flags,
                                      static_cast<unsigned char>(body >> 21 & 0x7f),
                                      static_cast<unsigned char>(body >> 14 & 0x7f),
                                      static_cast<unsigned char>(body >> 7 & 0x7f),
                                      static_cast<unsigned char>(body & 0x7f)};
    tag.insert(tag.end(), frame.begin(), frame.end());
    return tag;
}

TEST(Id3Guard, RefusesCompressedFramesThatCannotHoldTheirDeclaredSize) {
    // 8 bytes of compressed data can inflate to at most 8 x 1032 + 1024 = 9280 bytes.
    std::vector<unsigned char> packed = {0, 0, 0x24, 0x40, 1, 2, 3, 4, 5, 6, 7, 8};  // 9280
    EXPECT_TRUE(id3v2_tag_is_safe(tag_v23(0x80, packed).data(), tag_v23(0x80, packed).size()));
    packed[3] = 0x41;  // 9281
    std::vector<unsigned char> tag = tag_v23(0x80, packed);
    EXPECT_FALSE(id3v2_tag_is_safe(tag.data(), tag.size()));
    // Without the compression flag the same bytes are plain text.
    tag = tag_v23(0x00, packed);
    EXPECT_TRUE(id3v2_tag_is_safe(tag.data(), tag.size()));
    // A 2 GiB claim (the fuzzer's find) hidden behind unsynchronisation: a zero byte after
    // every 0xFF of the body, the frame size still counting the original bytes.
    tag = tag_v23(0x80, {0x80, 0xff, 0x80, 0x80, 1, 2}, 0x80);
    std::vector<unsigned char> unsynchronised(tag.begin(), tag.begin() + 10);
    for (std::size_t i = 10; i < tag.size(); ++i) {
        unsynchronised.push_back(tag[i]);
        if (tag[i] == 0xff) {
            unsynchronised.push_back(0x00);
        }
    }
    unsynchronised[9] = static_cast<unsigned char>(unsynchronised.size() - 10);
    EXPECT_FALSE(id3v2_tag_is_safe(unsynchronised.data(), unsynchronised.size()));
}

TEST(Id3Guard, LeavesEverythingElseToTheLibrary) {
    for (const char* name : {"tagged.mp3", "big_tag.mp3", "short.mp3"}) {
        std::vector<unsigned char> bytes = read_file_bytes(fixture_path(name));
        EXPECT_TRUE(id3v2_tag_is_safe(bytes.data(), bytes.size())) << name;
    }
    const unsigned char not_a_tag[] = "TAG and more";
    EXPECT_TRUE(id3v2_tag_is_safe(not_a_tag, sizeof not_a_tag));
    std::vector<unsigned char> cut = tag_v23(0x80, {0x7f, 0xff, 0xff, 0xff, 1});
    cut.resize(14);  // the frame runs past the end: nothing to judge
    EXPECT_TRUE(id3v2_tag_is_safe(cut.data(), cut.size()));
}

}  // namespace

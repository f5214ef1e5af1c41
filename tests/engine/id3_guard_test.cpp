#include "engine/id3_guard.h"

#include <gtest/gtest.h>

#include <iterator>
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

// An ID3v2.4 tag whose frames are given whole; small sizes read the same syncsafe or plain.
std::vector<unsigned char> tag_v24(std::vector<unsigned char> body, unsigned char tag_flags = 0) {
    const unsigned char header[] = {
        'I', 'D', '3', 4, 0, tag_flags, 0, 0, 0, static_cast<unsigned char>(body.size())};
    body.insert(body.begin(), std::begin(header), std::end(header));
    return body;
}

TEST(Id3Guard, Version4DataLengthFollowsGroupAndEncryptionBytes) {
    // Frame flags 0x4d: grouping, compression, encryption, data length indicator. Data: group
    // byte, method byte, the syncsafe length, then 8 compressed bytes (at most 9280 out).
    auto frame = [](unsigned char low_length_byte) {
        return std::vector<unsigned char>{
            'T', 'I',  'T', '2', 0, 0, 0,    14,
            0,   0x4d, 7,   9,   0, 0, 0x48, low_length_byte,  // 72 * 128 + 64 = 9280
            1,   2,    3,   4,   5, 6, 7,    8};
    };
    std::vector<unsigned char> tag = tag_v24(frame(0x40));
    EXPECT_TRUE(id3v2_tag_is_safe(tag.data(), tag.size()));
    tag = tag_v24(frame(0x41));
    EXPECT_FALSE(id3v2_tag_is_safe(tag.data(), tag.size()));
    // Without the data length indicator the library cannot know the size up front.
    tag[19] = 0x4c;
    EXPECT_TRUE(id3v2_tag_is_safe(tag.data(), tag.size()));
}

TEST(Id3Guard, FramesAreFoundBehindTheExtendedHeader) {
    // 2.4 counts the extended header itself (6 bytes here); 2.3 counts what follows the size
    // field (6 bytes, 10 in all). Either way the oversized compressed frame behind it is found.
    // Compressed with a data length indicator: 2^14 = 16384 bytes claimed from one byte,
    // which can give at most 1032 + 1024.
    std::vector<unsigned char> frame = {'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0x09, 0, 1, 0, 0, 1};
    std::vector<unsigned char> body = {0, 0, 0, 6, 1, 0};
    body.insert(body.end(), frame.begin(), frame.end());
    std::vector<unsigned char> tag = tag_v24(body, 0x40);
    EXPECT_FALSE(id3v2_tag_is_safe(tag.data(), tag.size()));
    tag[5] = 0;  // no extended header: the frames look like garbage, nothing to judge
    EXPECT_TRUE(id3v2_tag_is_safe(tag.data(), tag.size()));

    std::vector<unsigned char> v23 = tag_v23(0x80, {0x7f, 0xff, 0xff, 0xff, 1}, 0x40);
    const std::vector<unsigned char> extended = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    v23.insert(v23.begin() + 10, extended.begin(), extended.end());
    v23[9] = static_cast<unsigned char>(v23.size() - 10);
    EXPECT_FALSE(id3v2_tag_is_safe(v23.data(), v23.size()));
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

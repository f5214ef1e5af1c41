#include "mpeg/id3v2_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mpeg/big_endian.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string id_of(const Id3v2Frame& frame) {
    return std::string(reinterpret_cast<const char*>(frame.id), frame.idLength);
}

TEST(Id3v2Numbers, SyncsafeIgnoresTopBitsAndPlainKeepsThem) {
    const unsigned char small[] = {0x00, 0x00, 0x02, 0x01};  // 2 * 128 + 1
    EXPECT_EQ(id3v2_syncsafe32(small), 257u);
    EXPECT_EQ(big_endian32(small), 0x201u);
    EXPECT_TRUE(id3v2_is_syncsafe(small));
    const unsigned char largest[] = {0x7f, 0x7f, 0x7f, 0x7f};  // 2^28 - 1
    EXPECT_EQ(id3v2_syncsafe32(largest), 268435455u);
    const unsigned char top_bits[] = {0x80, 0x00, 0x00, 0x81};
    EXPECT_EQ(id3v2_syncsafe32(top_bits), 1u);
    EXPECT_EQ(big_endian32(top_bits), 0x80000081u);
    EXPECT_FALSE(id3v2_is_syncsafe(top_bits));
}

TEST(Id3v2Header, ReadsVersionFlagsAndSyncsafeSize) {
    Bytes bytes = text("ID3") + Bytes{4, 1, 0xc0, 0x00, 0x00, 0x02, 0x01};
    Id3v2Header header = {};
    ASSERT_TRUE(id3v2_read_header(&header, bytes.data(), bytes.size()));
    EXPECT_EQ(header.version, 4);
    EXPECT_EQ(header.revision, 1);
    EXPECT_EQ(header.flags, ID3V2_FLAG_UNSYNCHRONISED | ID3V2_FLAG_EXTENDED_HEADER);
    EXPECT_EQ(header.size, 257u);
    EXPECT_TRUE(header.sizeIsSyncsafe);

    bytes[9] = 0x81;  // top bit set: size read without it, and reported
    ASSERT_TRUE(id3v2_read_header(&header, bytes.data(), bytes.size()));
    EXPECT_EQ(header.size, 257u);
    EXPECT_FALSE(header.sizeIsSyncsafe);

    EXPECT_FALSE(id3v2_read_header(&header, bytes.data(), 9));
    const Bytes lyrics = text("TAG") + Bytes(7, 0);
    EXPECT_FALSE(id3v2_read_header(&header, lyrics.data(), lyrics.size()));
}

TEST(Id3v2ExtendedHeader, Version3CountsAfterTheFieldVersion4CountsItselfSyncsafe) {
    Id3v2ExtendedHeader extended = {};
    const Bytes six = {0, 0, 0, 6};
    ASSERT_TRUE(id3v2_read_extended_header(&extended, six.data(), six.size(), 3));
    EXPECT_EQ(extended.field, 6u);
    EXPECT_EQ(extended.size, 10u);
    ASSERT_TRUE(id3v2_read_extended_header(&extended, six.data(), six.size(), 4));
    EXPECT_EQ(extended.size, 6u);

    const Bytes two_groups = {0, 0, 1, 0};  // 2.4: 1 * 128; 2.3: 256 + 4
    ASSERT_TRUE(id3v2_read_extended_header(&extended, two_groups.data(), 4, 4));
    EXPECT_EQ(extended.size, 128u);
    ASSERT_TRUE(id3v2_read_extended_header(&extended, two_groups.data(), 4, 3));
    EXPECT_EQ(extended.size, 260u);

    // The largest 2.3 field must not wrap round to a few bytes.
    const Bytes huge = {0xff, 0xff, 0xff, 0xff};
    ASSERT_TRUE(id3v2_read_extended_header(&extended, huge.data(), 4, 3));
    EXPECT_EQ(extended.size, 0x100000003u);
    EXPECT_FALSE(extended.sizeIsSyncsafe);

    EXPECT_FALSE(id3v2_read_extended_header(&extended, huge.data(), 3, 4));
}

TEST(Id3v2Unsynchronisation, DropsOnlyTheZeroAfterEachFF) {
    const Bytes stored = {0xff, 0x00, 0xe0, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00, 0x12, 0xff};
    const Bytes plain = {0xff, 0xe0, 0xff, 0x00, 0xff, 0xff, 0x12, 0xff};
    EXPECT_EQ(id3v2_remove_unsynchronisation(stored.data(), stored.size()), plain);
    const Bytes trailing = {0x01, 0xff, 0x00};
    EXPECT_EQ(id3v2_remove_unsynchronisation(trailing.data(), trailing.size()),
              (Bytes{0x01, 0xff}));
    EXPECT_TRUE(id3v2_remove_unsynchronisation(stored.data(), 0).empty());
}

TEST(Id3v2Frames, Version2HasShortHeadersWithoutFlags) {
    const Bytes body = text("TT2") + Bytes{0, 0, 5} + text("Hello") + text("TP1") + Bytes{0, 0, 3} +
                       text("Bob") + Bytes(8, 0);
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body.data(), body.size(), 0, id3v2_frame_layout(2));
    Id3v2Frame frame;
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(id_of(frame), "TT2");
    EXPECT_EQ(frame.size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.data), 5), "Hello");
    EXPECT_EQ(frame.formatFlags, 0);
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(id_of(frame), "TP1");
    EXPECT_EQ(frame.data, body.data() + 17);  // 6 + 5 + 6
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Padding);
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Padding);  // the walk stays put
}

TEST(Id3v2Frames, Version3SizesArePlainVersion4SizesSyncsafe) {
    // Size bytes 00 00 01 00: 256 plain, 128 syncsafe. The first frame's data holds, 128
    // bytes in, what a 2.4 reader takes for the next frame.
    const Bytes data =
        Bytes(128, 'x') + text("TXXX") + Bytes{0, 0, 0, 2, 0, 0} + text("ab") + Bytes(116, 0);
    const Bytes body = text("TIT2") + Bytes{0, 0, 1, 0, 0x20, 0x80} + data + text("TALB") +
                       Bytes{0, 0, 0, 1, 0, 0} + text("z");

    Id3v2FrameWalk walk;
    Id3v2Frame frame;
    id3v2_begin_frames(&walk, body.data(), body.size(), 0, id3v2_frame_layout(3));
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(frame.size, 256u);
    EXPECT_EQ(frame.statusFlags, 0x20);
    EXPECT_EQ(frame.formatFlags, 0x80);
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(id_of(frame), "TALB");
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::End);  // used up exactly

    id3v2_begin_frames(&walk, body.data(), body.size(), 0, id3v2_frame_layout(4));
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(frame.size, 128u);
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(id_of(frame), "TXXX");
    EXPECT_EQ(frame.size, 2u);
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Padding);

    // Starting after an extended header of 10 bytes skips straight to the second frame.
    const Bytes extended = Bytes{0, 0, 0, 6} + Bytes(6, 0) + body;
    id3v2_begin_frames(&walk, extended.data(), extended.size(), 10, id3v2_frame_layout(3));
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame);
    EXPECT_EQ(id_of(frame), "TIT2");
}

TEST(Id3v2Frames, TruncatedAndOversizedFramesStopTheWalk) {
    const Bytes whole = text("TIT2") + Bytes{0, 0, 0, 4, 0, 0} + text("abcd");
    Id3v2FrameWalk walk;
    Id3v2Frame frame;
    // One byte short of the declared data.
    id3v2_begin_frames(&walk, whole.data(), whole.size() - 1, 0, id3v2_frame_layout(3));
    ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Oversized);
    EXPECT_EQ(id_of(frame), "TIT2");
    EXPECT_EQ(frame.size, 4u);
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Oversized);
    // A header cut short, a start past the end, and a size near 4 GiB that must not wrap.
    id3v2_begin_frames(&walk, whole.data(), 9, 0, id3v2_frame_layout(3));
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::End);
    id3v2_begin_frames(&walk, whole.data(), whole.size(), 20, id3v2_frame_layout(3));
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::End);
    const Bytes huge = text("TIT2") + Bytes{0xff, 0xff, 0xff, 0xfc, 0, 0} + text("abcd");
    id3v2_begin_frames(&walk, huge.data(), huge.size(), 0, id3v2_frame_layout(3));
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Oversized);
    // In 2.2 the three size bytes alone decide.
    const Bytes short_header = text("TT2") + Bytes{0, 1, 0} + text("abc");
    id3v2_begin_frames(&walk, short_header.data(), short_header.size(), 0, id3v2_frame_layout(2));
    EXPECT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Oversized);
    EXPECT_EQ(frame.size, 256u);
}

TEST(Id3v2Frames, IdsAreCapitalsAndDigits) {
    for (const char* id : {"TIT2", "TT2", "APIC", "0000"}) {
        const Bytes body = text(id) + Bytes(10, 0);
        Id3v2FrameWalk walk;
        Id3v2Frame frame;
        id3v2_begin_frames(&walk, body.data(), body.size(), 0,
                           id3v2_frame_layout(body.size() == 13 ? 2 : 3));
        ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame) << id;
        EXPECT_TRUE(id3v2_frame_id_is_valid(frame)) << id;
    }
    for (const char* id : {"tit2", "TI T", "TIT\xff"}) {
        const Bytes body = text(id) + Bytes(10, 0);
        Id3v2FrameWalk walk;
        Id3v2Frame frame;
        id3v2_begin_frames(&walk, body.data(), body.size(), 0, id3v2_frame_layout(3));
        ASSERT_EQ(id3v2_next_frame(&walk, &frame), Id3v2Step::Frame) << id;
        EXPECT_FALSE(id3v2_frame_id_is_valid(frame)) << id;
    }
}

}  // namespace

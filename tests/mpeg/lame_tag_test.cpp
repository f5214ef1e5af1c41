// The LAME tag reader and the Xing parser under it, on a real encoder's header frame and on
// headers laid out by hand.
#include "mpeg/lame_tag.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mpeg/big_endian.h"
#include "mpeg/xing.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes* bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes->push_back(static_cast<unsigned char>(value >> shift));
    }
}

// A header with every field: word, flags 0xF, frames 0x01020304, bytes 0xA0B0C0D0, a seek
// table counting 0..99 and scale 77; 120 bytes, 960 bits.
Bytes full_header(const char* word) {
    Bytes bytes(word, word + 4);
    put32(&bytes, 0xF);
    put32(&bytes, 0x01020304);
    put32(&bytes, 0xA0B0C0D0);
    for (unsigned char i = 0; i < 100; ++i) {
        bytes.push_back(i);
    }
    put32(&bytes, 77);
    return bytes;
}

// The same bits, moved shift bits (1 to 7) later, with ones in front of them.
Bytes shifted(const Bytes& bytes, unsigned shift) {
    Bytes out(bytes.size() + 1, 0);
    out[0] = static_cast<unsigned char>(0xFF << (8 - shift));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[i] = static_cast<unsigned char>(out[i] | bytes[i] >> shift);
        out[i + 1] = static_cast<unsigned char>(bytes[i] << (8 - shift));
    }
    return out;
}

TEST(BigEndian, ReadsBitsFromAnyPositionMostSignificantFirst) {
    const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(big_endian32(bytes), 0x12345678u);
    EXPECT_EQ(big_endian24(bytes + 2), 0x56789Au);
    EXPECT_EQ(big_endian_bits(bytes, 4, 32), 0x23456789u);
    // Bits 7 to 38 of 0x123456789A: shifted right by one, low 32 bits.
    EXPECT_EQ(big_endian_bits(bytes, 7, 32), 0x1A2B3C4Du);
    EXPECT_EQ(big_endian_bits(bytes, 3, 1), 1u);  // 0x12 = 0001 0010
    EXPECT_EQ(big_endian_bits(bytes, 7, 1), 0u);
    EXPECT_EQ(big_endian_bits(bytes, 9, 7), 0x34u);
}

TEST(XingHeader, PlayerTakesXingOnlyAndTagReaderTakesInfoToo) {
    const Bytes info = full_header("Info");
    const std::size_t bits = info.size() * 8;
    XingInfo xing;
    EXPECT_EQ(parse_xing(&xing, info.data(), 0, bits, HEADER_FRAME_XING), HEADER_FRAME_NONE);
    EXPECT_EQ(xing.flags, 0u);
    EXPECT_EQ(xing.frames, 0u);
    ASSERT_EQ(parse_xing(&xing, info.data(), 0, bits, HEADER_FRAME_XING | HEADER_FRAME_INFO),
              HEADER_FRAME_INFO);
    EXPECT_EQ(xing.frames, 0x01020304u);

    const Bytes vbr = full_header("Xing");
    for (std::uint32_t accepted : {HEADER_FRAME_XING, HEADER_FRAME_XING | HEADER_FRAME_INFO}) {
        ASSERT_EQ(parse_xing(&xing, vbr.data(), 0, bits, accepted), HEADER_FRAME_XING);
        EXPECT_EQ(xing.kind, HEADER_FRAME_XING);
        EXPECT_EQ(xing.flags, 0xFu);
        EXPECT_EQ(xing.bytes, 0xA0B0C0D0u);
        EXPECT_EQ(xing.toc[0], 0);
        EXPECT_EQ(xing.toc[99], 99);
        EXPECT_EQ(xing.scale, 77u);
        EXPECT_EQ(xing.size_bits, 960u);
    }
    // Any other word, and a header frame the caller does not take at all.
    const Bytes other = full_header("Xinf");
    EXPECT_EQ(parse_xing(&xing, other.data(), 0, bits, HEADER_FRAME_XING | HEADER_FRAME_INFO),
              HEADER_FRAME_NONE);
    EXPECT_EQ(parse_xing(&xing, vbr.data(), 0, bits, HEADER_FRAME_INFO), HEADER_FRAME_NONE);
}

TEST(XingHeader, RefusesEveryCutAndSizesByTheFlags) {
    const Bytes vbr = full_header("Xing");
    XingInfo xing;
    // Copied to exactly the bytes that hold the bits, so that a read past them is caught
    // under AddressSanitizer.
    for (std::size_t bits = 0; bits < 960; ++bits) {
        Bytes cut(vbr.begin(), vbr.begin() + static_cast<long>((bits + 7) / 8));
        EXPECT_EQ(parse_xing(&xing, cut.data(), 0, bits, HEADER_FRAME_XING), HEADER_FRAME_NONE)
            << bits;
    }
    // Flags 0x5: frames and seek table only; 8 + 4 + 100 bytes.
    Bytes sparse(vbr.begin(), vbr.begin() + 4);
    put32(&sparse, 0x5);
    put32(&sparse, 116);
    sparse.insert(sparse.end(), 100, 0x42);
    ASSERT_EQ(parse_xing(&xing, sparse.data(), 0, sparse.size() * 8, HEADER_FRAME_XING),
              HEADER_FRAME_XING);
    EXPECT_EQ(xing.frames, 116u);
    EXPECT_EQ(xing.bytes, 0u);
    EXPECT_EQ(xing.toc[50], 0x42);
    EXPECT_EQ(xing.size_bits, 112u * 8);
}

TEST(XingHeader, ReadsAHeaderThatStartsInsideAByte) {
    // libmad's ancillary data of a frame with audio in it need not start on a byte boundary.
    const Bytes vbr = full_header("Xing");
    for (unsigned shift = 1; shift < 8; ++shift) {
        const Bytes moved = shifted(vbr, shift);
        XingInfo xing;
        ASSERT_EQ(parse_xing(&xing, moved.data(), shift, 960, HEADER_FRAME_XING), HEADER_FRAME_XING)
            << shift;
        EXPECT_EQ(xing.frames, 0x01020304u);
        EXPECT_EQ(xing.bytes, 0xA0B0C0D0u);
        EXPECT_EQ(xing.toc[37], 37);
        EXPECT_EQ(xing.scale, 77u);
        EXPECT_EQ(parse_xing(&xing, moved.data(), shift, 959, HEADER_FRAME_XING),
                  HEADER_FRAME_NONE);
    }
}

TEST(LameTag, ReadsDelayAndPaddingAndRefusesCutFrames) {
    // Frame 0 of stereo_44k_128_info.mp3: an Info frame of 417 bytes, delay 576, padding 756
    // and a frame count of 116 (README.md, read with the fixture script's own frame reader).
    std::vector<unsigned char> bytes = read_file_bytes(fixture_path("stereo_44k_128_info.mp3"));
    ASSERT_GE(bytes.size(), 417u);
    HeaderFrame frame;
    ASSERT_EQ(parse_header_frame(&frame, bytes.data(), 417), HEADER_FRAME_INFO);
    EXPECT_EQ(frame.frames, 116u);
    EXPECT_EQ(frame.has_lame, 1);
    EXPECT_EQ(frame.delay, 576u);
    EXPECT_EQ(frame.padding, 756u);
    EXPECT_EQ(frame.samples_per_frame, 1152u);
    EXPECT_EQ(frame.sample_rate, 44100u);
    // Every shorter cut either refuses the frame or leaves the LAME part out; none reads past.
    for (std::size_t length = 0; length < 417; ++length) {
        std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
        std::uint32_t kind = parse_header_frame(&frame, cut.data(), cut.size());
        if (kind != HEADER_FRAME_NONE && frame.has_lame != 0) {
            EXPECT_EQ(frame.delay, 576u) << length;
        }
    }
    // An audio frame is no header frame.
    EXPECT_EQ(parse_header_frame(&frame, bytes.data() + 417, bytes.size() - 417),
              HEADER_FRAME_NONE);
    EXPECT_EQ(frame.kind, HEADER_FRAME_NONE);
}

}  // namespace

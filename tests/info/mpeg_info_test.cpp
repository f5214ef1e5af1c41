#include "info/mpeg_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

// Header words written out bit by bit (sync 11 bits, version, layer, protection | bit-rate
// index, sample-rate index, padding, private | mode, extension, copyright, original, emphasis).
// MPEG-1 layer III, no CRC, 128 kbit/s (index 9), 44100 Hz: 144000 * 128 / 44100 = 417.96,
// so 417 bytes, 418 with padding; 417 * 8 / 128000 s = 26.0625 ms, 418 -> 26.125 ms.
constexpr std::uint32_t kMpeg1L3 = 0xFFFB9000;
constexpr std::uint32_t kMpeg1L3Padded = 0xFFFB9200;
// MPEG-1 layer III, 64 kbit/s (index 5), 44100 Hz: 144000 * 64 / 44100 = 208.98 -> 208 bytes,
// 208 * 8 / 64000 s = 26 ms.
constexpr std::uint32_t kMpeg1L3At64 = 0xFFFB5000;
// Same layer and rate, bit-rate index 0 (free format).
constexpr std::uint32_t kFreeFormat = 0xFFFB0000;
// MPEG-2 layer III (version bits 10), index 12, 22050 Hz: 72000 * 128 / 22050 = 417.96 -> 417.
constexpr std::uint32_t kMpeg2L3 = 0xFFF3C000;

void append_frame(Bytes* bytes, std::uint32_t header, std::size_t length) {
    std::size_t start = bytes->size();
    bytes->resize(start + length, 0);
    (*bytes)[start] = static_cast<unsigned char>(header >> 24);
    (*bytes)[start + 1] = static_cast<unsigned char>(header >> 16);
    (*bytes)[start + 2] = static_cast<unsigned char>(header >> 8);
    (*bytes)[start + 3] = static_cast<unsigned char>(header);
}

Bytes frames(std::uint32_t header, std::size_t length, int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) {
        append_frame(&bytes, header, length);
    }
    return bytes;
}

class MpegInfoTest : public ::testing::Test {
protected:
    std::string put(const Bytes& bytes) {
        std::string path = dir.file("f" + std::to_string(++files) + ".mp3");
        write_file_bytes(path, bytes);
        return path;
    }
    MpegInfo first(const Bytes& bytes, bool expected_result = true) {
        MpegInfo info;
        EXPECT_EQ(read_first_frame(&info, put(bytes).c_str()), expected_result);
        return info;
    }
    MpegInfo scan(const Bytes& bytes) {
        MpegInfo info;
        EXPECT_TRUE(scan_frames(&info, put(bytes).c_str()));
        return info;
    }
    TempDir dir;
    int files = 0;
};

const Lines kZeroLines = {"MPEG Type: MPEG 0  Layer 0", "Bitrate: 0kbps,   0Hz  Stereo",
                          "Copyright:  No        Original:  No",
                          "CRC:  No               Emphasis:  None"};

TEST_F(MpegInfoTest, NoHeaderLeavesZerosAndTheZeroLines) {
    MpegInfo info = first({});
    EXPECT_EQ(format_mpeg_info_lines(info), kZeroLines);
    info = scan({});
    EXPECT_EQ(info.durationMs, 0);
    EXPECT_EQ(info.frameCount, 0u);

    // Files that cannot be opened: false, and the record is still reset.
    info.sampleRate = 7;
    EXPECT_FALSE(read_first_frame(&info, dir.file("missing.mp3").c_str()));
    EXPECT_EQ(info.sampleRate, 0);
    info.durationMs = 7;
    EXPECT_FALSE(scan_frames(&info, dir.file("missing.mp3").c_str()));
    EXPECT_EQ(info.durationMs, 0);
    EXPECT_FALSE(scan_frames(&info, dir.path().c_str()));

    EXPECT_EQ(mpeg_info_scan("").frameCount, 0u);
    EXPECT_EQ(mpeg_info_scan(put(frames(kMpeg1L3, 417, 2)).c_str()).durationMs, 52);
}

TEST_F(MpegInfoTest, SyncSearchTries10001Positions) {
    Bytes at10000(10000, 0);
    append_frame(&at10000, kMpeg1L3, 417);
    MpegInfo info = first(at10000);
    EXPECT_EQ(info.frameCount, 1u);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.bitrate, 128);
    EXPECT_EQ(scan(at10000).durationMs, 26);

    Bytes at10001(10001, 0);
    append_frame(&at10001, kMpeg1L3, 417);
    info = first(at10001);
    EXPECT_EQ(format_mpeg_info_lines(info), kZeroLines);
    EXPECT_EQ(scan(at10001).frameCount, 0u);

    // Each later search has the same limit, counted from where the skip lands.
    Bytes gap = frames(kMpeg1L3, 417, 1);
    gap.resize(417 + 10000, 0);
    append_frame(&gap, kMpeg1L3, 417);
    EXPECT_EQ(scan(gap).frameCount, 2u);
    Bytes wider = frames(kMpeg1L3, 417, 1);
    wider.resize(417 + 10001, 0);
    append_frame(&wider, kMpeg1L3, 417);
    EXPECT_EQ(scan(wider).frameCount, 1u);
}

TEST_F(MpegInfoTest, FindSyncSkipsForwardAndStopsBehindTheHeader) {
    Bytes bytes(10001, 0);
    append_frame(&bytes, kMpeg1L3, 8);
    std::FILE* file = std::fopen(put(bytes).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::uint32_t header = 0;
    EXPECT_FALSE(find_sync(file, -5, &header));  // a negative skip moves nothing: 10,001 away

    ASSERT_EQ(std::fseek(file, 0, SEEK_SET), 0);
    ASSERT_TRUE(find_sync(file, 1, &header));  // from byte 1 the header is 10,000 steps away
    EXPECT_EQ(header, kMpeg1L3);
    EXPECT_EQ(std::ftell(file), 10005);
    EXPECT_FALSE(find_sync(file, 0, &header));  // four zero bytes left, then the end
    std::fclose(file);
}

TEST_F(MpegInfoTest, HeaderFieldsAndTheirLines) {
    // 0xFFFA904D: MPEG-1 layer III with CRC (protection bit 0), 128 kbit/s, 44100 Hz; last
    // byte 01 00 1 1 01 = joint stereo, copyright, original, emphasis 50/15.
    MpegInfo info = first(frames(0xFFFA904D, 417, 1));
    EXPECT_EQ(format_mpeg_info_lines(info),
              (Lines{"MPEG Type: MPEG 1  Layer 3", "Bitrate: 128kbps,   44100Hz  Joint Stereo",
                     "Copyright:  Yes        Original:  Yes",
                     "CRC:  Yes               Emphasis:  50/15 ms"}));
    // Last byte 10 00 0 0 11: dual channel, emphasis CCIT J.17; index 9 at 48000 Hz.
    info = first(frames(0xFFFB9483, 384, 1));
    EXPECT_EQ(format_mpeg_info_lines(info),
              (Lines{"MPEG Type: MPEG 1  Layer 3", "Bitrate: 128kbps,   48000Hz  Dual Channel",
                     "Copyright:  No        Original:  No",
                     "CRC:  No               Emphasis:  CCIT J.17"}));
    // Last byte 11 00 0 1 10: single channel, original only, reserved emphasis.
    info = first(frames(0xFFFB90C6, 417, 1));
    EXPECT_EQ(format_mpeg_info_lines(info)[1], "Bitrate: 128kbps,   44100Hz  Single Channel");
    EXPECT_EQ(format_mpeg_info_lines(info)[2], "Copyright:  No        Original:  Yes");
    EXPECT_EQ(format_mpeg_info_lines(info)[3], "CRC:  No               Emphasis:  Reserved");

    // Version, layer, bit-rate column and sample rate, read off the ISO tables by hand.
    struct Case {
        std::uint32_t header;
        const char* line1;
        std::int32_t bitrate;
        std::int32_t sample_rate;
    };
    const Case cases[] = {
        {0xFFFFC000, "MPEG Type: MPEG 1  Layer 1", 384, 44100},   // MPEG-1 I, index 12
        {0xFFFDC800, "MPEG Type: MPEG 1  Layer 2", 256, 32000},   // MPEG-1 II, index 12
        {0xFFFBE400, "MPEG Type: MPEG 1  Layer 3", 320, 48000},   // MPEG-1 III, index 14
        {0xFFF79000, "MPEG Type: MPEG 2  Layer 1", 144, 22050},   // lower rates I, index 9
        {0xFFF58800, "MPEG Type: MPEG 2  Layer 2", 64, 16000},    // lower rates II, index 8
        {0xFFF31400, "MPEG Type: MPEG 2  Layer 3", 8, 24000},     // lower rates III, index 1
        {0xFFE38400, "MPEG Type: MPEG 2.5  Layer 3", 64, 12000},  // MPEG-2.5 III, index 8
        {0xFFE30800, "MPEG Type: MPEG 2.5  Layer 3", 0, 8000},    // free format
        {0xFFF99000, "MPEG Type: MPEG 1  Layer 0", 0, 44100},     // layer bits 00: no lookup
        {0xFFFBF000, "MPEG Type: MPEG 1  Layer 3", 0, 44100},     // index 15 shows as 0
    };
    for (const Case& c : cases) {
        info = first(frames(c.header, 8, 1));
        Lines lines = format_mpeg_info_lines(info);
        EXPECT_EQ(lines[0], c.line1) << std::hex << c.header;
        EXPECT_EQ(info.bitrate, c.bitrate) << std::hex << c.header;
        EXPECT_EQ(info.sampleRate, c.sample_rate) << std::hex << c.header;
    }
}

TEST_F(MpegInfoTest, UnknownSampleRateInTheFirstHeaderEndsTheScan) {
    // Sample-rate index 3, CRC present, every other field set: only version, layer and CRC
    // are kept.
    Bytes bytes = frames(0xFFFA9CCF, 417, 3);
    MpegInfo info = first(bytes, false);
    EXPECT_EQ(info.frameCount, 0u);
    EXPECT_EQ(
        format_mpeg_info_lines(info),
        (Lines{"MPEG Type: MPEG 1  Layer 3", "Bitrate: 0kbps,   0Hz  Stereo",
               "Copyright:  No        Original:  No", "CRC:  Yes               Emphasis:  None"}));
    info = scan(bytes);
    EXPECT_EQ(info.frameCount, 0u);
    EXPECT_EQ(info.durationMs, 0);
    EXPECT_EQ(info.bitrate, 0);

    // Reserved version bits (01) give no sample rate either.
    EXPECT_EQ(format_mpeg_info_lines(first(frames(0xFFEB9000, 417, 1), false))[0],
              "MPEG Type: MPEG 0  Layer 3");

    // Later headers keep the first header's rate when theirs is unknown, and count.
    Bytes later = frames(kMpeg1L3, 417, 1);
    append_frame(&later, 0xFFFB9C00, 417);
    info = scan(later);
    EXPECT_EQ(info.frameCount, 2u);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.durationMs, 52);  // 2 x 26.0625
}

TEST_F(MpegInfoTest, PlayTimeComesFromFrameLengthsAndBitRates) {
    // Each file ends with the last frame: it counts although no sync follows.
    MpegInfo info = scan(frames(kMpeg1L3, 417, 10));
    EXPECT_EQ(info.frameCount, 10u);
    EXPECT_EQ(info.bitrate, 128);
    EXPECT_EQ(info.durationMs, 260);                                   // 10 x 26.0625 = 260.625
    EXPECT_EQ(scan(frames(kMpeg1L3Padded, 418, 10)).durationMs, 261);  // 10 x 26.125

    // A last frame cut short still counts with its full computed length.
    Bytes cut = frames(kMpeg1L3, 417, 9);
    append_frame(&cut, kMpeg1L3, 100);
    info = scan(cut);
    EXPECT_EQ(info.frameCount, 10u);
    EXPECT_EQ(info.durationMs, 260);

    // 128 + 128 + 64 = 320 kbit over 3 frames: 106 after unsigned division; 26.0625 + 26.0625
    // + 26 = 78.125 ms.
    Bytes mixed = frames(kMpeg1L3, 417, 2);
    append_frame(&mixed, kMpeg1L3At64, 208);
    info = scan(mixed);
    EXPECT_EQ(info.bitrate, 106);
    EXPECT_EQ(info.durationMs, 78);

    // MPEG-2 layer III: 20 x 417 x 8 / 128000 s = 521.25 ms (a 418-byte length would give 522).
    info = scan(frames(kMpeg2L3, 417, 20));
    EXPECT_EQ(info.frameCount, 20u);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.bitrate, 128);
    EXPECT_EQ(info.durationMs, 521);

    // MPEG-2 layer II uses the 144000 factor: 144000 * 64 / 22050 = 417.96 -> 417 bytes,
    // 10 x 417 x 8 / 64000 s = 521.25 ms.
    EXPECT_EQ(scan(frames(0xFFF58000, 417, 10)).durationMs, 521);

    // Layer I, 384 kbit/s, 44100 Hz: (12000 * 384 / 44100 + padding) x 4 = 420 bytes padded,
    // 416 without. 10 x 420 x 8 / 384000 + 416 x 8 / 384000 s = 87.5 + 8.667 ms = 96.17 ms.
    Bytes layer1 = frames(0xFFFFC200, 420, 10);
    append_frame(&layer1, 0xFFFFC000, 416);
    info = scan(layer1);
    EXPECT_EQ(info.frameCount, 11u);
    EXPECT_EQ(info.durationMs, 96);
}

TEST_F(MpegInfoTest, FreeFormatFramesCountButAddNoTime) {
    // A free-format frame's length is its padding alone, so the next search starts right
    // behind its header: the header at byte 4 is found, then the one after 30 zero bytes.
    Bytes bytes;
    append_frame(&bytes, kFreeFormat, 4);
    append_frame(&bytes, kFreeFormat, 34);
    append_frame(&bytes, kFreeFormat, 4);
    MpegInfo info = scan(bytes);
    EXPECT_EQ(info.frameCount, 3u);
    EXPECT_EQ(info.bitrate, 0);
    EXPECT_EQ(info.durationMs, 0);
    EXPECT_EQ(format_mpeg_info_lines(first(bytes))[1], "Bitrate: 0kbps,   44100Hz  Stereo");

    // Free-format frames count in the average without adding to the sum: (128 + 128) / 3 = 85.
    Bytes mixed = frames(kMpeg1L3, 417, 1);
    append_frame(&mixed, kFreeFormat, 4);
    append_frame(&mixed, kMpeg1L3, 417);
    info = scan(mixed);
    EXPECT_EQ(info.frameCount, 3u);
    EXPECT_EQ(info.bitrate, 85);
    EXPECT_EQ(info.durationMs, 52);  // 2 x 26.0625
}

// "ID3" v2.4, flags, syncsafe size 300 = 2 * 128 + 44 -> 00 00 02 2C.
Bytes id3v2_tag(unsigned char flags, const Bytes& body_start) {
    Bytes tag = {'I', 'D', '3', 4, 0, flags, 0, 0, 2, 44};
    Bytes body(300, 0);
    std::copy(body_start.begin(), body_start.end(), body.begin());
    tag.insert(tag.end(), body.begin(), body.end());
    if ((flags & 0x10) != 0) {
        Bytes footer = {'3', 'D', 'I', 4, 0, flags, 0, 0, 2, 44};
        tag.insert(tag.end(), footer.begin(), footer.end());
    }
    return tag;
}

TEST_F(MpegInfoTest, BothScansStartBehindALeadingId3v2Tag) {
    // JPEG-like tag data: FF E0, then a complete MPEG-2 layer III header word.
    const Bytes art = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xF3, 0xC0, 0x00};
    Bytes bytes = id3v2_tag(0, art);
    Bytes audio = frames(kMpeg1L3, 417, 2);
    bytes.insert(bytes.end(), audio.begin(), audio.end());

    MpegInfo info = first(bytes);
    EXPECT_EQ(info.version, 3);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.bitrate, 128);
    info = scan(bytes);
    EXPECT_EQ(info.version, 3);
    EXPECT_EQ(info.frameCount, 2u);
    EXPECT_EQ(info.durationMs, 52);

    // A size byte with its top bit set is no ID3v2 tag: the search starts at byte 0 and takes
    // the cover art's FF E0 for a header (version bits 00, layer bits 00).
    Bytes broken = bytes;
    broken[9] = 0x80 | 44;
    info = first(broken);
    EXPECT_EQ(format_mpeg_info_lines(info)[0], "MPEG Type: MPEG 2.5  Layer 0");
}

TEST_F(MpegInfoTest, TheSyncLimitCountsFromTheEndOfTheTagAndItsFooter) {
    Bytes plain = id3v2_tag(0, {});
    plain.resize(plain.size() + 10000, 0);
    append_frame(&plain, kMpeg1L3, 417);
    EXPECT_EQ(first(plain).frameCount, 1u);
    EXPECT_EQ(scan(plain).frameCount, 1u);

    // With the footer flag the 10 footer bytes belong to the tag; a search starting at the
    // footer would need 10,010 steps.
    Bytes footer = id3v2_tag(0x10, {});
    footer.resize(footer.size() + 10000, 0);
    append_frame(&footer, kMpeg1L3, 417);
    EXPECT_EQ(first(footer).frameCount, 1u);
    EXPECT_EQ(scan(footer).durationMs, 26);

    Bytes too_far = id3v2_tag(0x10, {});
    too_far.resize(too_far.size() + 10001, 0);
    append_frame(&too_far, kMpeg1L3, 417);
    EXPECT_EQ(first(too_far).frameCount, 0u);
}

}  // namespace

// Facts from tests/data/README.md: stereo_44k_128_info.mp3 starts with an Info frame of 417
// bytes (frame count 116, delay 576, padding 756), vbr_xing.mp3 with a Xing frame of 417 bytes
// at 128 kbit/s holding the same numbers, stereo_44k_128.mp3 with audio.
TEST(EncoderGap, ReadsTheHeaderFrameAndGivesTheExactPlayLength) {
    EncoderGap gap;
    ASSERT_TRUE(read_encoder_gap(&gap, fixture_path("stereo_44k_128_info.mp3").c_str()));
    EXPECT_EQ(gap.kind, 2u);  // Info
    EXPECT_EQ(gap.hasLame, 1);
    EXPECT_EQ(gap.delay, 576);
    EXPECT_EQ(gap.padding, 756);
    EXPECT_EQ(gap.frames, 116u);
    EXPECT_EQ(gap.headerMs, 26);  // 417 x 8 / 128 = 26.06 ms
    EXPECT_EQ(exact_sample_count(gap), 132300);
    EXPECT_EQ(format_encoder_gap_line(gap), "Delay 576  Padding 756  Exact 0:03.000");

    MpegInfo info{};
    ASSERT_TRUE(scan_frames_exact(&info, fixture_path("stereo_44k_128_info.mp3").c_str()));
    EXPECT_EQ(info.durationMs, 3000);
    EXPECT_EQ(mpeg_info_scan(fixture_path("vbr_xing.mp3").c_str(), true).durationMs, 3000);

    // No header frame: nothing to show, the play length as without the option.
    ASSERT_TRUE(read_encoder_gap(&gap, fixture_path("stereo_44k_128.mp3").c_str()));
    EXPECT_EQ(gap.kind, 0u);
    EXPECT_EQ(format_encoder_gap_line(gap), "");
    EXPECT_EQ(mpeg_info_scan(fixture_path("stereo_44k_128.mp3").c_str(), true).durationMs, 3030);
    // The tag sits behind an ID3v2 tag here; the gap is still found.
    ASSERT_TRUE(read_encoder_gap(&gap, fixture_path("exact/cbr128_44k_s_2s_id3lame.mp3").c_str()));
    EXPECT_EQ(gap.hasLame, 1);
    EXPECT_EQ(exact_sample_count(gap), 88200);  // the 2 s source (exact/manifest.txt)
    EXPECT_FALSE(read_encoder_gap(&gap, fixture_path("no_such_file.mp3").c_str()));
    EXPECT_EQ(exact_sample_count(gap), -1);
}

TEST(PlayTimeText, MinutesBelowAnHourThenHours) {
    EXPECT_EQ(play_time_text(0), "0:00.000");
    EXPECT_EQ(play_time_text(-5), "0:00.000");
    EXPECT_EQ(play_time_text(3'599'999), "59:59.999");
    EXPECT_EQ(play_time_text(3'600'000), "1:00:00.000");
    // 2 h and 78 ms, which the page once showed as "120:00.078".
    EXPECT_EQ(play_time_text(7'200'078), "2:00:00.078");
    EXPECT_EQ(format_length_line(EncoderGap{}, 7'200'078), "Length 2:00:00.078");
}

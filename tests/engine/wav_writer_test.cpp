#include "engine/wav_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/resampler.h"
#include "engine/output.h"
#include "engine/testing.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

std::int32_t open_output(const char* path) {
    OutputControl control;
    output_control_init(&control, OUTPUT_OPEN);
    control.path = path;
    return wav_command(&control);
}

// Returns the command's result; the accepted format is written back into *accepted.
std::int32_t configure(std::uint32_t channels, std::uint32_t speed, std::uint32_t precision,
                       OutputControl* accepted = nullptr) {
    OutputControl control;
    output_control_init(&control, OUTPUT_CONFIG);
    control.channels = channels;
    control.speed = speed;
    control.precision = precision;
    const std::int32_t r = wav_command(&control);
    if (accepted != nullptr) {
        *accepted = control;
    }
    return r;
}

// Rounding, so that the bytes are known without the dither sequence.
std::int32_t play(const std::vector<mad_fixed_t>& left, const std::vector<mad_fixed_t>* right,
                  ClipStats* stats) {
    OutputControl control;
    output_control_init(&control, OUTPUT_PLAY);
    control.nsamples = static_cast<std::uint32_t>(left.size());
    control.samples[0] = left.data();
    control.samples[1] = right != nullptr ? right->data() : nullptr;
    control.mode = Round;
    control.stats = stats;
    return wav_command(&control);
}

std::int32_t finish() {
    OutputControl control;
    output_control_init(&control, OUTPUT_FINISH);
    return wav_command(&control);
}

// At 16 bits, rounding adds 2^12 and shifts right by 13, so k * 2^13 becomes exactly k.
mad_fixed_t s16_sample(int k) {
    return static_cast<mad_fixed_t>(k * 8192);
}

TEST(OutputControlInit, ClearsFieldsAndPlayStartsWithDither) {
    OutputControl control;
    std::memset(&control, 0x5A, sizeof control);
    output_control_init(&control, OUTPUT_PLAY);
    EXPECT_EQ(control.command, OUTPUT_PLAY);
    EXPECT_EQ(control.nsamples, 0u);
    EXPECT_EQ(control.samples[0], nullptr);
    EXPECT_EQ(control.samples[1], nullptr);
    EXPECT_EQ(control.stats, nullptr);
    EXPECT_EQ(control.mode, Dither);

    std::memset(&control, 0x5A, sizeof control);
    output_control_init(&control, OUTPUT_OPEN);
    EXPECT_EQ(control.command, OUTPUT_OPEN);
    EXPECT_EQ(control.path, nullptr);

    EXPECT_EQ(find_output_module(nullptr), &wav_command);
}

TEST(WavWriter, RunWithoutAudioLeavesComplete44ByteFile) {
    TempDir dir;
    const std::string path = dir.file("empty.wav");
    ASSERT_EQ(open_output(path.c_str()), 0);
    ASSERT_EQ(finish(), 0) << output_error();

    // Written out by hand: 2 channels, 44100 Hz (0xAC44), byte rate 44100 * 4 = 176400
    // (0x02B110), block align 4, 16 bits, RIFF size 36, data size 0.
    const std::vector<unsigned char> expected = {
        'R', 'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
        ' ', 16,  0,   0,   0,  1, 0,   2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1,
        2,   0,   4,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    EXPECT_EQ(read_file_bytes(path), expected);

    const ParsedWav wav = parse_wav_file(path);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sample_rate, 44100u);
    EXPECT_EQ(wav.bits_per_sample, 16);
    EXPECT_EQ(wav.riff_size, 36u);
    EXPECT_EQ(wav.data_size, 0u);
}

TEST(WavWriter, OddEightBitMonoDataGetsPadByteCountedInRiffSizeOnly) {
    TempDir dir;
    const std::string path = dir.file("odd.wav");
    ClipStats stats = {};
    ASSERT_EQ(open_output(path.c_str()), 0);
    ASSERT_EQ(configure(1, 22050, 8), 0);
    // At 8 bits rounding adds 2^20 and shifts by 21; the byte is the value plus 128.
    const std::vector<mad_fixed_t> left = {0, 1 << 21, -(1 << 21)};
    ASSERT_EQ(play(left, nullptr, &stats), 0);
    ASSERT_EQ(finish(), 0) << output_error();

    const ParsedWav wav = parse_wav_file(path);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.file_size, 44u + 3u + 1u);
    EXPECT_EQ(wav.data_size, 3u);
    EXPECT_EQ(wav.riff_size, 36u + 3u + 1u);
    EXPECT_EQ(wav.block_align, 1);
    EXPECT_EQ(wav.byte_rate, 22050u);
    EXPECT_EQ(wav.data, (std::vector<unsigned char>{0x80, 0x81, 0x7F}));
    EXPECT_EQ(read_file_bytes(path).back(), 0);
}

TEST(WavWriter, PrecisionIsSettledAtFirstConfigAndNeverChanges) {
    TempDir dir;
    const std::string path32 = dir.file("p40.wav");
    OutputControl accepted;
    ASSERT_EQ(open_output(path32.c_str()), 0);
    ASSERT_EQ(configure(2, 48000, 40, &accepted), 0);
    EXPECT_EQ(accepted.precision, 32u);
    // A second format is refused: the first is reported back.
    ASSERT_EQ(configure(1, 22050, 8, &accepted), 0);
    EXPECT_EQ(accepted.channels, 2u);
    EXPECT_EQ(accepted.speed, 48000u);
    EXPECT_EQ(accepted.precision, 32u);
    // 32-bit words carry 24 quantized bits: rounding adds 2^4 and shifts by 5, so 3 * 2^5 is 3,
    // stored as 3 * 256.
    ClipStats stats = {};
    const std::vector<mad_fixed_t> left = {3 << 5};
    const std::vector<mad_fixed_t> right = {-(1 << 5)};
    ASSERT_EQ(play(left, &right, &stats), 0);
    ASSERT_EQ(finish(), 0) << output_error();
    ParsedWav wav = parse_wav_file(path32);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.bits_per_sample, 32);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sample_rate, 48000u);
    EXPECT_EQ(wav.block_align, 8);
    EXPECT_EQ(wav.byte_rate, 384000u);  // 48000 * 8
    EXPECT_EQ(wav.data, (std::vector<unsigned char>{0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF}));

    const std::string path16 = dir.file("p0.wav");
    ASSERT_EQ(open_output(path16.c_str()), 0);
    ASSERT_EQ(configure(1, 8000, 0, &accepted), 0);
    EXPECT_EQ(accepted.precision, 16u);
    ASSERT_EQ(finish(), 0) << output_error();
    wav = parse_wav_file(path16);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.bits_per_sample, 16);
    EXPECT_EQ(wav.block_align, 2);

    // 12 bits are declared as such but stored in 16-bit words.
    const std::string path12 = dir.file("p12.wav");
    ASSERT_EQ(open_output(path12.c_str()), 0);
    ASSERT_EQ(configure(2, 32000, 12, &accepted), 0);
    EXPECT_EQ(accepted.precision, 12u);
    const std::vector<mad_fixed_t> l12 = {s16_sample(5)};
    const std::vector<mad_fixed_t> r12 = {s16_sample(-2)};
    ASSERT_EQ(play(l12, &r12, &stats), 0);
    ASSERT_EQ(finish(), 0) << output_error();
    wav = parse_wav_file(path12);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.bits_per_sample, 12);
    EXPECT_EQ(wav.block_align, 4);
    EXPECT_EQ(wav.byte_rate, 128000u);  // 32000 * 4
    EXPECT_EQ(samples_s16(wav), (std::vector<std::int16_t>{5, -2}));
}

TEST(WavWriter, ResampledBlockLargerThanOneBufferIsWrittenWhole) {
    TempDir dir;
    const std::string path = dir.file("big.wav");
    const auto n = static_cast<int>(RESAMPLE_MAX_OUTPUT);  // about twice one buffer's worth
    std::vector<mad_fixed_t> left(static_cast<std::size_t>(n));
    std::vector<mad_fixed_t> right(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        left[static_cast<std::size_t>(i)] = s16_sample(i);
        right[static_cast<std::size_t>(i)] = s16_sample(-i);
    }
    ClipStats stats = {};
    ASSERT_EQ(open_output(path.c_str()), 0);
    ASSERT_EQ(configure(2, 44100, 16), 0);
    ASSERT_EQ(play(left, &right, &stats), 0) << output_error();
    ASSERT_EQ(finish(), 0) << output_error();

    const ParsedWav wav = parse_wav_file(path);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.data_size, static_cast<std::uint32_t>(n) * 4u);
    EXPECT_EQ(wav.riff_size, 36u + static_cast<std::uint32_t>(n) * 4u);
    const std::vector<std::int16_t> samples = samples_s16(wav);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(2 * n));
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(samples[static_cast<std::size_t>(2 * i)], i) << "frame " << i;
        ASSERT_EQ(samples[static_cast<std::size_t>(2 * i + 1)], -i) << "frame " << i;
    }
    EXPECT_EQ(stats.clip_count, 0u);
}

// The 64-bit number at p, little-endian.
std::uint64_t le64(const unsigned char* p) {
    return le32(p) | std::uint64_t{le32(p + 4)} << 32;
}

// Checks the RF64 file header and ds64 chunk (EBU Tech 3306): "RF64", 0xFFFFFFFF, "WAVE",
// then "ds64" of 28 bytes with the RIFF size, the data size and the sample frame count, and an
// empty table; the format chunk follows at 48 and the data chunk header at 72.
void expect_rf64_header(const std::vector<unsigned char>& bytes, std::uint64_t riff_size,
                        std::uint64_t data_size, std::uint64_t frames) {
    ASSERT_GE(bytes.size(), 80u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64");
    EXPECT_EQ(le32(bytes.data() + 4), 0xFFFFFFFFu);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEds64");
    EXPECT_EQ(le32(bytes.data() + 16), 28u);
    EXPECT_EQ(le64(bytes.data() + 20), riff_size);
    EXPECT_EQ(le64(bytes.data() + 28), data_size);
    EXPECT_EQ(le64(bytes.data() + 36), frames);
    EXPECT_EQ(le32(bytes.data() + 44), 0u);
    EXPECT_EQ(std::string(bytes.begin() + 48, bytes.begin() + 52), "fmt ");
    EXPECT_EQ(std::string(bytes.begin() + 72, bytes.begin() + 76), "data");
    EXPECT_EQ(le32(bytes.data() + 76), 0xFFFFFFFFu);
}

// Until now a play past the 32-bit sizes was refused ("output file too large for WAV"); the
// file now becomes an RF64 file in place, with every byte written before kept.
TEST(WavWriter, PlayPastTheRiffLimitTurnsTheFileIntoRf64) {
    TempDir dir;
    const std::string path = dir.file("limit16.wav");
    ClipStats stats = {};
    ASSERT_EQ(open_output(path.c_str()), 0);
    ASSERT_EQ(configure(2, 44100, 16), 0);
    // The RIFF size is 36 + data (+ a pad byte when odd) and must stay within 0xFFFFFFFF:
    // 0xFFFFFFFF - 36 = 0xFFFFFFDB is odd and would need the pad, so the data may reach
    // 0xFFFFFFDA; in whole 4-byte frames it stops at 0xFFFFFFD8.
    wav_preset_data_length_for_testing(0xFFFFFFD8u - 8u);
    const std::vector<mad_fixed_t> two = {s16_sample(1), s16_sample(2)};
    ASSERT_EQ(play(two, &two, &stats), 0) << output_error();
    const std::vector<mad_fixed_t> one = {s16_sample(3)};
    ASSERT_EQ(play(one, &one, &stats), 0) << output_error();
    ASSERT_EQ(finish(), 0) << output_error();

    // 80 header bytes and the 12 sample bytes really written; by hand: data 0xFFFFFFD8 + 4,
    // RIFF size 4 + 36 (ds64) + 24 (fmt) + 8 (data header) + data, frames data / 4.
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    ASSERT_EQ(bytes.size(), 92u);
    expect_rf64_header(bytes, 72u + 0xFFFFFFDCull, 0xFFFFFFDCull, 0xFFFFFFDCull / 4);
    EXPECT_EQ(le16(bytes.data() + 48 + 8), 1u);  // PCM
    EXPECT_EQ(le16(bytes.data() + 48 + 10), 2u);
    EXPECT_EQ(le32(bytes.data() + 48 + 12), 44100u);
    EXPECT_EQ(le16(bytes.data() + 48 + 22), 16u);
    const std::vector<unsigned char> samples(bytes.begin() + 80, bytes.end());
    EXPECT_EQ(samples, (std::vector<unsigned char>{1, 0, 1, 0, 2, 0, 2, 0, 3, 0, 3, 0}));

    // 8-bit mono: the pad byte of an odd data size goes after the data as before.
    const std::string path8 = dir.file("limit8.wav");
    ASSERT_EQ(open_output(path8.c_str()), 0);
    ASSERT_EQ(configure(1, 8000, 8), 0);
    wav_preset_data_length_for_testing(0xFFFFFFD8u);
    const std::vector<mad_fixed_t> mono = {0};
    ASSERT_EQ(play(mono, nullptr, &stats), 0) << output_error();  // 0xFFFFFFD9 + 36 + pad fits
    ASSERT_EQ(play(mono, nullptr, &stats), 0) << output_error();  // 0xFFFFFFDA + 36 fits
    ASSERT_EQ(play(mono, nullptr, &stats), 0) << output_error();  // 0xFFFFFFDB: RF64
    ASSERT_EQ(finish(), 0) << output_error();
    const std::vector<unsigned char> bytes8 = read_file_bytes(path8);
    ASSERT_EQ(bytes8.size(), 80u + 3u + 1u);
    expect_rf64_header(bytes8, 72u + 0xFFFFFFDBull + 1u, 0xFFFFFFDBull, 0xFFFFFFDBull);
    EXPECT_EQ(bytes8[80], 0x80);
    EXPECT_EQ(bytes8[83], 0);  // the pad byte
}

TEST(WavWriter, FileExpectedPastTheRiffLimitIsLaidOutAsRf64FromTheStart) {
    TempDir dir;
    ClipStats stats = {};
    // 7 hours of 16-bit stereo at 44100 Hz: 4,445,280,000 bytes, past 0xFFFFFFFF.
    const std::uint64_t seven_hours = 7ull * 3600 * 44100;
    const std::string path = dir.file("long.wav");
    ASSERT_EQ(open_output(path.c_str()), 0);
    OutputControl control;
    output_control_init(&control, OUTPUT_CONFIG);
    control.channels = 2;
    control.speed = 44100;
    control.precision = 16;
    control.expected_frames = seven_hours;
    ASSERT_EQ(wav_command(&control), 0) << output_error();
    const std::vector<mad_fixed_t> two = {s16_sample(5), s16_sample(-5)};
    ASSERT_EQ(play(two, &two, &stats), 0) << output_error();
    ASSERT_EQ(finish(), 0) << output_error();
    // Also when it turns out short (a cancelled decode): a correct RF64 file of 8 data bytes.
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    ASSERT_EQ(bytes.size(), 88u);
    expect_rf64_header(bytes, 80u, 8u, 2u);

    // Expected just within the limit: the canonical 44-byte header, byte for byte as always.
    const std::string fits = dir.file("fits.wav");
    ASSERT_EQ(open_output(fits.c_str()), 0);
    control.expected_frames = (0xFFFFFFFFull - 36) / 4;
    ASSERT_EQ(wav_command(&control), 0) << output_error();
    ASSERT_EQ(finish(), 0) << output_error();
    const ParsedWav wav = parse_wav_file(fits);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.file_size, 44u);
}

TEST(WavWriter, SystemFailuresNameTheOperation) {
    TempDir dir;
    errno = 0;
    EXPECT_EQ(open_output(dir.file("missing/out.wav").c_str()), -1);
    EXPECT_STREQ(output_error(), ":");
    EXPECT_EQ(errno, ENOENT);

    // Every command starts from a clear error text; stop and unknown codes do nothing.
    OutputControl control;
    output_control_init(&control, OUTPUT_STOP);
    EXPECT_EQ(wav_command(&control), 0);
    EXPECT_STREQ(output_error(), "");
    output_control_init(&control, 9);
    EXPECT_EQ(wav_command(&control), 0);

    // The headers and the first blocks sit in the stream's buffer; the play that overflows
    // it reaches the device. 40 of the largest blocks (27712 bytes each) are over 1 MiB, far
    // more than the writer buffers.
    ASSERT_EQ(open_output("/dev/full"), 0);
    ASSERT_EQ(configure(2, 44100, 16), 0);
    const std::vector<mad_fixed_t> block(RESAMPLE_MAX_OUTPUT, 0);
    ClipStats stats = {};
    errno = 0;
    std::int32_t played = 0;
    for (int plays = 0; plays < 40 && played == 0; ++plays) {
        played = play(block, &block, &stats);
    }
    EXPECT_EQ(played, -1);
    EXPECT_STREQ(output_error(), ":fwrite");
    EXPECT_EQ(errno, ENOSPC);
    // The buffered headers fail when the first patch seek flushes them.
    EXPECT_EQ(finish(), -1);
    EXPECT_STREQ(output_error(), ":fseek");
}

TEST(WavWriter, NullPathWritesToStandardOutputAndLeavesItOpen) {
    TempDir dir;
    const std::string path = dir.file("stdout.wav");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    const int target = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(target, 0);
    ASSERT_EQ(dup2(target, STDOUT_FILENO), STDOUT_FILENO);
    close(target);

    ClipStats stats = {};
    const std::vector<mad_fixed_t> left = {s16_sample(7)};
    const std::int32_t opened = open_output(nullptr);
    const std::int32_t configured = configure(1, 11025, 16);
    const std::int32_t played = play(left, nullptr, &stats);
    const std::int32_t finished = finish();
    const int flushed = std::fflush(stdout);  // fails if finish closed the stream
    dup2(saved, STDOUT_FILENO);
    close(saved);

    EXPECT_EQ(opened, 0);
    EXPECT_EQ(configured, 0);
    EXPECT_EQ(played, 0);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(flushed, 0);
    const ParsedWav wav = parse_wav_file(path);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.data_size, 2u);
    EXPECT_EQ(wav.riff_size, 38u);
    EXPECT_EQ(samples_s16(wav), std::vector<std::int16_t>{7});
}

TEST(WavWriter, TrailerFollowsThePadByteAndCountsTowardsTheSizeLimit) {
    TempDir dir;
    ClipStats stats = {};
    // A whole chunk as the tag builder hands it over: "TEST", size 3, "abc", its pad byte.
    const std::vector<unsigned char> trailer = {'T', 'E', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    auto open_with_trailer = [&trailer](const std::string& path) {
        OutputControl control;
        output_control_init(&control, OUTPUT_OPEN);
        control.path = path.c_str();
        control.trailer = trailer.data();
        control.trailer_length = static_cast<std::uint32_t>(trailer.size());
        return wav_command(&control);
    };
    auto tail = [](const std::vector<unsigned char>& bytes, std::size_t from) {
        return std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                          bytes.end());
    };

    const std::string path = dir.file("trailer.wav");
    ASSERT_EQ(open_with_trailer(path), 0);
    ASSERT_EQ(configure(1, 8000, 8), 0);
    ASSERT_EQ(play({0, 0, 0}, nullptr, &stats), 0);
    ASSERT_EQ(finish(), 0) << output_error();
    // 44 header bytes, 3 sample bytes, the data's pad byte at 47, the trailer from 48.
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    ASSERT_EQ(bytes.size(), 60u);
    EXPECT_EQ(le32(bytes.data() + 4), 52u);
    EXPECT_EQ(le32(bytes.data() + 40), 3u);
    EXPECT_EQ(bytes[47], 0);
    EXPECT_EQ(tail(bytes, 48), trailer);
    std::string error;
    EXPECT_EQ(riff_chunks(bytes, &error).size(), 3u);
    EXPECT_EQ(error, "");

    // 16-bit stereo: 36 + data (+ pad) + 12 must stay within 0xFFFFFFFF, so the data may reach
    // 0xFFFFFFCF, even 0xFFFFFFCE, in whole 4-byte frames 0xFFFFFFCC. One frame more makes it
    // an RF64 file (until now that frame was refused), the trailer still after the data.
    const std::string limit = dir.file("limit.wav");
    ASSERT_EQ(open_with_trailer(limit), 0);
    ASSERT_EQ(configure(2, 44100, 16), 0);
    wav_preset_data_length_for_testing(0xFFFFFFCCu - 8u);
    const std::vector<mad_fixed_t> two = {s16_sample(1), s16_sample(2)};
    ASSERT_EQ(play(two, &two, &stats), 0) << output_error();
    const std::vector<mad_fixed_t> one = {s16_sample(3)};
    ASSERT_EQ(play(one, &one, &stats), 0) << output_error();
    ASSERT_EQ(finish(), 0) << output_error();
    const std::vector<unsigned char> limited = read_file_bytes(limit);
    ASSERT_EQ(limited.size(), 80u + 12u + 12u);
    expect_rf64_header(limited, 72u + 0xFFFFFFD0ull + 12u, 0xFFFFFFD0ull, 0xFFFFFFD0ull / 4);
    EXPECT_EQ(tail(limited, 92), trailer);
}

}  // namespace

#include "normalize/normalizer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>

#include "tests/normalize/wav_image.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

// The 8-bit example: samples -64..+64 give the gain 127 / 64 = 1.984375 (exact in binary).
// Worked by hand: +64 -> 127 -> byte 255; -64 -> -127 -> byte 1; +32 -> 63.5 -> 63 -> 191;
// +1 -> 1.98 -> 1 -> 129; -1 -> -1.98 -> -1 -> 127; -32 -> -63.5 -> -63 -> 65 (truncation
// toward zero, not floor); 0 stays 128.
const Bytes kEightBitIn = {128, 192, 64, 160, 129, 127, 96};
const Bytes kEightBitOut = {128, 255, 1, 191, 129, 127, 65};

// The 16-bit example: peak 16384, gain 32767 / 16384 = 1.99993896484375 (exact in binary).
// By hand: 16384 -> 32767; -16384 -> -32767; 100 -> 199.99 -> 199; -100 -> -199;
// 8192 -> 16383.5 -> 16383; 1 -> 1.99 -> 1.
Bytes sixteen_bit_in() {
    return s16_bytes({0, 16384, -16384, 100, -100, 8192, 1});
}
Bytes sixteen_bit_out() {
    return s16_bytes({0, 32767, -32767, 199, -199, 16383, 1});
}

Bytes data_of(const std::string& path) {
    ParsedWav wav = parse_wav_file(path);
    EXPECT_TRUE(wav.ok) << wav.error;
    return wav.data;
}

TEST(NormalizeFile, EightBitExampleReachesFullScaleByTruncation) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    write_file_bytes(path, pcm_wav(1, 8000, 8, kEightBitIn));
    ASSERT_EQ(normalize_file(path.c_str()), NORMALIZE_DONE);
    // Only the data changes: the header comes out byte for byte the same.
    EXPECT_EQ(read_file_bytes(path), pcm_wav(1, 8000, 8, kEightBitOut));
}

TEST(NormalizeFile, SixteenBitExampleKeepsAnOddTrailingByte) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    Bytes in = sixteen_bit_in();
    in.push_back(0x7F);  // half a sample: not scanned, not rewritten
    write_file_bytes(path, pcm_wav(1, 22050, 16, in));
    ASSERT_EQ(normalize_file(path.c_str()), NORMALIZE_DONE);
    Bytes out = sixteen_bit_out();
    out.push_back(0x7F);
    EXPECT_EQ(data_of(path), out);
    EXPECT_EQ(read_file_bytes(path).size(), 44 + in.size());
}

// An RF64 file as the WAV writer lays out a long one: "RF64", the ds64 chunk with 64-bit
// sizes, the format, and "data" with 0xFFFFFFFF in its 32-bit size field. The ds64 data size
// decides how many bytes are samples: here fewer than follow, so the trailer stays as it is.
Bytes rf64_wav(std::uint32_t bits, const Bytes& data, const Bytes& trailer) {
    Bytes b;
    put_id(b, "RF64");
    put_u32(b, 0xFFFFFFFFu);
    put_id(b, "WAVE");
    Bytes ds64;
    put_u32(ds64, static_cast<std::uint32_t>(4 + 36 + 24 + 8 + data.size() + trailer.size()));
    put_u32(ds64, 0);
    put_u32(ds64, static_cast<std::uint32_t>(data.size()));
    put_u32(ds64, 0);
    put_u32(ds64, static_cast<std::uint32_t>(data.size() / (bits / 8)));
    put_u32(ds64, 0);
    put_u32(ds64, 0);  // no table
    put_bytes(b, chunk("ds64", 28, ds64));
    put_bytes(b, fmt_chunk(1, 1, 44100, bits));
    put_bytes(b, chunk("data", 0xFFFFFFFFu, data));
    put_bytes(b, trailer);
    return b;
}

TEST(NormalizeFile, Rf64FilesAreNormalizedByTheirDs64DataSize) {
    TempDir dir;
    const Bytes trailer = {'J', 'U', 'N', 'K', 2, 0, 0, 0, 0x7F, 0x7F};
    std::string path = dir.file("long.wav");
    write_file_bytes(path, rf64_wav(16, sixteen_bit_in(), trailer));
    ASSERT_EQ(normalize_file(path.c_str()), NORMALIZE_DONE);
    EXPECT_EQ(read_file_bytes(path), rf64_wav(16, sixteen_bit_out(), trailer));

    std::string path8 = dir.file("long8.wav");
    write_file_bytes(path8, rf64_wav(8, kEightBitIn, trailer));
    ASSERT_EQ(normalize_file(path8.c_str()), NORMALIZE_DONE);
    EXPECT_EQ(read_file_bytes(path8), rf64_wav(8, kEightBitOut, trailer));

    // Without the ds64 chunk first the sizes are unknown: refused, the file unchanged.
    Bytes no_ds64 = pcm_wav(1, 8000, 8, kEightBitIn);
    std::copy_n("RF64", 4, no_ds64.begin());
    std::string bad = dir.file("bad.wav");
    write_file_bytes(bad, no_ds64);
    EXPECT_EQ(normalize_file(bad.c_str()), NORMALIZE_CANNOT_OPEN);
    EXPECT_EQ(read_file_bytes(bad), no_ds64);
}

TEST(NormalizeFile, StereoGetsOneGainFromTheLouderChannel) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    // Left peaks at 8192, right at -16384: gain 32767 / 16384 for both.
    // By hand: 8192 -> 16383; -4096 -> -8191.75 -> -8191; -16384 -> -32767; 2 -> 3.99 -> 3.
    write_file_bytes(path, pcm_wav(2, 44100, 16, s16_bytes({8192, -16384, -4096, 2})));
    ASSERT_EQ(normalize_file(path.c_str()), NORMALIZE_DONE);
    EXPECT_EQ(data_of(path), s16_bytes({16383, -32767, -8191, 3}));
}

TEST(NormalizeFile, FullScaleOrSilenceLeavesTheFileAlone) {
    TempDir dir;
    struct Case {
        const char* name;
        std::uint32_t bits;
        Bytes data;
    };
    const Case cases[] = {
        {"s16_min", 16, s16_bytes({100, -32768, 5})},  // -32768 counts as -32767: gain 1.0
        {"s16_max", 16, s16_bytes({100, 32767, -5})},
        {"s16_silence", 16, s16_bytes({0, 0, 0, 0})},
        {"u8_zero", 8, {128, 0, 140}},  // byte 0 is -128, counted as -127
        {"u8_max", 8, {128, 255, 120}},
        {"u8_silence", 8, {128, 128, 128}},
        {"empty", 16, {}},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(std::string(c.name) + ".wav");
        Bytes before = pcm_wav(1, 8000, c.bits, c.data);
        write_file_bytes(path, before);
        EXPECT_EQ(normalize_file(path.c_str()), NORMALIZE_NOTHING_TO_DO) << c.name;
        EXPECT_EQ(read_file_bytes(path), before) << c.name;
    }
}

TEST(NormalizeFile, FilesItCannotHandleComeBackUnchangedWithCode1) {
    TempDir dir;
    Bytes data = {0, 0, 0x40, 0, 0, 0};
    Bytes bits24 = pcm_wav(1, 8000, 24, data);
    Bytes float_tag = riff({fmt_chunk(3, 1, 8000, 16), chunk("data", 6, data)});
    // The data chunk claims 1000 bytes but 6 follow: pass 1 fails before anything is written.
    Bytes short_data =
        riff({fmt_chunk(1, 1, 8000, 16), chunk("data", 1000, s16_bytes({1000, -5, 7}))});
    for (const Bytes& before : {bits24, float_tag, short_data}) {
        std::string path = dir.file("bad.wav");
        write_file_bytes(path, before);
        EXPECT_EQ(normalize_file(path.c_str()), NORMALIZE_CANNOT_OPEN);
        EXPECT_EQ(read_file_bytes(path), before);
    }
    EXPECT_EQ(normalize_file(dir.file("missing.wav").c_str()), NORMALIZE_CANNOT_OPEN);
}

TEST(NormalizeFile, ALockedFileIsLeftUnchanged) {
    TempDir dir;
    std::string path = dir.file("busy.wav");
    Bytes before = pcm_wav(1, 8000, 8, kEightBitIn);
    write_file_bytes(path, before);
    int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(normalize_file(path.c_str()), NORMALIZE_CANNOT_OPEN);
    EXPECT_EQ(read_file_bytes(path), before);
    ::close(holder);
}

TEST(NormalizeFile, BothPassesCoverEveryBlock) {
    TempDir dir;
    // 8-bit: two full 64 KiB blocks and a short third. The only -64 sits in the third block, so
    // a pass 1 that stopped early would see the peak 32 and a gain near 4.
    Bytes in(2 * 65536 + 1000, 128);
    in[0] = 160;
    in[65535] = 160;  // last byte of block 1
    in[65536] = 129;  // first byte of block 2
    in[2 * 65536 + 999] = 64;
    std::string path = dir.file("long8.wav");
    write_file_bytes(path, pcm_wav(1, 8000, 8, in));
    ASSERT_EQ(normalize_file(path.c_str()), NORMALIZE_DONE);
    Bytes expected(in.size(), 128);
    expected[0] = 191;
    expected[65535] = 191;
    expected[65536] = 129;
    expected[2 * 65536 + 999] = 1;
    EXPECT_EQ(data_of(path), expected);

    // 16-bit with an odd size: the 3-byte last block holds one sample and a stray byte.
    Bytes in16(65536, 0);
    put_bytes(in16, s16_bytes({16384}));
    in16.push_back(0x55);
    in16[2] = 100;  // sample 1 is 100
    std::string path16 = dir.file("long16.wav");
    write_file_bytes(path16, pcm_wav(1, 8000, 16, in16));
    ASSERT_EQ(normalize_file(path16.c_str()), NORMALIZE_DONE);
    Bytes expected16(65536, 0);
    put_bytes(expected16, s16_bytes({32767}));
    expected16.push_back(0x55);
    expected16[2] = 199;
    EXPECT_EQ(data_of(path16), expected16);
}

TEST(NormalizeFile, AWriteFailureInPass2ReturnsCode2) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    // Three blocks of +32 with one -64: every byte becomes 191 (and the -64 becomes 1).
    Bytes in(3 * 65536, 160);
    in[5] = 64;
    Bytes before = pcm_wav(1, 8000, 8, in);
    write_file_bytes(path, before);

    // A real write failure: with a file size limit of 44 + 65536 + 100 bytes the kernel
    // accepts block 1 and the first 100 bytes of block 2, then refuses with EFBIG. The limit
    // would outlive the test, so the normalizer runs in a child.
    constexpr rlim_t kLimit = 44 + 65536 + 100;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(100);
        }
        ::_exit(normalize_file(path.c_str()));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), NORMALIZE_WRITE_FAILED);

    Bytes after = read_file_bytes(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 44), Bytes(before.begin(), before.begin() + 44));
    EXPECT_EQ(after[44 + 5], 1);
    for (std::size_t i = 44; i < after.size(); ++i) {
        if (i == 44 + 5) {
            continue;
        }
        unsigned char expected = i < kLimit ? 191 : 160;
        if (after[i] != expected) {
            ADD_FAILURE() << "byte " << i << " is " << int(after[i]);
            break;
        }
    }
}

class NormalizePath : public ::testing::Test {
protected:
    std::string make(const std::string& name, const Bytes& bytes) {
        std::string path = dir.file(name);
        write_file_bytes(path, bytes);
        return path;
    }
    bool rewritten(const std::string& name) {
        return read_file_bytes(dir.file(name)) == pcm_wav(1, 8000, 8, kEightBitOut);
    }
    bool untouched(const std::string& name) {
        return read_file_bytes(dir.file(name)) == pcm_wav(1, 8000, 8, kEightBitIn);
    }
    TempDir dir;
    const Bytes loud = pcm_wav(1, 8000, 8, kEightBitIn);
};

TEST_F(NormalizePath, AnExistingFileNameIsNeverAPattern) {
    std::string brackets = make("song[12].wav", loud);
    make("song1.wav", loud);
    make("song2.wav", loud);
    make("x*.wav", loud);
    make("xy.wav", loud);

    EXPECT_EQ(normalize_path(brackets.c_str()), NORMALIZE_DONE);
    EXPECT_TRUE(rewritten("song[12].wav"));
    EXPECT_TRUE(untouched("song1.wav"));
    EXPECT_TRUE(untouched("song2.wav"));

    EXPECT_EQ(normalize_path(dir.file("x*.wav").c_str()), NORMALIZE_DONE);
    EXPECT_TRUE(rewritten("x*.wav"));
    EXPECT_TRUE(untouched("xy.wav"));

    // Once no file has that name, the same text is a pattern for song1 and song2.
    ASSERT_EQ(std::remove(brackets.c_str()), 0);
    EXPECT_EQ(normalize_path(brackets.c_str()), NORMALIZE_DONE);
    EXPECT_TRUE(rewritten("song1.wav"));
    EXPECT_TRUE(rewritten("song2.wav"));
}

TEST_F(NormalizePath, PatternWalkSkipsFoldersAndStopsAtTheFirstFailure) {
    ASSERT_EQ(::mkdir(dir.file("one").c_str(), 0700), 0);
    make("one/a.wav", pcm_wav(1, 8000, 8, {128, 128}));  // silence: 3, the walk goes on
    ASSERT_EQ(::mkdir(dir.file("one/b.wav").c_str(), 0700), 0);
    make("one/c.wav", loud);
    EXPECT_EQ(normalize_path(dir.file("one/*.wav").c_str()), NORMALIZE_DONE);
    EXPECT_TRUE(rewritten("one/c.wav"));

    ASSERT_EQ(::mkdir(dir.file("two").c_str(), 0700), 0);
    make("two/a.wav", pcm_wav(1, 8000, 24, {0, 0, 0}));
    make("two/c.wav", loud);
    EXPECT_EQ(normalize_path(dir.file("two/*.wav").c_str()), NORMALIZE_CANNOT_OPEN);
    EXPECT_TRUE(untouched("two/c.wav"));

    // The last file's code is the result.
    ASSERT_EQ(::mkdir(dir.file("three").c_str(), 0700), 0);
    make("three/a.wav", loud);
    make("three/b.wav", pcm_wav(1, 8000, 8, {128, 128}));
    EXPECT_EQ(normalize_path(dir.file("three/?.wav").c_str()), NORMALIZE_NOTHING_TO_DO);
    EXPECT_TRUE(rewritten("three/a.wav"));
}

TEST_F(NormalizePath, NothingToNormalizeSaysSoAndReturns1) {
    ASSERT_EQ(::mkdir(dir.file("sub1").c_str(), 0700), 0);
    for (const std::string& path : {dir.file("*.flac"), dir.file("sub*"), dir.file("sub1")}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(normalize_path(path.c_str()), NORMALIZE_CANNOT_OPEN);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Could not find file " + path + ".\n");
    }
}

}  // namespace

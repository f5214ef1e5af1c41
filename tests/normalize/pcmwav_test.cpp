#include "normalize/pcmwav.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "tests/normalize/wav_image.h"
#include "tests/support/temp_dir.h"

namespace {

const std::string kReadError = "Read error: this is not a correct PCM WAV file.\n";

std::string open_error(const std::string& path, const Bytes& bytes) {
    write_file_bytes(path, bytes);
    PcmWavFile file;
    EXPECT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 0) << path;
    return pcmwav_error();
}

// A failed open must have closed its descriptor: the test can take the lock afterwards.
bool lock_is_free(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return free;
}

TEST(PcmWavOpen, ReadsTheWriterLayout) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    // The RIFF size is deliberately wrong; nothing checks it.
    Bytes bytes =
        riff({fmt_chunk(1, 2, 44100, 16), chunk("data", 8, {1, 2, 3, 4, 5, 6, 7, 8})}, 0x12345678);
    write_file_bytes(path, bytes);

    PcmWavFile file;
    ASSERT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 1) << pcmwav_error();
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.sample_rate, 44100u);
    EXPECT_EQ(file.bits_per_sample, 16u);
    EXPECT_EQ(file.data_offset, 44u);
    EXPECT_EQ(file.data_size, 8u);

    unsigned char first[4] = {};
    ASSERT_EQ(pcmwav_read(&file, first, 4), 1);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[3], 4);
    ASSERT_EQ(pcmwav_rewind(&file), 1);
    unsigned char again[2] = {};
    ASSERT_EQ(pcmwav_read(&file, again, 2), 1);
    EXPECT_EQ(again[0], 1);
    EXPECT_EQ(again[1], 2);
    EXPECT_EQ(pcmwav_close(&file), 1);
}

TEST(PcmWavOpen, SkipsOtherChunksAndTheTailOfALongFormatChunk) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    // 12 file header + "fact" 8+4 + "fmt " 8+18 + "LIST" 8+5 (odd, no pad byte) + data header 8
    // = 71 is where the samples start.
    Bytes bytes = riff({chunk("fact", 4, {0xFF, 0xFF, 0xFF, 0xFF}),
                        fmt_chunk(1, 1, 8000, 8, 18, {0xEE, 0xEE}),
                        chunk("LIST", 5, {'d', 'a', 't', 'a', 9}), chunk("data", 3, {10, 20, 30})});
    write_file_bytes(path, bytes);

    PcmWavFile file;
    ASSERT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 1) << pcmwav_error();
    EXPECT_EQ(file.data_offset, 71u);
    EXPECT_EQ(file.data_size, 3u);
    EXPECT_EQ(file.channels, 1);
    EXPECT_EQ(file.sample_rate, 8000u);
    EXPECT_EQ(file.bits_per_sample, 8u);
    unsigned char samples[3] = {};
    ASSERT_EQ(pcmwav_read(&file, samples, 3), 1);
    EXPECT_EQ(samples[0], 10);
    EXPECT_EQ(samples[2], 30);
    pcmwav_close(&file);
}

TEST(PcmWavOpen, RejectsWhatIsNotAn8Or16BitPcmFileWithItsMessage) {
    TempDir dir;
    Bytes data = {0, 0, 0, 0, 0, 0};
    std::string path = dir.file("24.wav");
    EXPECT_EQ(open_error(path, riff({fmt_chunk(1, 1, 8000, 24), chunk("data", 6, data)})),
              "Can only deal with 8-bit or 16-bit samples.\n");
    EXPECT_TRUE(lock_is_free(path));
    EXPECT_EQ(open_error(dir.file("float.wav"),
                         riff({fmt_chunk(3, 1, 8000, 16), chunk("data", 6, data)})),
              "Error in format subchunk: this is not a PCM WAV file.\n");
    EXPECT_EQ(open_error(dir.file("order.wav"),
                         riff({chunk("data", 6, data), fmt_chunk(1, 1, 8000, 16)})),
              "Encountered data subchunk, but no format subchunk found.\n");
    EXPECT_EQ(open_error(dir.file("nodata.wav"),
                         riff({fmt_chunk(1, 1, 8000, 16), chunk("LIST", 2, {1, 2})})),
              kReadError);
    // The file ends inside the data chunk's size field.
    EXPECT_EQ(
        open_error(dir.file("cut.wav"), riff({fmt_chunk(1, 1, 8000, 16), {'d', 'a', 't', 'a', 6}})),
        kReadError);

    Bytes rifx = pcm_wav(1, 8000, 16, data);
    rifx[3] = 'X';
    EXPECT_EQ(open_error(dir.file("rifx.wav"), rifx), "This is not a PCM WAV file.\n");
    Bytes wavx = pcm_wav(1, 8000, 16, data);
    wavx[11] = 'X';
    EXPECT_EQ(open_error(dir.file("wavx.wav"), wavx), "This is not a PCM WAV file.\n");
    EXPECT_EQ(open_error(dir.file("short.wav"), {'R', 'I', 'F', 'F', 0, 0, 0, 0}),
              "This is not a PCM WAV file.\n");

    std::string missing = dir.file("missing.wav");
    PcmWavFile file;
    EXPECT_EQ(pcmwav_open(missing.c_str(), O_RDWR, &file), 0);
    EXPECT_EQ(std::string(pcmwav_error()), "Cannot open file " + missing + ".\n");
    EXPECT_EQ(pcmwav_open(dir.path().c_str(), O_RDONLY, &file), 0);
    EXPECT_EQ(std::string(pcmwav_error()), "Cannot open file " + dir.path() + ".\n");
}

TEST(PcmWavOpen, DamagedChunkSizesFailInsteadOfWalkingBackwardsOrOutOfTheFile) {
    TempDir dir;
    Bytes data = {1, 2, 3, 4};
    Bytes data_chunk = chunk("data", 4, data);
    // -16: a walk that followed it would land on the "fmt " chunk again and loop.
    std::string path = dir.file("negative.wav");
    EXPECT_EQ(open_error(path, riff({fmt_chunk(1, 1, 8000, 16), chunk("LIST", 0xFFFFFFF0u, {}),
                                     data_chunk})),
              kReadError);
    EXPECT_TRUE(lock_is_free(path));
    // A format chunk declaring 14 bytes would be followed by a seek back by 2.
    EXPECT_EQ(
        open_error(dir.file("shortfmt.wav"), riff({fmt_chunk(1, 1, 8000, 16, 14), data_chunk})),
        kReadError);
    EXPECT_EQ(open_error(dir.file("negfmt.wav"),
                         riff({fmt_chunk(1, 1, 8000, 16, 0x80000000u), data_chunk})),
              kReadError);
    // 12 + 24 + 8 + 1000 runs far past the 60-byte file.
    EXPECT_EQ(open_error(dir.file("pastend.wav"),
                         riff({fmt_chunk(1, 1, 8000, 16), chunk("LIST", 1000, {}), data_chunk})),
              kReadError);
    EXPECT_EQ(open_error(dir.file("longfmt.wav"), riff({fmt_chunk(1, 1, 8000, 16, 40)})),
              kReadError);
    // A chunk that ends exactly at the end of the file is inside it; the data chunk's own size
    // is not checked at open.
    write_file_bytes(dir.file("edge.wav"), riff({fmt_chunk(1, 1, 8000, 16),
                                                 chunk("LIST", 2, {7, 7}),
                                                 {'d', 'a', 't', 'a', 0xFF, 0xFF, 0, 0}}));
    PcmWavFile file;
    EXPECT_EQ(pcmwav_open(dir.file("edge.wav").c_str(), O_RDWR, &file), 1) << pcmwav_error();
    EXPECT_EQ(file.data_size, 0xFFFFu);
    pcmwav_close(&file);
}

TEST(PcmWavOpen, AFileLockedBySomeoneElseCannotBeOpened) {
    TempDir dir;
    std::string path = dir.file("busy.wav");
    write_file_bytes(path, pcm_wav(1, 8000, 8, {128, 130}));
    int holder = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    PcmWavFile file;
    EXPECT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 0);
    EXPECT_EQ(std::string(pcmwav_error()), "Cannot open file " + path + ".\n");

    ::close(holder);
    EXPECT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 1);
    pcmwav_close(&file);
}

TEST(PcmWavBlocks, FailuresReportBytesMovedAndAskedAndSuccessKeepsTheText) {
    TempDir dir;
    std::string path = dir.file("a.wav");
    Bytes data(100, 0x55);
    write_file_bytes(path, pcm_wav(1, 8000, 8, data));

    PcmWavFile file;
    ASSERT_EQ(pcmwav_open(path.c_str(), O_RDONLY, &file), 1);
    static unsigned char buffer[4096];
    EXPECT_EQ(pcmwav_read(&file, buffer, 4096), 0);
    EXPECT_STREQ(pcmwav_error(), "Error in pcmwav_read(); only read 100 instead of 4096 bytes.");
    EXPECT_EQ(buffer[99], 0x55);

    // Success leaves the last message in place.
    ASSERT_EQ(pcmwav_rewind(&file), 1);
    EXPECT_EQ(pcmwav_seek(&file, 10), 1);
    EXPECT_STREQ(pcmwav_error(), "Error in pcmwav_read(); only read 100 instead of 4096 bytes.");

    // Back by more than the position (44 + 10) is a failed positioning.
    EXPECT_EQ(pcmwav_seek(&file, -1000), 0);
    EXPECT_STREQ(pcmwav_error(), "Error in pcmwav_seek() - pos = -1000");

    // The descriptor is open for reading only, so the write moves nothing.
    ASSERT_EQ(pcmwav_rewind(&file), 1);
    EXPECT_EQ(pcmwav_write(&file, buffer, 4), 0);
    EXPECT_STREQ(pcmwav_error(), "Error in pcmwav_write(); only wrote 0 instead of 4 bytes.");
    pcmwav_close(&file);
    EXPECT_EQ(read_file_bytes(path), pcm_wav(1, 8000, 8, data));

    // A closed record has no descriptor left to position.
    EXPECT_EQ(pcmwav_rewind(&file), 0);
    EXPECT_STREQ(pcmwav_error(), "Error in pcmwav_rewind().");
}

TEST(PcmWavError, LongTextsAreCutAt255Characters) {
    TempDir dir;
    std::string path = dir.file(std::string(240, 'n') + ".wav");
    PcmWavFile file;
    EXPECT_EQ(pcmwav_open(path.c_str(), O_RDWR, &file), 0);
    std::string expected = ("Cannot open file " + path + ".\n").substr(0, 255);
    EXPECT_EQ(std::string(pcmwav_error()), expected);
}

}  // namespace

// A 7-hour MP3 to a WAV file past 4 GiB, read back by ffprobe, sox and sndfile-info with the
// exact sample count; and a decode stopped past 4 GiB, as Cancel stops it. Built in Release
// builds only (under the sanitizers 4 GiB of output would take many minutes); skipped where
// the disk lacks the room; every file it makes is removed at the end.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/request.h"
#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

namespace {

// MPEG-1 layer III, 32 kbit/s, 44100 Hz, stereo, no CRC, no padding: 144 x 32000 / 44100 =
// 104 bytes. Side information and main data all zero: every granule codes silence, which
// libmad decodes to 1152 samples a frame like any other.
std::vector<unsigned char> silent_frame() {
    std::vector<unsigned char> frame(104, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = 0x10;
    frame[3] = 0x00;
    return frame;
}

// 7 hours at 44100 Hz in whole frames: 7 x 3600 x 44100 / 1152 = 964687.5, so 964688.
constexpr std::uint64_t FRAMES = 964688;
constexpr std::uint64_t SAMPLES = FRAMES * 1152;   // 1,111,320,576 per channel
constexpr std::uint64_t DATA_BYTES = SAMPLES * 4;  // 4,445,282,304: past 4 GiB
constexpr std::uint64_t RF64_HEADER = 80;          // RF64 header, ds64, fmt, data header
constexpr std::uint64_t ROOM = 6ull << 30;         // input, one output, some to spare

std::string write_long_mp3(const TempDir& dir) {
    const std::string path = dir.file("seven_hours.mp3");
    const std::vector<unsigned char> frame = silent_frame();
    std::vector<unsigned char> block;
    for (int i = 0; i < 10000; ++i) {
        block.insert(block.end(), frame.begin(), frame.end());
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file == nullptr) {
        return path;
    }
    for (std::uint64_t done = 0; done < FRAMES;) {
        const std::uint64_t n = FRAMES - done < 10000 ? FRAMES - done : 10000;
        EXPECT_EQ(std::fwrite(block.data(), frame.size(), n, file), n);
        done += n;
    }
    EXPECT_EQ(std::fclose(file), 0);
    return path;
}

std::uint64_t file_size(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) {
        return 0;
    }
    const long size = std::ftell(file);
    std::fclose(file);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

std::uint64_t le64_at(const std::string& path, long offset) {
    unsigned char bytes[8] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        if (std::fseek(file, offset, SEEK_SET) != 0 || std::fread(bytes, 1, 8, file) != 8) {
            std::fill(bytes, bytes + 8, 0);
        }
        std::fclose(file);
    }
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// What the three readers say the frame count is: one line each, as they print it.
void expect_readers_count(const std::string& wav, std::uint64_t frames, const TempDir& dir) {
    const std::string count = std::to_string(frames);
    const RunResult sox = run_shell("soxi -s " + shell_quote(wav), dir);
    EXPECT_EQ(sox.status, 0) << sox.err;
    EXPECT_EQ(sox.out, count + "\n");
    const RunResult ffprobe = run_shell(
        "ffprobe -v error -show_entries stream=duration_ts,sample_rate,channels "
        "-of default=nw=1 " +
            shell_quote(wav),
        dir);
    EXPECT_EQ(ffprobe.status, 0) << ffprobe.err;
    EXPECT_EQ(ffprobe.out, "sample_rate=44100\nchannels=2\nduration_ts=" + count + "\n");
    const RunResult sndfile = run_shell("sndfile-info " + shell_quote(wav), dir);
    EXPECT_EQ(sndfile.status, 0) << sndfile.err;
    EXPECT_NE(sndfile.out.find("Frames      : " + count + "\n"), std::string::npos) << sndfile.out;
}

class LongOutput : public testing::Test {
protected:
    void SetUp() override {
        struct statvfs info {};
        if (statvfs(dir_.path().c_str(), &info) != 0) {
            GTEST_SKIP() << "cannot tell the free room in " << dir_.path();
        }
        const std::uint64_t free = std::uint64_t{info.f_bavail} * info.f_frsize;
        if (free < ROOM) {
            GTEST_SKIP() << "needs " << (ROOM >> 30) << " GiB free in " << dir_.path() << ", has "
                         << (free >> 20) << " MiB";
        }
        for (const char* tool : {"soxi", "ffprobe", "sndfile-info"}) {
            if (std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) != 0) {
                GTEST_SKIP() << tool << " is not installed (sox, ffmpeg, sndfile-programs)";
            }
        }
        input_ = write_long_mp3(dir_);
    }

    TempDir dir_;  // removed with everything in it
    std::string input_;
};

TEST_F(LongOutput, SevenHoursBecomeAnRf64FileEveryReaderCountsExactly) {
    const RunResult run = run_cli({"-q", "-o", dir_.file("out"), input_}, dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string wav = dir_.file("out/seven_hours.wav");
    EXPECT_EQ(file_size(wav), RF64_HEADER + DATA_BYTES);
    // The ds64 chunk's own figures, read here byte by byte: RIFF size, data size, frames.
    EXPECT_EQ(le64_at(wav, 20), RF64_HEADER - 8 + DATA_BYTES);
    EXPECT_EQ(le64_at(wav, 28), DATA_BYTES);
    EXPECT_EQ(le64_at(wav, 36), SAMPLES);
    expect_readers_count(wav, SAMPLES, dir_);
    std::remove(wav.c_str());
}

// Stops once 97.5 % of the input is consumed: about 4.33 GB of output, past 4 GiB.
std::int32_t stop_near_the_end(std::int32_t total_kib, std::int32_t done_kib) {
    return done_kib >= total_kib / 40 * 39 ? 1 : 0;
}

TEST_F(LongOutput, StoppedPast4GiBLeavesAReadableRf64File) {
    const std::string wav = dir_.file("stopped.wav");
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input_.c_str();
    request.output_path = wav.c_str();
    request.progress = stop_near_the_end;
    request.play_length_ms = 7 * 3600 * 1000;
    ASSERT_EQ(decode_file(&request), DECODE_ABORTED);
    const std::uint64_t size = file_size(wav);
    ASSERT_GT(size, (4ull << 30) + RF64_HEADER);
    ASSERT_LT(size, RF64_HEADER + DATA_BYTES);
    const std::uint64_t frames = (size - RF64_HEADER) / 4;
    EXPECT_EQ(le64_at(wav, 28), size - RF64_HEADER);
    expect_readers_count(wav, frames, dir_);
    std::remove(wav.c_str());
}

}  // namespace

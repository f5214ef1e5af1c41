// Faults from outside: a full device, a locked WAV file. Nothing may crash, every failure
// must be reported, and no file but the one being written may change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "engine/request.h"
#include "tests/support/temp_dir.h"

namespace {

std::int32_t keep_going(std::int32_t, std::int32_t) {
    return 0;
}

struct DecodeRun {
    std::int32_t result;
    std::string messages;
    std::string output;
};

DecodeRun decode(const std::string& input, const std::string& output, bool normalize) {
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.play_length_ms = 0;
    request.progress = keep_going;
    request.no_dither = 1;  // the same bytes on every run
    request.normalize = normalize ? 1 : 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    DecodeRun run;
    run.result = decode_file(&request);
    run.messages = testing::internal::GetCapturedStderr();
    run.output = testing::internal::GetCapturedStdout();
    return run;
}

TEST(Faults, FullDeviceFailsTheDecodeWithTheWriteError) {
    // 116 frames of 4608 bytes do not fit any stdio buffer: a write reaches the device.
    DecodeRun run = decode(fixture_path("stereo_44k_128.mp3"), "/dev/full", false);
    EXPECT_EQ(run.result, DECODE_FAILED);
    EXPECT_NE(run.messages.find("output: fwrite: No space left on device\n"), std::string::npos)
        << run.messages;
    EXPECT_EQ(run.messages.find("frames decoded"), std::string::npos);  // no summary of a failure
}

TEST(Faults, LockedWavIsLeftAloneByTheNormalizer) {
    TempDir dir;
    std::string input = fixture_path("quiet.mp3");
    std::string reference = dir.file("reference.wav");
    ASSERT_EQ(decode(input, reference, false).result, DECODE_OK);

    // Another process holds the WAV locked while the decode finishes and normalizes it.
    std::string locked = dir.file("locked.wav");
    write_file_bytes(locked, {});
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open(locked.c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        char byte = 1;
        ssize_t ignored = write(ready[1], &byte, 1);
        ignored = read(release[0], &byte, 1);
        (void)ignored;
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    DecodeRun run = decode(input, locked, true);
    ASSERT_EQ(write(release[1], &byte, 1), 1);
    waitpid(holder, nullptr, 0);

    EXPECT_EQ(run.result, DECODE_OK);  // the normalizer's code does not change the decode's
    EXPECT_EQ(run.output, "Normalizing .... Normalizing returned 1\n");
    EXPECT_EQ(read_file_bytes(locked), read_file_bytes(reference));
}

}  // namespace

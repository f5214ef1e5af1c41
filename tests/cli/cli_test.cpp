// pelmora-cli as a user runs it: a child process, its exit status and its two streams.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

RunResult run_cli(const std::vector<std::string>& args, const TempDir& dir) {
    std::string command = quote(PELMORA_CLI);
    for (const std::string& arg : args) {
        command += " " + quote(arg);
    }
    std::string err_path = dir.file("stderr.txt");
    command += " 2>" + quote(err_path);
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), got);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::vector<unsigned char> err = read_file_bytes(err_path);
    result.err.assign(err.begin(), err.end());
    return result;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Cli, HelpExplainsEveryOptionAndTheTimeSyntax) {
    TempDir dir;
    RunResult r = run_cli({"--help"}, dir);
    EXPECT_EQ(r.status, 0);
    for (const char* option :
         {"--bits", "--no-dither", "--normalize", "--skip-silence", "--fade-in", "--fade-out",
          "--attenuation", "--mono", "--stereo", "--channel", "--half-rate", "--ignore-crc",
          "--gap", "--cross-fade", "-o", "1:30", "1/75"}) {
        EXPECT_TRUE(contains(r.out, option)) << option;
    }
}

TEST(Cli, UsageErrorsExitWithTwo) {
    TempDir dir;
    EXPECT_EQ(run_cli({"--bogus", "-o", dir.path(), "x.mp3"}, dir).status, 2);
    EXPECT_EQ(run_cli({fixture_path("short.mp3")}, dir).status, 2);  // no -o
    RunResult no_inputs = run_cli({"-o", dir.path()}, dir);
    EXPECT_EQ(no_inputs.status, 2);
    EXPECT_TRUE(contains(no_inputs.err, "no input files")) << no_inputs.err;
}

TEST(Cli, InvalidOptionTextsUseTheEngineMessageAndStatusOne) {
    TempDir dir;
    RunResult r = run_cli({"--fade-in", "0", "-o", dir.path(), fixture_path("short.mp3")}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "pelmora: fade-in time must be positive\n")) << r.err;

    r = run_cli({"--attenuation", "+19dB", "-o", dir.path(), fixture_path("short.mp3")}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "decibel value must be in the range -175 to +18")) << r.err;
}

TEST(Cli, DecodesFilesInOrderIntoACreatedFolder) {
    TempDir dir;
    std::string out = dir.file("new/nested");
    RunResult r = run_cli({"--bits", "8", "--mono", "-o", out, fixture_path("short.mp3"),
                           fixture_path("stereo_44k_128.mp3")},
                          dir);
    EXPECT_EQ(r.status, 0) << r.err;
    ParsedWav first = parse_wav_file(out + "/short.wav");
    ParsedWav second = parse_wav_file(out + "/stereo_44k_128.wav");
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_EQ(first.bits_per_sample, 8);
    EXPECT_EQ(first.channels, 1);
    EXPECT_EQ(first.data_size, 5u * 1152);
    EXPECT_EQ(second.data_size, 116u * 1152);
    // Files are decoded one after another: the short file's summary comes first.
    std::size_t short_summary = r.err.find("5 frames decoded");
    std::size_t long_summary = r.err.find("116 frames decoded");
    ASSERT_NE(short_summary, std::string::npos) << r.err;
    ASSERT_NE(long_summary, std::string::npos) << r.err;
    EXPECT_LT(short_summary, long_summary);
}

TEST(Cli, NormalizerLinesGoToStandardOutput) {
    TempDir dir;
    RunResult r = run_cli({"--normalize", "-o", dir.path(), fixture_path("quiet.mp3")}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Normalizing .... Normalizing returned 0\n");
}

TEST(Cli, AFailingFileIsNamedAndTheOthersStillDecoded) {
    TempDir dir;
    std::string missing = dir.file("missing.mp3");
    RunResult r = run_cli(
        {"-o", dir.path(), fixture_path("short.mp3"), missing, fixture_path("vbr_xing.mp3")}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "pelmora-cli: 1 of 3 files failed: " + missing + "\n")) << r.err;
    EXPECT_TRUE(parse_wav_file(dir.file("short.wav")).ok);
    EXPECT_TRUE(parse_wav_file(dir.file("vbr_xing.wav")).ok);
}

TEST(Cli, PlayLengthFromTheHeaderScanDrivesTheFadeOut) {
    // With a 1 s fade-out the last frame ends at the scanned play length and is silent.
    TempDir dir;
    RunResult r = run_cli(
        {"--fade-out", "1", "--no-dither", "-o", dir.path(), fixture_path("tagged.mp3")}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::int16_t> samples = samples_s16(parse_wav_file(dir.file("tagged.wav")));
    ASSERT_EQ(samples.size(), 78u * 1152 * 2);
    int tail = 0;
    for (std::size_t i = samples.size() - 1152 * 2; i < samples.size(); ++i) {
        tail = std::max(tail, std::abs(static_cast<int>(samples[i])));
    }
    EXPECT_LT(tail, 400);
}

}  // namespace

// --threads as a user gives it: the same WAV bytes, the same -v messages and the same exit
// status for every count, one file or several, and a clear refusal of a count out of range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

namespace {

struct Decoded {
    RunResult result;
    std::vector<std::vector<unsigned char>> wavs;
};

// Decodes names into one folder (the same path every time: -v names the outputs) and keeps
// the WAV files' bytes in the order of names.
Decoded decode(const TempDir& dir, const std::vector<std::string>& options,
               const std::vector<std::string>& names) {
    const std::string out = dir.file("out");
    run_shell("rm -rf " + shell_quote(out), dir);
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-o", out});
    for (const std::string& name : names) {
        args.push_back(fixture_path(name));
    }
    Decoded run;
    run.result = run_cli(args, dir);
    for (const std::string& name : names) {
        std::string stem = name.substr(name.rfind('/') + 1);
        stem = stem.substr(0, stem.size() - 4);
        run.wavs.push_back(read_file_bytes(out + "/" + stem + ".wav"));
    }
    return run;
}

TEST(CliThreads, EveryThreadCountWritesTheBytesAndMessagesOfOne) {
    TempDir dir;
    const std::vector<std::string> names = {
        "stereo_44k_128.mp3",        "midstream_tag.mp3", "vbr_xing.mp3", "crc.mp3",
        "exact/cbr128_48k_s_2s.mp3", "rate_change.mp3"};
    const std::vector<std::vector<std::string>> option_sets = {
        {"-v"},
        {"-v", "--window-options", "--normalize"},
        {"-v", "--exact-length", "--mono", "--bits", "24"},
        {"-q", "--jobs", "2", "--no-dither"},
        // The rate converter runs on a thread of its own only with more than one thread.
        {"-v", "--cd"},
        {"-v", "--rate", "22050", "--mono", "--bits", "24"},
    };
    for (const auto& options : option_sets) {
        std::vector<std::string> one_options = options;
        one_options.insert(one_options.end(), {"--threads", "1"});
        const Decoded one = decode(dir, one_options, names);
        ASSERT_EQ(one.result.status, 0) << one.result.err;
        for (const char* threads : {"2", "3", "4"}) {
            std::vector<std::string> many_options = options;
            many_options.insert(many_options.end(), {"--threads", threads});
            const Decoded many = decode(dir, many_options, names);
            SCOPED_TRACE(options.back() + " with --threads " + threads);
            EXPECT_EQ(many.result.status, one.result.status);
            if (options[0] == "-v") {
                EXPECT_EQ(many.result.err, one.result.err);
            }  // files at once interleave their messages in any order
            EXPECT_EQ(many.result.out, one.result.out);
            ASSERT_EQ(many.wavs.size(), names.size());
            for (std::size_t i = 0; i < names.size(); ++i) {
                EXPECT_FALSE(one.wavs[i].empty()) << names[i];
                EXPECT_TRUE(many.wavs[i] == one.wavs[i]) << names[i];
            }
        }
    }
}

TEST(CliThreads, DamagedInputFailsAlikeOnEveryThreadCount) {
    TempDir dir;
    const RunResult one =
        run_cli({"-v", "--threads", "1", "-o", dir.file("one"), fixture_path("garbage.mp3"),
                 fixture_path("empty.mp3"), fixture_path("short.mp3")},
                dir);
    const RunResult many =
        run_cli({"-v", "--threads", "4", "-o", dir.file("one"), fixture_path("garbage.mp3"),
                 fixture_path("empty.mp3"), fixture_path("short.mp3")},
                dir);
    EXPECT_NE(one.status, 0);
    EXPECT_EQ(many.status, one.status);
    EXPECT_EQ(many.err, one.err);
}

TEST(CliThreads, RefusesACountOutOfRange) {
    TempDir dir;
    for (const char* bad : {"0", "65", "two", ""}) {
        RunResult r = run_cli(
            {"--threads", bad, "-o", dir.file("out"), fixture_path("stereo_44k_128.mp3")}, dir);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(
            r.err.find(std::string("--threads takes a number from 1 to 64, not \"") + bad + "\""),
            std::string::npos)
            << r.err;
    }
}

}  // namespace

// pelmora-cli --json: one object a line on standard output for every file, parsed here with
// nlohmann, and nothing else on standard output whatever the engine prints.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

namespace {

// Every line of out as a JSON object, by its "input"; a line that is no object fails the test.
std::map<std::string, nlohmann::json> objects_by_input(const std::string& out) {
    std::map<std::string, nlohmann::json> objects;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "unfinished last line: " << out.substr(start);
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string line = out.substr(start, end - start);
        nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(object.is_object()) << "not a JSON object: " << line;
        if (object.is_object()) {
            objects[object.value("input", std::string())] = object;
        }
        start = end + 1;
    }
    return objects;
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// A decoded file, a file with no audio, a skipped one, a missing one and one that is no MPEG
// file, in one process and in two workers.
TEST(CliJson, GivesEveryFileOfAMixedBatchItsObject) {
    for (const char* jobs : {"1", "2"}) {
        TempDir dir;
        const std::string out = dir.file("out");
        copy_fixture("stereo_44k_128.mp3", dir.file("song.mp3"));
        copy_fixture("empty.mp3", dir.file("none.mp3"));
        copy_fixture("quiet.mp3", dir.file("old.mp3"));
        write_file_bytes(dir.file("notes.txt"), {'x', '\n'});
        RunResult first = run_cli({"-o", out, dir.file("old.mp3")}, dir);
        ASSERT_EQ(first.status, 0) << first.err;
        const std::vector<unsigned char> oldWav = read_file_bytes(out + "/old.wav");

        RunResult run = run_cli({"--json", "--existing", "skip", "--jobs", jobs, "-o", out,
                                 dir.file("song.mp3"), dir.file("none.mp3"), dir.file("old.mp3"),
                                 dir.file("missing.mp3"), dir.file("notes.txt")},
                                dir);
        EXPECT_EQ(run.status, 1) << run.err;
        std::map<std::string, nlohmann::json> objects = objects_by_input(run.out);
        ASSERT_EQ(objects.size(), 5u) << run.out;
        // The human lines stay on standard error.
        EXPECT_NE(run.err.find("no MPEG audio found"), std::string::npos) << run.err;

        // stereo_44k_128.mp3 (tests/data/README.md): 116 frames of 1152 samples at 44100 Hz,
        // 133632 samples = 3030.2 ms; a 0.5 amplitude tone, about -6 dBFS, never clipped.
        const nlohmann::json& song = objects[dir.file("song.mp3")];
        EXPECT_EQ(song["status"], "decoded") << song;
        EXPECT_EQ(song["output"], out + "/song.wav");
        EXPECT_TRUE(song["reason"].is_null());
        EXPECT_EQ(song["frames"], 116);
        EXPECT_EQ(song["duration_ms"], 3030);
        ASSERT_TRUE(song["peak_db"].is_number()) << song;
        EXPECT_GT(song["peak_db"].get<double>(), -7.0);
        EXPECT_LT(song["peak_db"].get<double>(), -5.5);
        EXPECT_EQ(song["clipped_samples"], 0);

        const nlohmann::json& none = objects[dir.file("none.mp3")];
        EXPECT_EQ(none["status"], "failed") << none;
        EXPECT_EQ(none["reason"], "no MPEG audio found");
        EXPECT_EQ(none["frames"], 0);
        EXPECT_TRUE(none["peak_db"].is_null()) << none;

        const nlohmann::json& old = objects[dir.file("old.mp3")];
        EXPECT_EQ(old["status"], "skipped") << old;
        EXPECT_EQ(old["output"], out + "/old.wav");
        EXPECT_TRUE(old["reason"].is_string());
        EXPECT_TRUE(old["frames"].is_null()) << old;
        EXPECT_EQ(read_file_bytes(out + "/old.wav"), oldWav);

        const nlohmann::json& missing = objects[dir.file("missing.mp3")];
        EXPECT_EQ(missing["status"], "failed") << missing;
        EXPECT_EQ(missing["reason"], "No such file or directory");
        EXPECT_TRUE(missing["output"].is_null());

        EXPECT_EQ(objects[dir.file("notes.txt")]["status"], "skipped");
    }
}

// One file at a time decodes in this process (the pool's inline worker), several at once in
// worker processes: the same inputs must end the same way in both, in every JSON object, in
// the lines on standard error (the order of ending aside) and in the bytes written.
TEST(CliJson, OneAtATimeAndWorkerProcessesTellEveryFileAlike) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("in").c_str(), 0777), 0);
    copy_fixture("stereo_44k_128.mp3", dir.file("in/song.mp3"));
    copy_fixture("short.mp3", dir.file("in/short.mp3"));
    copy_fixture("garbage.mp3", dir.file("in/garbage.mp3"));
    copy_fixture("crc.mp3", dir.file("in/crc.mp3"));
    copy_fixture("mono_22k.mp3", dir.file("in/taken.mp3"));
    copy_fixture("quiet.mp3", dir.file("in/over.mp3"));
    std::map<std::string, std::map<std::string, nlohmann::json>> objects;
    std::map<std::string, std::vector<std::string>> lines;
    for (const std::string jobs : {"1", "2"}) {
        const std::string out = dir.file("out" + jobs);
        // A folder in the WAV file's place is refused; an existing WAV file is replaced.
        ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
        ASSERT_EQ(mkdir((out + "/taken.wav").c_str(), 0777), 0);
        write_file_bytes(out + "/over.wav", {'o', 'l', 'd'});
        RunResult run =
            run_cli({"--json", "--no-dither", "--jobs", jobs, "-o", out, dir.file("in/song.mp3"),
                     dir.file("in/short.mp3"), dir.file("in/garbage.mp3"), dir.file("in/crc.mp3"),
                     dir.file("in/taken.mp3"), dir.file("in/over.mp3"), dir.file("in/missing.mp3")},
                    dir);
        EXPECT_EQ(run.status, 1) << run.err;
        // Outputs and reasons name the run's own output folder.
        for (const auto& [input, object] : objects_by_input(run.out)) {
            std::string text = object.dump();
            for (std::size_t at; (at = text.find(out)) != std::string::npos;) {
                text.replace(at, out.size(), "OUT");
            }
            objects[jobs][input] = nlohmann::json::parse(text);
        }
        std::size_t start = 0;
        while (start < run.err.size()) {
            std::size_t end = run.err.find('\n', start);
            std::string line = run.err.substr(start, end - start);
            // Each file's line names its output folder.
            for (std::size_t at; (at = line.find(out)) != std::string::npos;) {
                line.replace(at, out.size(), "OUT");
            }
            lines[jobs].push_back(line);
            start = end == std::string::npos ? run.err.size() : end + 1;
        }
        std::sort(lines[jobs].begin(), lines[jobs].end());
    }
    ASSERT_EQ(objects["1"].size(), 7u);
    EXPECT_EQ(objects["1"], objects["2"]);
    EXPECT_EQ(lines["1"], lines["2"]);
    // What each kind of end looks like, so that the two cannot agree by both going wrong.
    EXPECT_EQ(objects["1"][dir.file("in/song.mp3")]["status"], "decoded");
    EXPECT_EQ(objects["1"][dir.file("in/garbage.mp3")]["status"], "failed");
    EXPECT_EQ(objects["1"][dir.file("in/taken.mp3")]["reason"], "OUT/taken.wav: Is a directory");
    EXPECT_EQ(objects["1"][dir.file("in/over.mp3")]["output"], "OUT/over.wav");
    EXPECT_EQ(objects["1"][dir.file("in/missing.mp3")]["status"], "failed");
    for (const char* wav : {"song.wav", "short.wav", "crc.wav", "over.wav"}) {
        const std::vector<unsigned char> one = read_file_bytes(dir.file("out1/") + wav);
        EXPECT_FALSE(one.empty()) << wav;
        EXPECT_EQ(one, read_file_bytes(dir.file("out2/") + wav)) << wav;
    }
}

// --normalize makes the engine print a line of its own for every file, and --verbose lets
// the engine's lines through as they come; neither may reach standard output. A name that is
// not UTF-8 still gives valid JSON, with U+FFFD for the byte.
TEST(CliJson, StandardOutputHoldsNothingButObjects) {
    for (const char* jobs : {"1", "2"}) {
        for (bool verbose : {false, true}) {
            TempDir dir;
            const std::string odd = dir.file("odd\xff name.mp3");
            copy_fixture("quiet.mp3", dir.file("a.mp3"));
            copy_fixture("garbage.mp3", dir.file("b.mp3"));
            copy_fixture("short.mp3", odd);
            std::vector<std::string> args = {"--json", "--normalize", "--jobs",
                                             jobs,     "-o",          dir.file("out")};
            if (verbose) {
                args.push_back("--verbose");
            }
            for (const std::string& input : {dir.file("a.mp3"), dir.file("b.mp3"), odd}) {
                args.push_back(input);
            }
            RunResult run = run_cli(args, dir);
            EXPECT_EQ(run.status, 1) << run.err;
            std::map<std::string, nlohmann::json> objects = objects_by_input(run.out);
            EXPECT_EQ(objects.size(), 3u) << run.out;
            EXPECT_EQ(objects[dir.file("a.mp3")]["status"], "decoded");
            EXPECT_EQ(objects[dir.file("b.mp3")]["status"], "failed");
            const nlohmann::json& replaced = objects[dir.file("odd\xEF\xBF\xBD name.mp3")];
            EXPECT_EQ(replaced["status"], "decoded") << run.out;
            // The engine's normalizing line went to standard error instead.
            EXPECT_NE(run.err.find("Normaliz"), std::string::npos) << run.err;
        }
    }
}

// Without --json nothing changes: the file lines stay on standard error, stdout stays empty.
TEST(CliJson, WithoutTheSwitchStandardOutputStaysEmpty) {
    TempDir dir;
    copy_fixture("quiet.mp3", dir.file("a.mp3"));
    RunResult run = run_cli({"-o", dir.file("out"), dir.file("a.mp3")}, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("a.mp3 -> "), std::string::npos) << run.err;
}

}  // namespace

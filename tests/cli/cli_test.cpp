// pelmora-cli as a user runs it: a child process, its exit status and its two streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Cli, HelpExplainsEveryOptionAndTheTimeSyntax) {
    TempDir dir;
    RunResult r = run_cli({"--help"}, dir);
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--bits",         "--no-dither",  "--normalize",
                               "--skip-silence", "--fade-in",    "--fade-out",
                               "--attenuation",  "--mono",       "--stereo",
                               "--channel",      "--half-rate",  "--ignore-crc",
                               "--gap",          "--cross-fade", "-o",
                               "1:30",           "1/75",         "--window-options",
                               "--jobs",         "--quiet",      "--verbose",
                               "--exact-length", "--tags",       "130"}) {
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
    EXPECT_EQ(run_cli({"--jobs", "x", "-o", dir.path(), fixture_path("short.mp3")}, dir).status, 2);

    // The output folder goes through the folder check; its message is printed as it stands.
    // Any name is a folder name on Linux; only the length limit makes a text invalid.
    std::string bad = dir.file(std::string(4096, 'n'));
    RunResult invalid = run_cli({"-o", bad, fixture_path("short.mp3")}, dir);
    EXPECT_EQ(invalid.status, 2);
    EXPECT_EQ(invalid.err,
              "pelmora-cli: The folder:\n\n" + bad + "\n\nis invalid. Please re-enter.\n");
    write_file_bytes(dir.file("plainfile"), {1});
    RunResult below_file =
        run_cli({"-o", dir.file("plainfile/sub"), fixture_path("short.mp3")}, dir);
    EXPECT_EQ(below_file.status, 2);
    EXPECT_TRUE(contains(below_file.err, "cannot be created. Please double check."))
        << below_file.err;

    // A folder without .mp3 files leaves nothing to do.
    mkdir(dir.file("empty").c_str(), 0755);
    EXPECT_EQ(run_cli({"-o", dir.file("out"), dir.file("empty")}, dir).status, 2);
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

TEST(Cli, ExactLengthTrimsInBothRequestFormsAndIsOffByDefault) {
    TempDir dir;
    // stereo_44k_128_info.mp3: an Info frame, 116 audio frames, delay 576, padding 756
    // (README.md), so 116 x 1152 - 576 - 756 = 132300 samples; without the option the Info
    // frame is decoded too: 117 x 1152.
    const std::string input = fixture_path("stereo_44k_128_info.mp3");
    const struct {
        std::vector<std::string> options;
        std::size_t samples;
    } cases[] = {{{}, 117u * 1152},
                 {{"--exact-length"}, 132300},
                 {{"--exact-length", "--window-options"}, 132300}};
    int n = 0;
    for (const auto& c : cases) {
        std::string out = dir.file("out" + std::to_string(n++));
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-q", "-o", out, input});
        RunResult r = run_cli(args, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        ParsedWav wav = parse_wav_file(out + "/stereo_44k_128_info.wav");
        ASSERT_TRUE(wav.ok) << wav.error;
        EXPECT_EQ(wav.data_size / wav.block_align, c.samples) << n;
    }
}

TEST(Cli, DecodesFilesInOrderIntoACreatedFolder) {
    TempDir dir;
    std::string out = dir.file("new/nested");
    RunResult r = run_cli({"--verbose", "--bits", "8", "--mono", "-o", out,
                           fixture_path("short.mp3"), fixture_path("stereo_44k_128.mp3")},
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

TEST(Cli, VerbosePassesTheEngineOutputThroughQuietShowsNothing) {
    TempDir dir;
    RunResult r =
        run_cli({"--verbose", "--normalize", "-o", dir.path(), fixture_path("quiet.mp3")}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Normalizing .... Normalizing returned 0\n");
    EXPECT_TRUE(contains(r.err, "MPEG Audio Decoder 0.14.2 (beta) - 78 frames decoded"));

    // Without a terminal: one line per finished file, the engine's messages collected.
    RunResult plain = run_cli({"--normalize", "-o", dir.path(), fixture_path("quiet.mp3")}, dir);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err, fixture_path("quiet.mp3") + " -> " + dir.file("quiet.wav") +
                             "\nDecoded all files successfully.\n");

    RunResult quiet = run_cli({"-q", "-o", dir.path(), fixture_path("quiet.mp3")}, dir);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST(Cli, AFailingFileIsNamedAndTheOthersStillDecoded) {
    TempDir dir;
    std::string missing = dir.file("missing.mp3");
    // The WAV path of vbr_xing.mp3 is taken by a folder: its decode fails.
    mkdir(dir.file("vbr_xing.wav").c_str(), 0755);
    RunResult r = run_cli({"-o", dir.path(), fixture_path("short.mp3"), missing,
                           fixture_path("vbr_xing.mp3"), fixture_path("tagged.mp3")},
                          dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "pelmora-cli: " + missing + ": No such file or directory\n"))
        << r.err;
    // A folder at the output name is refused before the decode, with the system's words.
    EXPECT_TRUE(contains(r.err, "pelmora-cli: " + fixture_path("vbr_xing.mp3") + ": " +
                                    dir.file("vbr_xing.wav") + ": Is a directory\n"))
        << r.err;
    // The missing input failed; the one whose output is a folder was refused, never decoded.
    EXPECT_TRUE(contains(r.err,
                         "pelmora-cli: Decoded 2 of 4 files. This file could not be "
                         "decoded:\n\n" +
                             missing +
                             ": No such file or directory\n\nThis file was found but "
                             "not decoded:\n\n" +
                             fixture_path("vbr_xing.mp3") + ": " + dir.file("vbr_xing.wav") +
                             ": Is a directory\n"))
        << r.err;
    EXPECT_TRUE(parse_wav_file(dir.file("short.wav")).ok);
    EXPECT_TRUE(parse_wav_file(dir.file("tagged.wav")).ok);
}

// Copies a fixture under a new path.
void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

TEST(Cli, FoldersAreSearchedAndDuplicateNamesSkippedWithAWarning) {
    TempDir dir;
    for (const char* folder : {"tree", "tree/a", "tree/b", "tree/b/deeper"}) {
        mkdir(dir.file(folder).c_str(), 0755);
    }
    copy_fixture("short.mp3", dir.file("tree/a/song.mp3"));
    copy_fixture("tagged.mp3", dir.file("tree/b/Song.MP3"));
    copy_fixture("quiet.mp3", dir.file("tree/b/deeper/other.Mp3"));
    write_file_bytes(dir.file("tree/notes.txt"), {'x'});
    RunResult r = run_cli({"-o", dir.file("out"), dir.file("tree")}, dir);
    // A file found but not decoded fails the run, and is named again at its end.
    EXPECT_EQ(r.status, 1) << r.err;
    // Folders are searched in name order, so a/song.mp3 is listed and b/Song.MP3 named.
    EXPECT_TRUE(contains(r.err, "skipping " + dir.file("tree/b/Song.MP3") + ": same file name as " +
                                    dir.file("tree/a/song.mp3")))
        << r.err;
    EXPECT_TRUE(contains(r.err,
                         "pelmora-cli: Decoded 2 of 3 files. This file was found but not "
                         "decoded:\n\n" +
                             dir.file("tree/b/Song.MP3") + ": same file name as " +
                             dir.file("tree/a/song.mp3") + "\n"))
        << r.err;
    EXPECT_TRUE(file_exists(dir.file("out/other.wav")));
    EXPECT_TRUE(file_exists(dir.file("out/song.wav")));
    EXPECT_FALSE(file_exists(dir.file("out/Song.wav")));
    EXPECT_FALSE(file_exists(dir.file("out/notes.wav")));
}

TEST(Cli, WindowOptionsFadeEveryFileOverAtLeastOneSecond) {
    TempDir dir;
    RunResult window = run_cli({"--window-options", "--no-dither", "-o", dir.file("w"),
                                fixture_path("stereo_44k_128.mp3")},
                               dir);
    RunResult engine = run_cli({"--fade-in", "1", "--fade-out", "1", "-o", dir.file("e"),
                                fixture_path("stereo_44k_128.mp3")},
                               dir);
    ASSERT_EQ(window.status, 0) << window.err;
    ASSERT_EQ(engine.status, 0) << engine.err;
    // Each run is a fresh process, so the dither sequence starts alike: the same bytes. The
    // window never turns dithering off, so --no-dither has no effect there.
    EXPECT_EQ(read_file_bytes(dir.file("w/stereo_44k_128.wav")),
              read_file_bytes(dir.file("e/stereo_44k_128.wav")));
}

TEST(Cli, ParallelWorkersWriteTheSameFilesAsOneProcess) {
    TempDir dir;
    std::vector<std::string> inputs = {fixture_path("stereo_44k_128.mp3"),
                                       fixture_path("mono_22k.mp3"), fixture_path("layer2.mp3"),
                                       fixture_path("dual_channel.mp3"),
                                       fixture_path("rate_change.mp3")};
    std::vector<std::string> serial = {"--no-dither", "-o", dir.file("one")};
    std::vector<std::string> parallel = {"--no-dither", "--jobs", "2", "-o", dir.file("two")};
    serial.insert(serial.end(), inputs.begin(), inputs.end());
    parallel.insert(parallel.end(), inputs.begin(), inputs.end());
    ASSERT_EQ(run_cli(serial, dir).status, 0);
    RunResult r = run_cli(parallel, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"stereo_44k_128.wav", "mono_22k.wav", "layer2.wav", "dual_channel.wav",
                             "rate_change.wav"}) {
        EXPECT_EQ(read_file_bytes(dir.file(std::string("one/") + name)),
                  read_file_bytes(dir.file(std::string("two/") + name)))
            << name;
    }
}

// Dithered, not --no-dither: the dither's noise runs on from sample to sample, so a worker
// that carried it over from its previous file would change the bytes of the next one.
TEST(Cli, EveryJobsRunWritesEachFileAsARunOfItAlone) {
    TempDir dir;
    const std::vector<std::string> names = {"stereo_44k_128", "mono_22k",    "layer2",
                                            "dual_channel",   "rate_change", "joint_stereo"};
    std::vector<std::string> inputs;
    for (const std::string& name : names) {
        inputs.push_back(fixture_path(name + ".mp3"));
        std::string alone = dir.file("alone_" + name);
        ASSERT_EQ(run_cli({"-o", alone, inputs.back()}, dir).status, 0) << name;
    }
    int runs = 0;
    for (const char* jobs : {"2", "2", "2", "3"}) {
        const std::string out = dir.file("run" + std::to_string(++runs));
        std::vector<std::string> args = {"--jobs", jobs, "-o", out};
        args.insert(args.end(), inputs.begin(), inputs.end());
        RunResult r = run_cli(args, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& name : names) {
            const std::vector<unsigned char> bytes = read_file_bytes(out + "/" + name + ".wav");
            ASSERT_FALSE(bytes.empty()) << name;
            EXPECT_TRUE(bytes == read_file_bytes(dir.file("alone_" + name) + "/" + name + ".wav"))
                << "--jobs " << jobs << " (run " << runs << "): " << name;
        }
    }
}

// A long input made of one fixture's frames many times over (MPEG frames concatenate).
std::string long_input(const TempDir& dir) {
    std::vector<unsigned char> frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 400; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    std::string path = dir.file("long.mp3");
    write_file_bytes(path, bytes);
    return path;
}

// Starts the converter with its standard error in the folder's stderr.txt.
pid_t start_cli(const std::vector<std::string>& args, const TempDir& dir) {
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(PELMORA_CLI)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(PELMORA_CLI, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits until the output file has grown past 200 kB (at most 10 s). Until it is finished it
// is written under a temporary name beside its own: ".long.wav." and six characters.
void wait_for_growth(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const std::string prefix = "." + path.substr(slash + 1) + ".";
    for (int i = 0; i < 2000; ++i) {
        for (const std::string& name : folder_entries(folder)) {
            struct stat info {};
            if (name.rfind(prefix, 0) == 0 && name.size() == prefix.size() + 6 &&
                stat((folder + "/" + name).c_str(), &info) == 0 && info.st_size > 200000) {
                return;
            }
        }
        usleep(5000);
    }
}

// Starts the converter, waits until the watched output file has grown, then sends SIGINT.
int interrupt_run(const std::vector<std::string>& args, const std::string& watched,
                  const TempDir& dir) {
    pid_t pid = start_cli(args, dir);
    wait_for_growth(watched);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, InterruptStopsTheCurrentFileWithTrueSizesAndStartsNoOther) {
    TempDir dir;
    std::string input = long_input(dir);
    for (const char* jobs : {"1", "2"}) {
        std::string out = dir.file(std::string("out") + jobs);
        int status = interrupt_run({"--jobs", jobs, "-o", out, input, fixture_path("short.mp3"),
                                    fixture_path("tagged.mp3")},
                                   out + "/long.wav", dir);
        EXPECT_EQ(status, 130) << jobs;
        std::vector<unsigned char> err = read_file_bytes(dir.file("stderr.txt"));
        EXPECT_TRUE(
            contains(std::string(err.begin(), err.end()), "Decoding files aborted by user.\n"));
        ParsedWav wav = parse_wav_file(out + "/long.wav");
        ASSERT_TRUE(wav.ok) << wav.error;
        EXPECT_EQ(wav.riff_size, wav.file_size - 8);
        // Header, data, then the 24-byte chunk that marks a stopped file.
        EXPECT_EQ(wav.data_size, wav.file_size - 44 - 24);
        EXPECT_LT(wav.data_size, 400u * 116 * 1152 * 4);  // stopped early
        if (std::string(jobs) == "1") {
            EXPECT_FALSE(file_exists(out + "/short.wav"));  // no further file started
        }
    }
}

TEST(Cli, InterruptWithTwoJobsStartsNoWaitingFile) {
    TempDir dir;
    std::string first = long_input(dir);
    std::string second = dir.file("long2.mp3");
    ASSERT_EQ(link(first.c_str(), second.c_str()), 0);  // another name, another WAV file
    std::string out = dir.file("out");
    // Both long files run at once; the short one waits for a free worker.
    int status = interrupt_run({"--jobs", "2", "-o", out, first, second, fixture_path("short.mp3")},
                               out + "/long.wav", dir);
    EXPECT_EQ(status, 130);
    EXPECT_FALSE(file_exists(out + "/short.wav"));
    for (const char* name : {"/long.wav", "/long2.wav"}) {
        ParsedWav wav = parse_wav_file(out + name);
        ASSERT_TRUE(wav.ok) << name << ": " << wav.error;
        // Header, data, then the 24-byte chunk that marks a stopped file.
        EXPECT_EQ(wav.data_size, wav.file_size - 44 - 24) << name;
    }
}

// A /proc file's text; empty when it is not there.
std::string proc_text(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<pid_t> children_of(pid_t pid) {
    std::string id = std::to_string(pid);
    std::string text = proc_text("/proc/" + id + "/task/" + id + "/children");
    std::vector<pid_t> pids;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            pids.push_back(static_cast<pid_t>(std::stol(text.substr(start, end - start))));
        }
        start = end + 1;
    }
    return pids;
}

TEST(Cli, SecondInterruptEndsAtOnceAndTakesTheWorkersAlong) {
    TempDir dir;
    std::string first = long_input(dir);
    std::string second = dir.file("long2.mp3");
    ASSERT_EQ(link(first.c_str(), second.c_str()), 0);
    std::string out = dir.file("out");
    // The workers come to this process when the converter ends, so their ends can be seen
    // here (and no orphaned group's hangup ends them in its stead).
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    pid_t pid = start_cli({"--jobs", "2", "-o", out, first, second}, dir);
    wait_for_growth(out + "/long.wav");
    std::vector<pid_t> workers = children_of(pid);
    if (workers.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        GTEST_SKIP() << "no /proc/PID/task/PID/children to find the workers";
    }
    ASSERT_EQ(workers.size(), 2u);
    // Stopped workers cannot answer the first Ctrl-C, so the run cannot end by itself.
    for (pid_t worker : workers) {
        kill(worker, SIGSTOP);
    }
    kill(pid, SIGINT);
    usleep(300000);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);  // still waiting for its workers
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::vector<unsigned char> err = read_file_bytes(dir.file("stderr.txt"));
    EXPECT_TRUE(
        contains(std::string(err.begin(), err.end()), "\nDecoding files aborted by user.\n"));
    for (pid_t worker : workers) {
        int workerStatus = 0;
        pid_t ended = 0;
        for (int i = 0; i < 200 && ended == 0; ++i) {  // SIGKILL is delivered, not awaited
            ended = waitpid(worker, &workerStatus, WNOHANG);
            usleep(5000);
        }
        EXPECT_EQ(ended, worker);
        if (ended != worker) {
            kill(worker, SIGKILL);  // leave nothing behind
            waitpid(worker, nullptr, 0);
        } else {
            EXPECT_TRUE(WIFSIGNALED(workerStatus) && WTERMSIG(workerStatus) == SIGKILL);
        }
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
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

// What pelmora-cli leaves on disk when outputs are links, inputs hold no audio, the disk
// fills, an input turns into a FIFO or a signal stops the run: a child process under a time
// limit, its exit status, its standard error and the folder afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

struct Ended {
    int status = -1;  // exit status; -1 when killed (also after the time limit)
    std::string err;
};

struct Launch {
    Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}
    std::vector<std::string> args;
    rlim_t fileSizeLimit = 0;  // bytes; a larger write then fails with EFBIG
    // Called while the child runs, with its id, until it returns true.
    std::function<bool(pid_t)> whileRunning;
};

// Runs the converter with standard error in a file of dir; a run over 60 s is killed, so a
// hang fails the test instead of stopping it.
Ended run(const Launch& launch, const TempDir& dir) {
    const std::string errPath = dir.file("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        if (launch.fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(PELMORA_CLI)};
        for (const std::string& arg : launch.args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(PELMORA_CLI, argv.data());
        _exit(127);
    }
    Ended ended;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool watching = static_cast<bool>(launch.whileRunning);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        if (watching && launch.whileRunning(pid)) {
            watching = false;
        }
        usleep(watching ? 1000 : 5000);
    }
    ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Bytes err = read_file_bytes(errPath);
    ended.err.assign(err.begin(), err.end());
    return ended;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// One fixture's frames many times over (MPEG frames concatenate): 3 s of audio per copy.
void write_long_input(const std::string& path, int copies) {
    Bytes frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    Bytes bytes;
    for (int i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    write_file_bytes(path, bytes);
}

// The size of the temporary file the output is written under (".name.XXXXXX" beside it);
// -1 while there is none.
long long temporary_size(const std::string& folder, const std::string& name) {
    const std::string prefix = "." + name + ".";
    for (const std::string& entry : folder_entries(folder)) {
        struct stat info {};
        if (entry.rfind(prefix, 0) == 0 && entry.size() == prefix.size() + 6 &&
            stat((folder + "/" + entry).c_str(), &info) == 0) {
            return static_cast<long long>(info.st_size);
        }
    }
    return -1;
}

TEST(CliOutputs, LinksAtOutputNamesAreReplacedAndNeverWrittenThrough) {
    TempDir dir;
    mkdir(dir.file("in").c_str(), 0755);
    mkdir(dir.file("out").c_str(), 0755);
    write_file_bytes(dir.file("precious.txt"), {'k', 'e', 'e', 'p'});
    copy_fixture("short.mp3", dir.file("in/l.mp3"));
    copy_fixture("short.mp3", dir.file("in/a.mp3"));
    copy_fixture("tagged.mp3", dir.file("in/b.mp3"));
    const Bytes b = read_file_bytes(dir.file("in/b.mp3"));
    ASSERT_EQ(symlink("../precious.txt", dir.file("out/l.wav").c_str()), 0);
    // An output name that leads to another input of the run.
    ASSERT_EQ(symlink("../in/b.mp3", dir.file("out/a.wav").c_str()), 0);

    Ended ended = run({{"-o", dir.file("out"), dir.file("in")}}, dir);
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(read_file_bytes(dir.file("precious.txt")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(read_file_bytes(dir.file("in/b.mp3")), b);
    for (const char* name : {"out/l.wav", "out/a.wav", "out/b.wav"}) {
        struct stat info {};
        ASSERT_EQ(lstat(dir.file(name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
        EXPECT_TRUE(parse_wav_file(dir.file(name)).ok) << name;
    }
    EXPECT_EQ(folder_entries(dir.file("out")), (Names{"a.wav", "b.wav", "l.wav"}));
}

TEST(CliOutputs, AnOutputThatIsItsOwnInputIsRefusedAndTheInputKept) {
    TempDir dir;
    copy_fixture("short.mp3", dir.file("soft.mp3"));
    copy_fixture("tagged.mp3", dir.file("hard.mp3"));
    copy_fixture("quiet.mp3", dir.file("fine.mp3"));
    const Bytes soft = read_file_bytes(dir.file("soft.mp3"));
    const Bytes hard = read_file_bytes(dir.file("hard.mp3"));
    ASSERT_EQ(symlink("soft.mp3", dir.file("soft.wav").c_str()), 0);
    ASSERT_EQ(link(dir.file("hard.mp3").c_str(), dir.file("hard.wav").c_str()), 0);

    for (const char* jobs : {"1", "2"}) {
        Ended ended = run({{"--jobs", jobs, "-o", dir.path(), dir.file("soft.mp3"),
                            dir.file("hard.mp3"), dir.file("fine.mp3")}},
                          dir);
        EXPECT_EQ(ended.status, 1) << ended.err;
        EXPECT_EQ(read_file_bytes(dir.file("soft.mp3")), soft);
        EXPECT_EQ(read_file_bytes(dir.file("hard.mp3")), hard);
        for (const char* name : {"soft", "hard"}) {
            std::string reason = "the output " + dir.file(std::string(name) + ".wav") +
                                 " is the input file itself; not decoded";
            EXPECT_TRUE(contains(ended.err, reason)) << jobs << ended.err;
        }
        EXPECT_TRUE(contains(ended.err, "Decoded 1 of 3 files. 2 files were found but not decoded"))
            << ended.err;
        EXPECT_TRUE(parse_wav_file(dir.file("fine.wav")).ok);
        EXPECT_EQ(folder_entries(dir.path()), (Names{"fine.mp3", "fine.wav", "hard.mp3", "hard.wav",
                                                     "soft.mp3", "soft.wav", "stderr.txt"}));
    }
}

TEST(CliOutputs, InputsWithoutAudioFailWithExitOneAndLeaveNoOutput) {
    TempDir dir;
    mkdir(dir.file("in").c_str(), 0755);
    copy_fixture("empty.mp3", dir.file("in/empty.mp3"));
    copy_fixture("garbage.mp3", dir.file("in/garbage.mp3"));
    copy_fixture("exact/manifest.txt", dir.file("in/text.mp3"));
    copy_fixture("short.mp3", dir.file("in/short.mp3"));
    // A real WAV under an MPEG name: made by a first run.
    ASSERT_EQ(run({{"-q", "-o", dir.file("wav"), fixture_path("stereo_44k_128.mp3")}}, dir).status,
              0);
    write_file_bytes(dir.file("in/wave.mp3"), read_file_bytes(dir.file("wav/stereo_44k_128.wav")));

    for (const char* jobs : {"1", "2"}) {
        const std::string out = dir.file(std::string("out") + jobs);
        mkdir(out.c_str(), 0755);
        write_file_bytes(out + "/empty.wav", {'o', 'l', 'd'});  // an earlier run's file
        Ended ended = run({{"--jobs", jobs, "-o", out, dir.file("in")}}, dir);
        EXPECT_EQ(ended.status, 1) << ended.err;
        EXPECT_EQ(folder_entries(out), (Names{"empty.wav", "short.wav"})) << jobs;
        EXPECT_EQ(read_file_bytes(out + "/empty.wav"), (Bytes{'o', 'l', 'd'}));
        EXPECT_TRUE(parse_wav_file(out + "/short.wav").ok);
        EXPECT_TRUE(contains(ended.err, "Decoded 1 of 5 files. 4 files could not be decoded"))
            << ended.err;
        for (const char* name : {"empty", "garbage", "text", "wave"}) {
            std::string input = dir.file("in/" + std::string(name) + ".mp3");
            // The engine's own words with the file; in one process also as the reason.
            EXPECT_TRUE(contains(ended.err, input + ": no MPEG audio found\n")) << ended.err;
            if (std::string(jobs) == "1") {
                EXPECT_TRUE(contains(ended.err, "pelmora-cli: " + input + ": no MPEG audio found"))
                    << ended.err;
            }
        }
    }
}

TEST(CliOutputs, AFullDiskLeavesNoJunkAndKeepsTheOlderWav) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 12);  // 36 s: about 6 MiB of WAV
    copy_fixture("short.mp3", dir.file("short.mp3"));
    for (const char* jobs : {"1", "2"}) {
        const std::string out = dir.file(std::string("out") + jobs);
        mkdir(out.c_str(), 0755);
        write_file_bytes(out + "/long.wav", {'o', 'l', 'd'});
        Launch launch{{"--jobs", jobs, "-o", out, dir.file("long.mp3"), dir.file("short.mp3")}};
        launch.fileSizeLimit = 1 << 20;  // the short file's 23 KiB fit, the long one's do not
        Ended ended = run(launch, dir);
        EXPECT_EQ(ended.status, 1) << ended.err;
        // The system's reason, in the file's line and in the end report.
        EXPECT_TRUE(
            contains(ended.err, "pelmora-cli: " + dir.file("long.mp3") + ": File too large\n"))
            << ended.err;
        EXPECT_TRUE(contains(ended.err, "This file could not be decoded:\n\n" +
                                            dir.file("long.mp3") + ": File too large\n"))
            << ended.err;
        EXPECT_EQ(read_file_bytes(out + "/long.wav"), (Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(parse_wav_file(out + "/short.wav").data_size, 5u * 1152 * 4);
        EXPECT_EQ(folder_entries(out), (Names{"long.wav", "short.wav"})) << jobs;
    }
}

// The scan saw a regular file; by the time its turn comes it is a FIFO no one writes to.
TEST(CliOutputs, AFifoSwappedInAfterTheScanFailsInsteadOfHanging) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 40);
    copy_fixture("short.mp3", dir.file("turns.mp3"));
    const std::string out = dir.file("out");
    std::string swapError;
    Launch launch{{"-o", out, dir.file("long.mp3"), dir.file("turns.mp3")}};
    launch.whileRunning = [&](pid_t pid) {
        if (temporary_size(out, "long.wav") < 0) {
            return false;
        }
        kill(pid, SIGSTOP);  // the first file is still being decoded: swap the second now
        if (unlink(dir.file("turns.mp3").c_str()) != 0 ||
            mkfifo(dir.file("turns.mp3").c_str(), 0644) != 0) {
            swapError = "swap failed";
        }
        kill(pid, SIGCONT);
        return true;
    };
    Ended ended = run(launch, dir);
    ASSERT_EQ(swapError, "");
    EXPECT_EQ(ended.status, 1) << ended.err;
    EXPECT_TRUE(contains(ended.err, dir.file("turns.mp3") + ": not a regular file")) << ended.err;
    EXPECT_TRUE(parse_wav_file(out + "/long.wav").ok);
    EXPECT_EQ(folder_entries(out), (Names{"long.wav"}));
}

// SIGTERM and SIGHUP stop the run as Ctrl-C does: the current file is finished with its true
// sizes and kept as partial, no other starts, and the status tells the signal.
TEST(CliOutputs, TermAndHangupStopTheRunWithTrueSizesAndTheirStatus) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 400);  // 20 minutes: far from done when stopped
    copy_fixture("short.mp3", dir.file("short.mp3"));
    struct Case {
        int signal;
        const char* jobs;
    };
    for (Case c : {Case{SIGTERM, "1"}, Case{SIGHUP, "1"}, Case{SIGTERM, "2"}}) {
        const std::string out =
            dir.file("out" + std::to_string(c.signal) + "-" + std::string(c.jobs));
        Launch launch{{"--jobs", c.jobs, "-o", out, dir.file("long.mp3"), dir.file("short.mp3"),
                       fixture_path("tagged.mp3")}};
        launch.whileRunning = [&](pid_t pid) {
            if (temporary_size(out, "long.wav") < 200000) {
                return false;
            }
            kill(pid, c.signal);
            return true;
        };
        Ended ended = run(launch, dir);
        const std::string what = std::to_string(c.signal) + " jobs " + c.jobs;
        EXPECT_EQ(ended.status, 128 + c.signal) << what << ended.err;
        ParsedWav wav = parse_wav_file(out + "/long.wav");
        ASSERT_TRUE(wav.ok) << what << wav.error;
        EXPECT_EQ(wav.riff_size, wav.file_size - 8) << what;
        // Header, data, then the 24-byte chunk that marks a stopped file.
        EXPECT_EQ(wav.data_size, wav.file_size - 44 - 24) << what;
        EXPECT_LT(wav.data_size, 400u * 116 * 1152 * 4) << what;
        if (std::string(c.jobs) == "1") {
            EXPECT_TRUE(contains(ended.err,
                                 "Decoding files aborted by user.\n\nThis file was "
                                 "stopped part way:\n\n" +
                                     dir.file("long.mp3") + ": kept with what was decoded\n"))
                << what << ended.err;
            EXPECT_EQ(folder_entries(out), (Names{"long.wav"})) << what;
            continue;
        }
        // Beside the long file the others may have run, and been stopped too; no temporary
        // file is left in any case.
        EXPECT_TRUE(contains(ended.err, "Decoding files aborted by user.\n\n")) << ended.err;
        EXPECT_TRUE(contains(ended.err, dir.file("long.mp3") + ": kept with what was decoded\n"))
            << ended.err;
        for (const std::string& name : folder_entries(out)) {
            EXPECT_NE(name[0], '.') << what << name;
        }
    }
}

// A second signal ends the program at once; the file being written is removed, not left
// behind under its temporary name.
TEST(CliOutputs, ASecondSignalEndsAtOnceAndLeavesNoTemporaryFile) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 400);
    const std::string out = dir.file("out");
    Launch launch{{"-o", out, dir.file("long.mp3")}};
    launch.whileRunning = [&](pid_t pid) {
        if (temporary_size(out, "long.wav") < 200000) {
            return false;
        }
        // Stopped, the first signal cannot finish the file before the second comes; pending
        // signals arrive lowest number first (two of one kind would merge into one).
        kill(pid, SIGSTOP);
        kill(pid, SIGINT);
        kill(pid, SIGTERM);
        kill(pid, SIGCONT);
        return true;
    };
    Ended ended = run(launch, dir);
    EXPECT_EQ(ended.status, 128 + SIGTERM) << ended.err;
    EXPECT_TRUE(contains(ended.err, "\nDecoding files aborted by user.\n")) << ended.err;
    EXPECT_EQ(folder_entries(out), Names{});
}

}  // namespace

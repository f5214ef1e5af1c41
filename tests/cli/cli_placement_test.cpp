// What is on disk after pelmora-cli was cancelled, killed, raced by another run, limited or
// fed hostile lists and names: a child process (on a pseudo-terminal where the terminal
// matters), and the folder's bytes afterwards.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

struct Launch {
    Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}
    std::vector<std::string> args;
    bool terminal = false;      // standard error on a pseudo-terminal; a pipe otherwise
    bool unprivileged = false;  // as nobody, so that permissions apply
    rlim_t fileSizeLimit = 0;   // bytes; SIGXFSZ keeps its default: the program must cope
    std::vector<std::pair<std::string, std::string>> environment = {};
    // Called about every millisecond while the child runs, with its id, until it returns true.
    std::function<bool(pid_t)> whileRunning = {};
};

struct Ended {
    int status = -1;  // exit status; -1 when ended by a signal
    int signal = 0;   // the signal that ended it
    std::string output;
};

[[noreturn]] void start(const Launch& launch) {
    for (const auto& [name, value] : launch.environment) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    if (launch.fileSizeLimit > 0) {
        rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (launch.unprivileged &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(126);
    }
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(PELMORA_CLI)};
    for (const std::string& arg : launch.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(PELMORA_CLI, argv.data());
    _exit(127);
}

// A run over 60 s is killed, so that a hang fails the test instead of stopping it.
Ended run(const Launch& launch) {
    int fd = -1;
    pid_t pid = -1;
    if (launch.terminal) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 100;
        pid = forkpty(&fd, nullptr, nullptr, &size);
        if (pid == 0) {
            start(launch);
        }
    } else {
        int fds[2];
        if (pipe(fds) != 0) {
            return {};
        }
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            dup2(fds[1], STDERR_FILENO);
            start(launch);
        }
        close(fds[1]);
        fd = fds[0];
    }
    Ended ended;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool watching = static_cast<bool>(launch.whileRunning);
    char block[4096];
    while (true) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        if (watching && launch.whileRunning(pid)) {
            watching = false;
        }
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 1) <= 0) {
            continue;
        }
        ssize_t got = read(fd, block, sizeof block);
        if (got <= 0) {
            break;  // end of file, or EIO once the terminal's last writer has gone
        }
        ended.output.append(block, static_cast<std::size_t>(got));
    }
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ended.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return ended;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One fixture's frames many times over (MPEG frames concatenate): 3 s of audio per copy.
void write_long_input(const std::string& path, int copies = 24) {
    Bytes frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    Bytes bytes;
    for (int i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    write_file_bytes(path, bytes);
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// The temporary files in a folder: ".name.XXXXXX".
Names dot_files(const std::string& folder) {
    Names found;
    for (const std::string& entry : folder_entries(folder)) {
        if (!entry.empty() && entry[0] == '.') {
            found.push_back(entry);
        }
    }
    return found;
}

// The largest temporary file in the folder; -1 while there is none.
long long largest_temporary(const std::string& folder) {
    long long largest = -1;
    for (const std::string& entry : dot_files(folder)) {
        struct stat info {};
        if (stat((folder + "/" + entry).c_str(), &info) == 0) {
            largest = std::max(largest, static_cast<long long>(info.st_size));
        }
    }
    return largest;
}

// True once count temporary files have each grown past bytes.
bool temporaries_grown(const std::string& folder, std::size_t count, long long bytes) {
    std::size_t grown = 0;
    for (const std::string& entry : dot_files(folder)) {
        struct stat info {};
        if (stat((folder + "/" + entry).c_str(), &info) == 0 && info.st_size > bytes) {
            ++grown;
        }
    }
    return grown >= count;
}

// The last chunk is the mark of a stopped file (checked with the independent parser).
bool ends_with_stop_mark(const std::string& path) {
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(read_file_bytes(path), &error);
    return error.empty() && !chunks.empty() && chunks.back().id == "part" &&
           std::string(chunks.back().body.begin(), chunks.back().body.end()) == "stopped part way";
}

std::vector<pid_t> children_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> children;
    pid_t child = 0;
    while (in >> child) {
        children.push_back(child);
    }
    return children;
}

TEST(CliPlacement, ACancelledOverwriteLeavesTheOlderWavsByteForByte) {
    TempDir dir;
    Names inputs;
    for (const char* name : {"a", "b", "c", "d"}) {
        inputs.push_back(dir.file(std::string(name) + ".mp3"));
        write_long_input(inputs.back(), 8);
    }
    for (const char* jobs : {"1", "4"}) {
        const std::string out = dir.file(std::string("out") + jobs);
        std::vector<std::string> args{"--jobs", jobs, "-o", out};
        args.insert(args.end(), inputs.begin(), inputs.end());
        ASSERT_EQ(run(Launch(args)).status, 0) << jobs;
        std::vector<Bytes> before;
        for (const char* name : {"/a.wav", "/b.wav", "/c.wav", "/d.wav"}) {
            before.push_back(read_file_bytes(out + name));
        }
        // The same run again, overwriting (the default), cancelled part way.
        Launch again(args);
        const std::size_t running = std::string(jobs) == "1" ? 1 : 4;
        again.whileRunning = [&](pid_t pid) {
            if (!temporaries_grown(out, running, 300000)) {
                return false;
            }
            kill(pid, SIGINT);
            return true;
        };
        Ended ended = run(again);
        EXPECT_EQ(ended.status, 130) << jobs << ended.output;
        std::size_t k = 0;
        for (const char* name : {"/a.wav", "/b.wav", "/c.wav", "/d.wav"}) {
            EXPECT_EQ(read_file_bytes(out + name), before[k++]) << jobs << name;
        }
        EXPECT_EQ(dot_files(out), Names{}) << jobs;
        EXPECT_TRUE(contains(ended.output, "a.mp3: the older WAV file was kept")) << ended.output;
    }
}

TEST(CliPlacement, ASkipRunAfterACancelledRunDecodesThePartialFileAgain) {
    TempDir dir;
    const std::string input = dir.file("long.mp3");
    write_long_input(input);
    const std::string out = dir.file("out");
    Launch cancelled({"--no-dither", "-o", out, input});
    cancelled.whileRunning = [&](pid_t pid) {
        if (largest_temporary(out) < 300000) {
            return false;
        }
        kill(pid, SIGINT);
        return true;
    };
    ASSERT_EQ(run(cancelled).status, 130);
    ASSERT_TRUE(ends_with_stop_mark(out + "/long.wav"));  // kept (no older file), and marked

    Ended resumed = run(Launch({"--no-dither", "--existing", "skip", "-o", out, input}));
    EXPECT_EQ(resumed.status, 0) << resumed.output;
    EXPECT_TRUE(contains(resumed.output, "Decoded all files successfully.")) << resumed.output;
    ASSERT_EQ(run(Launch({"--no-dither", "-o", dir.file("whole"), input})).status, 0);
    EXPECT_EQ(read_file_bytes(out + "/long.wav"), read_file_bytes(dir.file("whole/long.wav")));
    // A finished file is skipped as before.
    Ended again = run(Launch({"--no-dither", "--existing", "skip", "-o", out, input}));
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(contains(again.output, "No file needed decoding.")) << again.output;
}

TEST(CliPlacement, TwoRenamingRunsAtOnceKeepBothFiles) {
    TempDir dir;
    mkdir(dir.file("a").c_str(), 0755);
    mkdir(dir.file("b").c_str(), 0755);
    write_long_input(dir.file("a/long.mp3"));
    copy_fixture("short.mp3", dir.file("a/t.mp3"));
    copy_fixture("quiet.mp3", dir.file("b/t.mp3"));
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    write_file_bytes(out + "/t.wav", {'o', 'l', 'd'});
    // A plans "t (2).wav" for its t.mp3; while it decodes its long file first, B takes that
    // name.
    Launch a({"--existing", "rename", "-o", out, dir.file("a/long.mp3"), dir.file("a/t.mp3")});
    Ended b;
    a.whileRunning = [&](pid_t) {
        if (largest_temporary(out) < 100000) {
            return false;
        }
        b = run(Launch({"--existing", "rename", "-o", out, dir.file("b/t.mp3")}));
        return true;
    };
    Ended ended = run(a);
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_EQ(b.status, 0) << b.output;
    EXPECT_TRUE(contains(ended.output, "t.mp3 -> " + out + "/t (3).wav")) << ended.output;
    EXPECT_EQ(read_file_bytes(out + "/t.wav"), (Bytes{'o', 'l', 'd'}));
    // B's is the quiet fixture's 78 frames, A's the short fixture's 5.
    EXPECT_EQ(parse_wav_file(out + "/t (2).wav").data_size, 78u * 1152 * 4);
    EXPECT_EQ(parse_wav_file(out + "/t (3).wav").data_size, 5u * 1152 * 4);
    EXPECT_EQ(folder_entries(out), (Names{"long.wav", "t (2).wav", "t (3).wav", "t.wav"}));
}

TEST(CliPlacement, SkipNeverReplacesAFileMadeDuringTheRun) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"));
    copy_fixture("short.mp3", dir.file("t.mp3"));
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    for (const char* jobs : {"1", "2"}) {
        unlink((out + "/t.wav").c_str());
        unlink((out + "/long.wav").c_str());
        Launch launch({"--jobs", jobs, "--existing", "skip", "-o", out, dir.file("long.mp3"),
                       dir.file("t.mp3")});
        launch.whileRunning = [&](pid_t) {
            if (largest_temporary(out) < 100000) {
                return false;
            }
            write_file_bytes(out + "/t.wav", {'t', 'h', 'e', 'i', 'r', 's'});
            return true;
        };
        // With two jobs t.mp3 may have been placed before the other program wrote: then that
        // write replaced ours, which is the other program's doing. Only one job is certain.
        Ended ended = run(launch);
        if (std::string(jobs) == "1") {
            EXPECT_EQ(ended.status, 1) << ended.output;
            EXPECT_TRUE(contains(ended.output,
                                 "t.mp3: a WAV file of that name appeared during "
                                 "the run; it is left as it was"))
                << ended.output;
        }
        EXPECT_EQ(read_file_bytes(out + "/t.wav"), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
        EXPECT_EQ(dot_files(out), Names{});
    }
}

TEST(CliPlacement, AWriteProtectedWavSurvivesANormalUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as nobody";
    }
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    copy_fixture("short.mp3", dir.file("s.mp3"));
    chmod(dir.file("s.mp3").c_str(), 0644);
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    ASSERT_EQ(chown(out.c_str(), 65534, 65534), 0);
    write_file_bytes(out + "/s.wav", {'m', 'i', 'n', 'e'});
    ASSERT_EQ(chown((out + "/s.wav").c_str(), 65534, 65534), 0);
    chmod((out + "/s.wav").c_str(), 0444);
    Launch launch({"-o", out, dir.file("s.mp3")});
    launch.unprivileged = true;
    Ended ended = run(launch);
    EXPECT_EQ(ended.status, 1) << ended.output;
    EXPECT_TRUE(contains(ended.output, "s.mp3: the WAV file is write-protected")) << ended.output;
    EXPECT_EQ(read_file_bytes(out + "/s.wav"), (Bytes{'m', 'i', 'n', 'e'}));
    struct stat info {};
    ASSERT_EQ(stat((out + "/s.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_EQ(folder_entries(out), Names{"s.wav"});
}

TEST(CliPlacement, AListLineHoldingANulIsRefusedAndACarriageReturnRemoved) {
    TempDir dir;
    mkdir(dir.file("other").c_str(), 0755);
    mkdir(dir.file("dest").c_str(), 0755);
    copy_fixture("short.mp3", dir.file("other/song.mp3"));
    write_file_bytes(dir.file("dest/song.mp3"), {'k', 'e', 'p', 't'});
    // "other/song.mp3" NUL ".mp3": the system would see the name cut at the NUL.
    const std::string list = dir.file("other/song.mp3") + std::string(1, '\0') + ".mp3\n";
    write_file_bytes(dir.file("list"), Bytes(list.begin(), list.end()));
    RunResult refused = run_shell(cli_command({"-o", dir.file("dest"), "--files-from", "-"}) +
                                      " < " + shell_quote(dir.file("list")),
                                  dir);
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_TRUE(contains(refused.err, "--files-from standard input: line 1 holds a NUL byte"))
        << refused.err;
    EXPECT_EQ(folder_entries(dir.file("dest")), Names{"song.mp3"});
    EXPECT_EQ(read_file_bytes(dir.file("dest/song.mp3")), (Bytes{'k', 'e', 'p', 't'}));

    // A list written on another system: CR LF line ends.
    const std::string crlf = dir.file("other/song.mp3") + "\r\n";
    write_file_bytes(dir.file("crlf"), Bytes(crlf.begin(), crlf.end()));
    RunResult taken = run_cli({"-o", dir.file("out"), "--files-from", dir.file("crlf")}, dir);
    EXPECT_EQ(taken.status, 0) << taken.err;
    EXPECT_EQ(parse_wav_file(dir.file("out/song.wav")).data_size, 5u * 1152 * 4);
    EXPECT_TRUE(contains(run_cli({"--help"}, dir).out, "a carriage\n"));
}

TEST(CliPlacement, RenamingA250ByteNameFinishes) {
    TempDir dir;
    std::string title;
    for (int i = 0; i < 83; ++i) {
        title += "\xE6\x9B\xB2";  // 3 bytes each: a 253-byte WAV name
    }
    copy_fixture("short.mp3", dir.file(title + ".mp3"));
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    write_file_bytes(out + "/" + title + ".wav", {'o', 'l', 'd'});
    RunResult dry =
        run_cli({"--dry-run", "--existing", "rename", "-o", out, dir.file(title + ".mp3")}, dir);
    EXPECT_EQ(dry.status, 0) << dry.err;
    Ended ended = run(Launch({"--existing", "rename", "-o", out, dir.file(title + ".mp3")}));
    EXPECT_EQ(ended.status, 0) << ended.output;
    // 255 bytes at most: " (2).wav" leaves room for 82 whole characters of the title.
    const std::string numbered = title.substr(0, 246) + " (2).wav";
    EXPECT_EQ(folder_entries(out), (Names{numbered, title + ".wav"}));
    EXPECT_EQ(parse_wav_file(out + "/" + numbered).data_size, 5u * 1152 * 4);
}

TEST(CliPlacement, NoTemporaryFileOutlivesAKilledWorkerOrASecondSignal) {
    TempDir dir;
    Names inputs;
    for (const char* name : {"a", "b", "c", "d"}) {
        inputs.push_back(dir.file(std::string(name) + ".mp3"));
        write_long_input(inputs.back());
    }
    // A worker killed: its file fails, its temporary file is removed by the parent.
    const std::string killed = dir.file("killed");
    std::vector<std::string> args{"--jobs", "2", "-o", killed};
    args.insert(args.end(), inputs.begin(), inputs.begin() + 2);
    Launch one(args);
    one.whileRunning = [&](pid_t pid) {
        std::vector<pid_t> workers = children_of(pid);
        if (workers.empty() || !temporaries_grown(killed, 2, 200000)) {
            return false;
        }
        kill(workers[0], SIGKILL);
        return true;
    };
    Ended ended = run(one);
    EXPECT_EQ(ended.status, 1) << ended.output;
    EXPECT_TRUE(contains(ended.output, "worker process killed by signal 9")) << ended.output;
    EXPECT_EQ(dot_files(killed), Names{});

    // Two Ctrl-C with four workers: they end at once and take their temporary files along.
    const std::string twice = dir.file("twice");
    args = {"--jobs", "4", "-o", twice};
    args.insert(args.end(), inputs.begin(), inputs.end());
    Launch four(args);
    four.whileRunning = [&](pid_t pid) {
        if (!temporaries_grown(twice, 4, 200000)) {
            return false;
        }
        kill(pid, SIGINT);
        kill(pid, SIGINT);
        return true;
    };
    ended = run(four);
    EXPECT_EQ(ended.status, 130) << ended.output;
    EXPECT_EQ(dot_files(twice), Names{});
    // Whatever a worker managed to put in place before the second signal is a marked one.
    for (const std::string& name : folder_entries(twice)) {
        EXPECT_TRUE(ends_with_stop_mark(twice + "/" + name)) << name;
    }
}

TEST(CliPlacement, ARunAfterTheProgramWasKilledRemovesWhatItLeft) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"));
    const std::string out = dir.file("out");
    Launch killed({"-o", out, dir.file("long.mp3")});
    killed.whileRunning = [&](pid_t pid) {
        if (largest_temporary(out) < 300000) {
            return false;
        }
        kill(pid, SIGKILL);
        return true;
    };
    Ended ended = run(killed);
    EXPECT_EQ(ended.signal, SIGKILL);
    ASSERT_EQ(dot_files(out).size(), 1u);  // nothing can remove it at once

    ended = run(Launch({"-o", out, dir.file("long.mp3")}));
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_EQ(folder_entries(out), Names{"long.wav"});
    EXPECT_EQ(parse_wav_file(out + "/long.wav").data_size, 24u * 116 * 1152 * 4);
}

TEST(CliPlacement, AFileSizeLimitFailsOneFileAndTheRunGoesOn) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 12);  // about 6 MiB of WAV
    copy_fixture("short.mp3", dir.file("short.mp3"));
    for (const char* jobs : {"1", "2"}) {
        const std::string out = dir.file(std::string("out") + jobs);
        Launch launch({"--jobs", jobs, "-o", out, dir.file("long.mp3"), dir.file("short.mp3")});
        launch.fileSizeLimit = 1000 * 1024;  // ulimit -f 1000
        Ended ended = run(launch);
        EXPECT_EQ(ended.signal, 0) << jobs;
        EXPECT_EQ(ended.status, 1) << jobs << ended.output;
        EXPECT_TRUE(contains(ended.output, "long.mp3: File too large")) << ended.output;
        EXPECT_EQ(folder_entries(out), Names{"short.wav"}) << jobs;
        EXPECT_EQ(parse_wav_file(out + "/short.wav").data_size, 5u * 1152 * 4);
    }
}

TEST(CliPlacement, AJsonReaderThatQuitsStopsTheRunWithoutLeavingATemporaryFile) {
    TempDir dir;
    copy_fixture("short.mp3", dir.file("a.mp3"));
    write_long_input(dir.file("b.mp3"));
    write_long_input(dir.file("c.mp3"));
    const std::string out = dir.file("out");
    const std::string command = "{ " +
                                cli_command({"--json", "-o", out, dir.file("a.mp3"),
                                             dir.file("b.mp3"), dir.file("c.mp3")}) +
                                " 2>" + shell_quote(dir.file("cli.err")) + "; echo $? >" +
                                shell_quote(dir.file("status")) + "; } | head -1";
    RunResult result = run_shell(command, dir);
    EXPECT_TRUE(contains(result.out, "a.mp3")) << result.out;
    Bytes status = read_file_bytes(dir.file("status"));
    Bytes err = read_file_bytes(dir.file("cli.err"));
    const std::string errText(err.begin(), err.end());
    EXPECT_EQ(std::string(status.begin(), status.end()), "1\n") << errText;
    EXPECT_TRUE(contains(errText, "standard output was closed by its reader")) << errText;
    // Nobody pressed Cancel: the end message says what stopped the run.
    EXPECT_FALSE(contains(errText, "aborted by user")) << errText;
    EXPECT_EQ(dot_files(out), Names{});
    EXPECT_FALSE(file_exists(out + "/c.wav"));  // never started
}

TEST(CliPlacement, VerboseSendsNoEscapeCodeToTheTerminal) {
    TempDir dir;
    const std::string hostile = "Esc\x1B[2J\x1B[31m\x1B]0;pwned\x07";
    Bytes tag = id3v24_utf8_tag({{"TIT2", hostile}, {"TPE1", hostile}});
    write_file_bytes(dir.file(hostile + ".mp3"),
                     concat(tag, read_file_bytes(fixture_path("short.mp3"))));
    for (const char* tmpdir : {"", "/nonexistent/folder"}) {
        Launch launch({"-v", "--tags", "-o", dir.file("out"), dir.file(hostile + ".mp3")});
        launch.terminal = true;
        if (*tmpdir != '\0') {
            launch.environment.emplace_back("TMPDIR", tmpdir);  // no scratch file there
        }
        Ended ended = run(launch);
        EXPECT_EQ(ended.status, 0) << ended.output;
        // The title reached the terminal, made harmless.
        EXPECT_TRUE(contains(ended.output, "Esc\\e[2J\\e[31m\\e]0;pwned\\x07")) << ended.output;
        EXPECT_EQ(ended.output.find('\x1B'), std::string::npos) << ended.output;
        EXPECT_EQ(ended.output.find('\x07'), std::string::npos) << ended.output;
    }
}

TEST(CliPlacement, A17MiBCoverKeepsTheInfoFieldsAndSaysWhatWasLeftOut) {
    TempDir dir;
    // TIT2 and TPE1, then a 17 MiB APIC frame written by hand (ID3v2.4: syncsafe sizes).
    Bytes tag = id3v24_utf8_tag({{"TIT2", "Big Cover"}, {"TPE1", "Someone"}});
    Bytes body = {0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 0};
    body.resize(body.size() + (17u << 20), 0x5A);
    Bytes frame = {'A', 'P', 'I', 'C'};
    frame = concat(concat(frame, syncsafe_bytes(body.size())), {0, 0});
    tag = concat(tag, concat(frame, body));
    Bytes size = syncsafe_bytes(tag.size() - 10);
    std::copy(size.begin(), size.end(), tag.begin() + 6);
    write_file_bytes(dir.file("cover.mp3"),
                     concat(tag, read_file_bytes(fixture_path("quiet.mp3"))));

    Ended ended = run(Launch({"--tags", "-o", dir.file("out"), dir.file("cover.mp3")}));
    EXPECT_EQ(ended.status, 0) << ended.output;
    // Said without --verbose.
    EXPECT_TRUE(contains(ended.output,
                         "cover.mp3: the ID3v2 tag is over 16 MiB: its \"id3 \" "
                         "chunk was left out, the INFO fields kept"))
        << ended.output;
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(read_file_bytes(dir.file("out/cover.wav")), &error);
    EXPECT_EQ(error, "");
    bool info = false;
    for (const RiffChunk& chunk : chunks) {
        EXPECT_NE(chunk.id, "id3 ");
        if (chunk.id == "LIST") {
            std::map<std::string, std::string> texts = info_texts(chunk);
            EXPECT_EQ(texts["INAM"], "Big Cover");
            EXPECT_EQ(texts["IART"], "Someone");
            info = true;
        }
    }
    EXPECT_TRUE(info);
}

}  // namespace

// pelmora-cli against hostile names, odd folders and odd terminals: a child process on pipes
// or on a pseudo-terminal, with the limits a test needs set just before it starts.
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
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

struct Launch {
    std::vector<std::string> args;
    int columns = 0;            // on a pseudo-terminal this wide; 0: standard error to a file
    bool unprivileged = false;  // give up root first, so that permissions apply
    bool closeStdout = false;
    rlim_t fileSizeLimit = 0;  // bytes; a larger write then fails with EFBIG
};

struct Ended {
    int status = -1;     // exit status; -1 killed (also after the time limit)
    std::string output;  // what the terminal or standard error received
};

[[noreturn]] void start_cli(const Launch& launch) {
    if (launch.fileSizeLimit > 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (launch.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(126);
    }
    if (launch.closeStdout) {
        close(STDOUT_FILENO);
    }
    std::vector<char*> argv{const_cast<char*>(PELMORA_CLI)};
    for (const std::string& arg : launch.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(PELMORA_CLI, argv.data());
    _exit(127);
}

// Reads fd until end of file; a run over 60 s is killed and fails the test.
Ended collect(pid_t pid, int fd) {
    Ended ended;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char block[4096];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(&wait, 1, 200) <= 0) {
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
    return ended;
}

Ended run(const Launch& launch) {
    if (launch.columns > 0) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(launch.columns);
        int master = -1;
        pid_t pid = forkpty(&master, nullptr, nullptr, &size);
        if (pid == 0) {
            start_cli(launch);
        }
        return pid == -1 ? Ended{} : collect(pid, master);
    }
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        start_cli(launch);
    }
    close(fds[1]);
    return collect(pid, fds[0]);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// Long enough for the display to be drawn while it decodes: each copy is about 3 s of
// audio, 0.5 MiB of WAV.
void write_long_input(const std::string& path, int copies = 12) {
    std::vector<unsigned char> frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    std::vector<unsigned char> bytes;
    for (int i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    write_file_bytes(path, bytes);
}

// The display's own sequence: up so many lines, to the line start, erase below.
std::string without_display_codes(const std::string& text) {
    return std::regex_replace(text, std::regex("\x1B\\[[0-9]+A\r\x1B\\[J"), "");
}

TEST(CliSafety, AnOutputThatIsNoWritableFolderEndsTheRunBeforeAnyFile) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // the unprivileged run must get in
    std::string input = fixture_path("short.mp3");
    write_file_bytes(dir.file("plain"), {'k', 'e', 'e', 'p'});

    for (const char* name : {"plain", "plain/"}) {
        Ended ended = run({{"-o", dir.file(name), input}});
        EXPECT_EQ(ended.status, 2) << name;
        EXPECT_EQ(ended.output, "pelmora-cli: The folder:\n\n" + dir.file("plain") +
                                    "\n\nexists, but is not a folder. Please re-enter.\n")
            << name;
    }
    EXPECT_EQ(read_file_bytes(dir.file("plain")), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));

    std::string locked = dir.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    Ended ended = run({{"-o", locked, input, fixture_path("tagged.mp3")}, 0, true});
    EXPECT_EQ(ended.status, 2);
    // The refusal is all there is: no file was started, so no file is named.
    EXPECT_EQ(ended.output, "pelmora-cli: The folder:\n\n" + locked +
                                "\n\ncannot be written to: Permission denied. Please choose "
                                "another folder.\n");
}

// Names that another platform's rules refused: a colon, a leading dot, a trailing blank.
TEST(CliSafety, FolderAndFileNamesWithColonsAndLeadingDotsAreTaken) {
    TempDir dir;
    std::string out = dir.file(".config/Live: 2003/2024-01-01T10:00 /");
    ASSERT_EQ(mkdir(dir.file(".in: put").c_str(), 0755), 0);
    copy_fixture("short.mp3", dir.file(".in: put/.01: Intro?.mp3"));
    Ended ended = run({{"-o", out, dir.file(".in: put")}});
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_TRUE(file_exists(dir.file(".config/Live: 2003/2024-01-01T10:00 /.01: Intro?.wav")))
        << ended.output;
}

TEST(CliSafety, LinkLoopsFinishAndTheScanStaysInItsFolder) {
    TempDir dir;
    for (const char* folder : {"lib", "lib/album", "sibling"}) {
        mkdir(dir.file(folder).c_str(), 0755);
    }
    copy_fixture("short.mp3", dir.file("lib/album/a.mp3"));
    copy_fixture("short.mp3", dir.file("sibling/outside.mp3"));
    ASSERT_EQ(symlink(".", dir.file("lib/album/again").c_str()), 0);
    ASSERT_EQ(symlink(".", dir.file("lib/album/more").c_str()), 0);
    ASSERT_EQ(symlink("..", dir.file("lib/up").c_str()), 0);
    Ended ended = run({{"-o", dir.file("out"), dir.file("lib")}});
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_EQ(ended.output, dir.file("lib/album/a.mp3") + " -> " + dir.file("out/a.wav") +
                                "\nDecoded all files successfully.\n");
    EXPECT_FALSE(file_exists(dir.file("out/outside.wav")));
}

TEST(CliSafety, FoldersAreDecodedInNameOrderWithEveryMpegExtension) {
    TempDir dir;
    mkdir(dir.file("in").c_str(), 0755);
    copy_fixture("short.mp3", dir.file("in/track 10.mp3"));
    copy_fixture("layer2.mp3", dir.file("in/track 2.MP2"));
    copy_fixture("short.mp3", dir.file("in/Track 1.Mpa"));
    copy_fixture("short.mp3", dir.file("in/track 3.mp1"));  // layer III inside: the name decides
    copy_fixture("short.mp3", dir.file("in/track 4.mp4"));
    Ended ended = run({{"-o", dir.file("out"), dir.file("in")}});
    EXPECT_EQ(ended.status, 0) << ended.output;
    std::string expected;
    for (const char* name : {"Track 1.Mpa", "track 2.MP2", "track 3.mp1", "track 10.mp3"}) {
        std::string stem = std::string(name).substr(0, std::string(name).rfind('.'));
        expected +=
            dir.file(std::string("in/") + name) + " -> " + dir.file("out/" + stem) + ".wav\n";
    }
    EXPECT_EQ(ended.output, expected + "Decoded all files successfully.\n");

    // Given by name, the other extensions are taken too; an unknown one is named.
    ended = run({{"-o", dir.file("out2"), dir.file("in/track 2.MP2"), dir.file("in/track 4.mp4")}});
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_TRUE(file_exists(dir.file("out2/track 2.wav")));
    EXPECT_TRUE(contains(ended.output,
                         "skipping " + dir.file("in/track 4.mp4") + ": not an MPEG audio file"))
        << ended.output;
}

// A name that would set the window title, turn the text red and start a new line, shown on
// the display while it decodes and in the failure report.
TEST(CliSafety, EscapeCodesFromNamesNeverReachTheTerminal) {
    TempDir dir;
    const std::string hostile = "a\x1B]0;owned\x07\x1B[31mred\nnext \xFF";
    mkdir(dir.file("in").c_str(), 0755);
    write_long_input(dir.file("in/" + hostile + ".mp3"));
    copy_fixture("short.mp3", dir.file("in/" + hostile + "2.mp3"));
    mkdir(dir.file("out").c_str(), 0755);
    mkdir(dir.file("out/" + hostile + "2.wav").c_str(), 0755);  // its decode fails

    Ended ended = run({{"-o", dir.file("out"), dir.file("in")}, 80});
    EXPECT_EQ(ended.status, 1);
    std::string shown = "a\\e]0;owned\\x07\\e[31mred\\nnext \\xFF";
    // The bar's line is cut to the terminal's 80 columns, so only the name's start shows.
    EXPECT_TRUE(contains(ended.output, "Decoding   1 of  2  a\\e]0;owned")) << ended.output;
    EXPECT_TRUE(contains(ended.output, dir.file("in/" + shown + ".mp3 -> ")));
    // In the file's report and the end report a line break in a name stays escaped.
    const std::string reason =
        dir.file("in/" + shown + "2.mp3: ") + dir.file("out/" + shown + "2.wav: Is a directory");
    EXPECT_TRUE(contains(ended.output, "pelmora-cli: " + reason + "\r\n")) << ended.output;
    EXPECT_TRUE(contains(ended.output, "decoded:\r\n\r\n" + reason + "\r\n")) << ended.output;
    std::string rest = without_display_codes(ended.output);
    EXPECT_EQ(rest.find('\x1B'), std::string::npos) << rest;
    EXPECT_EQ(rest.find('\x07'), std::string::npos) << rest;
    EXPECT_TRUE(file_exists(dir.file("out/" + hostile + ".wav")));
}

// With standard output closed, the display's copy of standard error once became descriptor
// 1, which the engine's message capture takes over: the bars ended up in the messages.
TEST(CliSafety, ClosedStandardOutputKeepsTheDisplayOutOfTheMessages) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 80);
    Launch launch{{"-o", dir.file("out"), dir.file("long.mp3")}, 80};
    launch.closeStdout = true;
    // The WAV fails at 16 MiB, over 1 1/2 minutes of audio: the display has been redrawn
    // (every 50 ms) long before.
    launch.fileSizeLimit = 16 << 20;
    Ended ended = run(launch);
    EXPECT_EQ(ended.status, 1) << ended.output;
    // The file's line gives the system's reason, the engine's lines below it.
    std::size_t failed = ended.output.find(dir.file("long.mp3") + ": File too large");
    ASSERT_NE(failed, std::string::npos) << ended.output;
    std::string report = ended.output.substr(failed);
    // Neither the codes nor (escaped, as messages are) the bars they draw.
    EXPECT_EQ(report.find('\x1B'), std::string::npos) << report;
    EXPECT_FALSE(contains(report, "Decoding   1 of  1")) << report;
    EXPECT_FALSE(contains(report, "[2A")) << report;
}

TEST(CliSafety, ANarrowTerminalGetsOneLinePerFileAndNoBars) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"));
    Ended ended =
        run({{"-o", dir.file("out"), dir.file("long.mp3"), fixture_path("short.mp3")}, 25});
    EXPECT_EQ(ended.status, 0) << ended.output;
    EXPECT_EQ(ended.output, dir.file("long.mp3") + " -> " + dir.file("out/long.wav") + "\r\n" +
                                fixture_path("short.mp3") + " -> " + dir.file("out/short.wav") +
                                "\r\nDecoded all files successfully.\r\n");
}

TEST(CliSafety, ChannelAndBitsTakeOnlyWholeNumbersInRange) {
    TempDir dir;
    std::string input = fixture_path("short.mp3");
    for (const char* channel : {"abc", "5", "-1", "+1", " 3", "3x", ""}) {
        Ended ended = run({{"--channel", channel, "-o", dir.file("out"), input}});
        EXPECT_EQ(ended.status, 2) << channel;
        EXPECT_EQ(ended.output, std::string("pelmora-cli: --channel takes a number from 0 to 4, "
                                            "not \"") +
                                    channel + "\"\nTry 'pelmora-cli --help'.\n");
    }
    for (const char* bits : {"8abc", "33", "0", "-8", "1e1", "99999999999999999999"}) {
        Ended ended = run({{"--bits", bits, "-o", dir.file("out"), input}});
        EXPECT_EQ(ended.status, 2) << bits;
        EXPECT_TRUE(contains(ended.output, "--bits takes a whole number from 1 to 32")) << bits;
    }
    EXPECT_FALSE(file_exists(dir.file("out")));  // refused before the folder was made
    Ended ended = run({{"-q", "--channel", "4", "--bits", "32", "-o", dir.file("out"), input}});
    EXPECT_EQ(ended.status, 0) << ended.output;
    ended = run({{"-q", "--channel", "0", "--bits", "1", "-o", dir.file("out"), input}});
    EXPECT_EQ(ended.status, 0) << ended.output;
}

}  // namespace

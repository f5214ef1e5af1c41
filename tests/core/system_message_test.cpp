#include "app/core/system_message.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/core/scratch_file.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SystemMessage, ErrnoValuesAndSignalsInTheSystemsWords) {
    EXPECT_EQ(errno_message(ENOENT), "No such file or directory");
    EXPECT_EQ(errno_message(EACCES), "Permission denied");
    EXPECT_EQ(path_error_message("/m/a.mp3", ENOTDIR), "/m/a.mp3: Not a directory");
    EXPECT_NE(errno_message(123456).find("123456"), std::string::npos);
    EXPECT_EQ(killed_by_signal_message(SIGKILL), "killed by signal 9 (Killed)");
    EXPECT_EQ(killed_by_signal_message(SIGSEGV), "killed by signal 11 (Segmentation fault)");
}

std::string fd_target(int fd) {
    char target[4096] = {};
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

TEST(ScratchFile, LivesNamelessInTmpdirOrInMemory) {
    TempDir dir;
    const char* saved = std::getenv("TMPDIR");
    std::string savedText = saved != nullptr ? saved : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    int fd = open_scratch_file();
    ASSERT_NE(fd, -1);
    // Already unlinked from the folder TMPDIR names.
    EXPECT_EQ(fd_target(fd).rfind(dir.file("pelmora-cli-"), 0), 0u) << fd_target(fd);
    EXPECT_NE(fd_target(fd).find("(deleted)"), std::string::npos);
    ASSERT_EQ(write(fd, "one\ntwo", 7), 7);
    EXPECT_EQ(read_scratch_file(fd), "one\ntwo");
    EXPECT_EQ(read_scratch_file(fd), "one\ntwo");  // read from the start each time
    close(fd);

    // Opened close-on-exec, so that no program started meanwhile holds it.
    fd = open_scratch_file();
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    close(fd);

    // No folder for it: a file in memory instead, so that messages are still collected.
    setenv("TMPDIR", dir.file("missing").c_str(), 1);
    fd = open_scratch_file();
    ASSERT_NE(fd, -1);
    EXPECT_EQ(fd_target(fd).rfind("/memfd:pelmora-cli", 0), 0u) << fd_target(fd);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    ASSERT_EQ(write(fd, "three", 5), 5);
    EXPECT_EQ(read_scratch_file(fd), "three");
    close(fd);

    if (saved != nullptr) {
        setenv("TMPDIR", savedText.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

}  // namespace

#include "app/core/scratch_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

int open_scratch_file() {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    pattern += "/pelmora-cli-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd != -1) {
        unlink(name.data());
        return fd;
    }
    // No folder for it (a full or read-only $TMPDIR): a file in memory does as well, so
    // that messages are still collected rather than written where they cannot be escaped.
    const int error = errno;
    fd = memfd_create("pelmora-cli", MFD_CLOEXEC);
    if (fd == -1) {
        errno = error;
    }
    return fd;
}

std::string read_scratch_file(int fd) {
    std::string text;
    char block[4096];
    off_t offset = 0;
    while (true) {
        ssize_t got = pread(fd, block, sizeof block, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(block, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

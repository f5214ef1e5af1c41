#include "app/core/scratch_file.h"

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
    int fd = mkstemp(name.data());
    if (fd != -1) {
        unlink(name.data());
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

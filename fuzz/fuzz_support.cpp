#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

const std::string& scratch_folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/pelmora-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

std::string write_input(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::string path = scratch_folder() + "/" + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd == -1) {
        std::abort();  // the harness cannot run at all: not a finding about the input
    }
    std::size_t done = 0;
    while (done < size) {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(wrote);
    }
    close(fd);
    return path;
}

void silence_output() {
    int null = open("/dev/null", O_WRONLY);
    if (null != -1) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(null);
    }
}

#include "cli/output_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

OutputCapture::OutputCapture() {
    char name[] = "/tmp/pelmora-cli-XXXXXX";
    file_ = mkstemp(name);
    if (file_ == -1) {
        return;
    }
    unlink(name);
    std::fflush(stdout);
    std::fflush(stderr);
    savedOut_ = dup(STDOUT_FILENO);
    savedErr_ = dup(STDERR_FILENO);
    dup2(file_, STDOUT_FILENO);
    dup2(file_, STDERR_FILENO);
}

OutputCapture::~OutputCapture() {
    finish();
}

std::string OutputCapture::finish() {
    std::string text;
    if (file_ == -1) {
        return text;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut_, STDOUT_FILENO);
    dup2(savedErr_, STDERR_FILENO);
    close(savedOut_);
    close(savedErr_);
    char block[4096];
    ssize_t got;
    off_t offset = 0;
    while ((got = pread(file_, block, sizeof block, offset)) > 0) {
        text.append(block, static_cast<std::size_t>(got));
        offset += got;
    }
    close(file_);
    file_ = -1;
    return text;
}

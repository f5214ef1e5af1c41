#include "app/core/output_capture.h"

#include <unistd.h>

#include <cstdio>

#include "app/core/scratch_file.h"

OutputCapture::OutputCapture() {
    file_ = open_scratch_file();
    if (file_ == -1) {
        return;
    }
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
    if (file_ == -1) {
        return {};
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut_, STDOUT_FILENO);
    dup2(savedErr_, STDERR_FILENO);
    close(savedOut_);
    close(savedErr_);
    std::string text = read_scratch_file(file_);
    close(file_);
    file_ = -1;
    return text;
}

#include "app/core/output_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/core/scratch_file.h"
#include "app/core/system_message.h"

OutputCapture::OutputCapture(bool standardOutputToo) {
    file_ = open_scratch_file();
    if (file_ == -1) {
        lost_ = errno;
        file_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (file_ == -1) {
            return;
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    savedOut_ = standardOutputToo ? fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    savedErr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (savedErr_ == -1 || (standardOutputToo && savedOut_ == -1) ||
        dup2(file_, STDERR_FILENO) == -1 ||
        (standardOutputToo && dup2(file_, STDOUT_FILENO) == -1)) {
        // Put back whatever was moved; the decode then writes where the streams go.
        if (savedOut_ != -1) {
            dup2(savedOut_, STDOUT_FILENO);
            close(savedOut_);
        }
        if (savedErr_ != -1) {
            dup2(savedErr_, STDERR_FILENO);
            close(savedErr_);
        }
        close(file_);
        file_ = savedOut_ = savedErr_ = -1;
        return;
    }
    active_ = true;
}

OutputCapture::~OutputCapture() {
    finish();
}

std::string OutputCapture::finish() {
    if (!active_) {
        return {};
    }
    active_ = false;
    std::fflush(stdout);
    std::fflush(stderr);
    if (savedOut_ != -1) {
        dup2(savedOut_, STDOUT_FILENO);
        close(savedOut_);
    }
    dup2(savedErr_, STDERR_FILENO);
    close(savedErr_);
    std::string text =
        lost_ != 0 ? "(the decoder's messages could not be kept: " + errno_message(lost_) + ")\n"
                   : read_scratch_file(file_);
    close(file_);
    file_ = savedOut_ = savedErr_ = -1;
    return text;
}

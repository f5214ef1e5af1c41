#include "app/termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {

// The handler reaches these and nothing else; a second watch is refused while they are taken.
int pipe_ends[2] = {-1, -1};
constexpr int WATCHED[] = {SIGTERM, SIGHUP};

void on_signal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    // A full pipe already holds a request; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = write(pipe_ends[1], &byte, 1);
    errno = saved;
}

void close_pipe() {
    for (int& end : pipe_ends) {
        if (end >= 0) {
            close(end);
            end = -1;
        }
    }
}

}  // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {
    if (pipe_ends[0] >= 0 || pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : WATCHED) {
        if (sigaction(number, &action, nullptr) != 0) {
            for (int undo : WATCHED) {
                std::signal(undo, SIG_DFL);
            }
            close_pipe();
            return;
        }
    }
    notifier_ = new QSocketNotifier(pipe_ends[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatch::readPipe);
}

TerminationWatch::~TerminationWatch() {
    if (notifier_ == nullptr) {
        return;
    }
    for (int number : WATCHED) {
        std::signal(number, SIG_DFL);
    }
    delete notifier_;
    close_pipe();
}

void TerminationWatch::readPipe() {
    unsigned char bytes[16];
    int last = 0;
    for (;;) {
        const ssize_t got = read(pipe_ends[0], bytes, sizeof bytes);
        if (got <= 0) {
            break;
        }
        last = bytes[got - 1];
    }
    if (last != 0) {
        Q_EMIT terminationRequested(last);
    }
}

#include "app/core/worker_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/core/safe_output.h"
#include "app/core/scratch_file.h"
#include "app/core/system_message.h"

namespace {

// What a worker tells the parent after each progress call.
struct ProgressRecord {
    std::int32_t totalKiB;
    std::int32_t doneKiB;
};

class PipeSink : public ProgressSink {
public:
    explicit PipeSink(int fd) : fd_(fd) {}
    void setFileBar(int, int upper, int, int position) override {
        ProgressRecord record{upper, position};
        ssize_t ignored = write(fd_, &record, sizeof record);  // the parent may be gone
        (void)ignored;
    }
    void setBatchBar(int, int, int, int) override {}
    void setFileLine(const std::string&) override {}
    void setCountLine(const std::string&) override {}

private:
    int fd_;
};

// The running workers' ids, for kill_pool_workers: a signal handler can reach only
// process-wide data. A slot holds 0 when free; slots past the end are not tracked.
constexpr std::size_t TRACKED_WORKERS = 64;
volatile pid_t tracked[TRACKED_WORKERS] = {};

void track(std::size_t slot, pid_t pid) {
    if (slot < TRACKED_WORKERS) {
        tracked[slot] = pid;
    }
}

void cancel_in_worker(int) {
    request_cancel(batch_state());
}

// The signals that cancel a worker's file. They stay blocked from before the fork until the
// worker's handler is in place: SIGUSR1's default action would end the worker as a crash.
sigset_t cancel_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Inside the worker: one file, then the process ends with the decode's result as its status.
[[noreturn]] void decode_in_worker(const BatchFile& file, const RequestBuilder& build,
                                   const DecodeFunction& decode, int progress, int capture,
                                   const sigset_t& mask) {
    setpgid(0, 0);  // Ctrl-C reaches the parent only, which asks the workers to stop
    struct sigaction action {};
    action.sa_handler = cancel_in_worker;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    if (capture != -1) {
        dup2(capture, STDOUT_FILENO);
        dup2(capture, STDERR_FILENO);
    }
    PipeSink sink(progress);
    batch_state().progress = &sink;
    RequestTexts texts;
    DecodeRequest request = build_request(build, file, texts);
    FileOutcome outcome = decode_into_place(request, decode);
    if (outcome.result == DECODE_FAILED && outcome.reason != DECODE_FAILED_REASON &&
        outcome.reason != NO_AUDIO_REASON) {
        // A refusal of the safe write, which the engine's messages do not tell.
        std::fprintf(stderr, "%s\n", outcome.reason.c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(outcome.result);
}

// A process that decodes one file. Taking many files would add a job pipe from the parent
// and an end record before the next job; the slot, progress and capture stay as they are.
struct Worker {
    pid_t pid = -1;
    int progress = -1;  // read end of the progress pipe
    int capture = -1;   // the worker's standard output and error, when captured
    std::size_t file = 0;
    ProgressRecord last{0, 0};
};

void read_progress(Worker& worker) {
    ProgressRecord record;
    while (read(worker.progress, &record, sizeof record) == static_cast<ssize_t>(sizeof record)) {
        worker.last = record;
    }
}

class Pool {
public:
    Pool(const std::vector<BatchFile>& files, const RequestBuilder& build,
         const PoolSettings& settings, PoolListener& listener, const DecodeFunction& decode)
        : files_(files),
          build_(build),
          decode_(decode),
          settings_(settings),
          listener_(listener),
          workers_(static_cast<std::size_t>(settings.workers < 1 ? 1 : settings.workers)) {}

    BatchResult run();

private:
    void fillFreeSlots();
    int start(Worker& worker, std::size_t slot);
    void forwardCancel();
    void waitForNews();
    void reap();
    void finish(Worker& worker, int status);
    void reportProgress();

    const std::vector<BatchFile>& files_;
    const RequestBuilder& build_;
    const DecodeFunction& decode_;
    const PoolSettings& settings_;
    PoolListener& listener_;
    BatchState& state_ = batch_state();
    std::vector<Worker> workers_;
    std::size_t next_ = 0;
    int running_ = 0;
    bool forwarded_ = false;
    bool stopped_ = false;  // a worker ended its file early on request
    std::uint64_t completedKiB_ = 0;
    BatchResult result_;
};

BatchResult Pool::run() {
    while (true) {
        fillFreeSlots();
        if (running_ == 0) {
            break;
        }
        forwardCancel();
        waitForNews();
        reap();
        reportProgress();
    }
    // A cancel that came after the last file had ended stopped nothing.
    if (state_.cancelRequested != 0 && (stopped_ || next_ < files_.size())) {
        result_.lastResult = DECODE_ABORTED;
    }
    return result_;
}

void Pool::fillFreeSlots() {
    for (std::size_t slot = 0; slot < workers_.size(); ++slot) {
        if (workers_[slot].pid == -1 && next_ < files_.size() && state_.stopRequested == 0) {
            int error = start(workers_[slot], slot);
            if (error != 0) {
                listener_.workerNotStarted(error);
                request_cancel(state_);
            }
        }
    }
}

// 0, or the errno value of what failed.
int Pool::start(Worker& worker, std::size_t slot) {
    int fds[2];
    if (pipe(fds) == -1) {
        return errno;
    }
    // Without a capture file the messages go to the parent's streams: shown, not lost.
    int capture = settings_.captureMessages ? open_scratch_file() : -1;
    // Whatever the parent has buffered would otherwise be written by the child as well.
    std::fflush(nullptr);
    const sigset_t blocked = cancel_signals();
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, &blocked, &mask);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        decode_in_worker(files_[next_], build_, decode_, fds[1], capture, mask);
    }
    int error = errno;
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    close(fds[1]);
    if (pid == -1) {
        close(fds[0]);
        if (capture != -1) {
            close(capture);
        }
        return error;
    }
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    worker = Worker{pid, fds[0], capture, next_, {0, 0}};
    track(slot, pid);
    ++next_;
    ++running_;
    ++result_.attempted;
    return 0;
}

void Pool::forwardCancel() {
    if (state_.cancelRequested == 0 || forwarded_) {
        return;
    }
    for (const Worker& worker : workers_) {
        if (worker.pid > 0) {
            kill(worker.pid, SIGUSR1);
        }
    }
    forwarded_ = true;
}

void Pool::waitForNews() {
    std::vector<pollfd> fds;
    for (const Worker& worker : workers_) {
        if (worker.pid > 0) {
            fds.push_back({worker.progress, POLLIN, 0});
        }
    }
    // A worker's end closes its pipe, which wakes the poll as well; the timeout only bounds
    // how late a cancel is forwarded.
    poll(fds.data(), fds.size(), 100);
    for (Worker& worker : workers_) {
        if (worker.pid > 0) {
            read_progress(worker);
        }
    }
}

void Pool::reap() {
    // Each worker by its own id: other children of the process (the window's) are not ours.
    for (std::size_t slot = 0; slot < workers_.size(); ++slot) {
        Worker& worker = workers_[slot];
        int status = 0;
        if (worker.pid > 0 && waitpid(worker.pid, &status, WNOHANG) == worker.pid) {
            track(slot, 0);
            finish(worker, status);
        }
    }
}

void Pool::finish(Worker& worker, int status) {
    PoolFileEnd end{worker.file, DECODE_FAILED, {}, {}};
    if (WIFEXITED(status)) {
        end.result = WEXITSTATUS(status);
        if (end.result != DECODE_OK && end.result != DECODE_ABORTED) {
            end.result = DECODE_FAILED;
            end.failure = DECODE_FAILED_REASON;
        }
    } else if (WIFSIGNALED(status)) {
        end.failure = "worker process " + killed_by_signal_message(WTERMSIG(status));
    }
    if (worker.capture != -1) {
        end.messages = read_scratch_file(worker.capture);
    }
    read_progress(worker);  // what it reported between the last look and its end
    record_file_end(result_, input_path(files_[worker.file]), {end.result, end.failure, {}, true});
    stopped_ = stopped_ || end.result == DECODE_ABORTED;
    result_.lastResult = end.result;
    completedKiB_ += static_cast<std::uint64_t>(worker.last.totalKiB);
    close(worker.progress);
    if (worker.capture != -1) {
        close(worker.capture);
    }
    worker = Worker{};
    --running_;
    listener_.fileEnded(end);
}

void Pool::reportProgress() {
    PoolProgress progress{{}, completedKiB_};
    for (const Worker& worker : workers_) {
        if (worker.pid > 0) {
            progress.running.push_back({worker.file, worker.last.totalKiB, worker.last.doneKiB});
            progress.doneKiB += static_cast<std::uint64_t>(worker.last.doneKiB);
        }
    }
    listener_.progressed(progress);
}

}  // namespace

BatchResult run_worker_pool(const std::vector<BatchFile>& files, const RequestBuilder& build,
                            const PoolSettings& settings, PoolListener& listener,
                            const DecodeFunction& decode) {
    return Pool(files, build, settings, listener, decode).run();
}

void kill_pool_workers() {
    for (volatile pid_t& pid : tracked) {
        if (pid > 0) {
            kill(pid, SIGKILL);
        }
    }
}

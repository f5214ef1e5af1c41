#include "app/core/worker_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "app/core/output_capture.h"
#include "app/core/pool_records.h"
#include "app/core/run_processors.h"
#include "app/core/safe_output.h"
#include "app/core/scratch_file.h"
#include "app/core/system_message.h"
#include "dsp/pcm.h"

namespace {

// Sends everything or nothing useful: false when the other end is gone. MSG_NOSIGNAL, since
// a parent or worker that has ended must not take the sender down with SIGPIPE.
bool send_all(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A full socket on the parent's non-blocking end: the worker is busy, not gone.
            pollfd writable{fd, POLLOUT, 0};
            if (poll(&writable, 1, -1) < 0 && errno != EINTR) {
                return false;
            }
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// The running workers' ids, for kill_pool_workers: a signal handler can reach only
// process-wide data. A slot holds 0 when free; slots past the end are not tracked.
constexpr std::size_t TRACKED_WORKERS = 64;
constinit volatile pid_t tracked[TRACKED_WORKERS] = {};

void track(std::size_t slot, pid_t pid) {
    if (slot < TRACKED_WORKERS) {
        tracked[slot] = pid;
    }
}

void cancel_in_worker(int) {
    // The worker's own run, set before the handler was installed.
    if (BatchState* run = progress_run(); run != nullptr) {
        request_cancel(*run);
    }
}

// The parent's second signal: no waiting for the file to reach its next progress call. The
// worker's own temporary file goes with it.
void end_worker_now(int signal) {
    remove_unfinished_output();
    _exit(128 + signal);
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

// One file inside a worker, forked or inline: built, decoded and written into place.
FileOutcome decode_in_worker(const BatchFile& file, const RequestBuilder& build,
                             const DecodeFunction& decode,
                             const ProcessorTokens* tokens = nullptr) {
    RequestTexts texts;
    DecodeRequest request = build_request(build, file, texts);
    if (tokens != nullptr && tokens->read_fd != -1) {
        request.tokens = tokens;
    }
    return decode_into_place(request, decode, file.existing);
}

// The next job from the parent; false once the parent has closed the socket (no more files)
// or is gone.
bool read_job(int channel, std::string& inbox, PoolJob& job) {
    while (true) {
        std::size_t offset = 0;
        const RecordTake take = take_job(inbox, offset, job);
        if (take == RecordTake::Whole) {
            inbox.erase(0, offset);
            return true;
        }
        if (take == RecordTake::Invalid) {
            return false;  // not our parent's protocol: decode nothing from it
        }
        char block[4096];
        ssize_t got = read(channel, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;  // a cancel signal between files
        }
        if (got <= 0) {
            return false;
        }
        inbox.append(block, static_cast<std::size_t>(got));
    }
}

// What the file's decode wrote since the last file, and an empty capture for the next one.
// Standard output and error share the capture's file offset, so one seek rewinds all three.
std::string take_captured(int capture) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (capture == -1) {
        return {};
    }
    std::string text = read_scratch_file(capture);
    if (ftruncate(capture, 0) == 0) {
        lseek(capture, 0, SEEK_SET);
    }
    return text;
}

void close_descriptors(unsigned int first, unsigned int last) {
    if (close_range(first, last, 0) == 0) {
        return;
    }
    // A kernel before close_range: one by one, up to the most this process may have open.
    const long most = sysconf(_SC_OPEN_MAX);
    const unsigned int end = most > 0 ? std::min(last, static_cast<unsigned int>(most - 1)) : last;
    for (unsigned int fd = first; fd <= end && fd >= first; ++fd) {
        close(static_cast<int>(fd));
    }
}

// Closes every descriptor a forked worker inherited but the ones it works with. Another
// worker's socket would keep that one from seeing its parent close; the window's instance
// lock or listening socket would outlive a window that was killed, for as long as this
// worker runs.
void keep_only_descriptors(int channel, int capture, const ProcessorTokens& tokens) {
    std::array<int, 7> keep = {STDIN_FILENO, STDOUT_FILENO,  STDERR_FILENO,  channel,
                               capture,      tokens.read_fd, tokens.write_fd};
    std::sort(keep.begin(), keep.end());
    unsigned int next = 0;  // the lowest descriptor not yet kept or closed
    for (int fd : keep) {
        if (fd < 0 || static_cast<unsigned int>(fd) < next) {
            continue;
        }
        if (static_cast<unsigned int>(fd) > next) {
            close_descriptors(next, static_cast<unsigned int>(fd) - 1);
        }
        next = static_cast<unsigned int>(fd) + 1;
    }
    close_descriptors(next, ~0U);
}

// The worker process: files one after another as the parent sends them, each answered with
// its end record; ends when the parent has no more.
// freshDither: each file starts from the dither's first state, as a run of that file alone
// does, since which worker takes which file depends on timing.
[[noreturn]] void run_worker(int channel, int capture, const RequestBuilder& build,
                             const DecodeFunction& decode, const sigset_t& mask, bool freshDither,
                             const ProcessorTokens& tokens) {
    setpgid(0, 0);  // Ctrl-C reaches the parent only, which asks the workers to stop
    // A parent killed outright takes its workers with it, each removing its temporary file.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The worker's run: a fresh one, not the parent's copy, for the signal handler and the
    // engine's progress callback.
    static BatchState run;
    set_progress_run(&run);
    struct sigaction action {};
    action.sa_handler = cancel_in_worker;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = end_worker_now;
    sigaction(SIGTERM, &action, nullptr);
    // A file over the size limit fails with EFBIG and the worker goes on with the next one.
    signal(SIGXFSZ, SIG_IGN);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    if (getppid() != parent) {
        _exit(0);  // the parent ended before the death signal was asked for
    }
    if (capture != -1 &&
        (dup2(capture, STDOUT_FILENO) == -1 || dup2(capture, STDERR_FILENO) == -1)) {
        _exit(127);  // its files fail as a crash's: messages never go where they should not
    }
    run.fileMoved = [channel](std::int32_t totalKiB, std::int32_t doneKiB) {
        // A parent that is gone is no reason to stop mid-file; the worker ends at its next job.
        send_all(channel, encode_progress(totalKiB, doneKiB));
    };
    std::string inbox;
    PoolJob job;
    while (read_job(channel, inbox, job)) {
        if (freshDither) {
            restart_dither();
        }
        FileOutcome outcome = decode_in_worker(job.file, build, decode, &tokens);
        if (!send_all(channel, encode_end(outcome, take_captured(capture)))) {
            break;
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
}

// A worker as the parent sees it: a process with its socket, its capture file and the file it
// is decoding, if any; or the inline worker, which has neither.
struct Worker {
    pid_t pid = -1;
    bool here = false;  // the inline worker: decodes in this process
    bool alive() const { return pid > 0 || here; }
    int channel = -1;  // the parent's end of the socket, not blocking
    int capture = -1;  // the worker's standard output and error, when captured
    bool busy = false;
    std::size_t file = 0;
    std::int32_t totalKiB = 0;  // the current file's progress as last reported
    std::int32_t doneKiB = 0;
    std::string inbox;           // bytes of records not yet complete
    bool brokeProtocol = false;  // sent bytes that are no record: retired
};

class Pool {
public:
    Pool(BatchState& state, const std::vector<BatchFile>& files, const RequestBuilder& build,
         const PoolSettings& settings, RunObserver& observer, const DecodeFunction& decode)
        : state_(state),
          files_(files),
          build_(build),
          decode_(decode),
          settings_(settings),
          observer_(observer),
          // No more than a second signal can reach: an untracked worker would outlive it.
          workers_(settings.inProcess
                       ? 1
                       : static_cast<std::size_t>(
                             std::clamp(settings.workers, 1, static_cast<int>(TRACKED_WORKERS)))),
          processors_(settings.inProcess ? nullptr : settings.tokens, settings.fileThreads,
                      workers_.size()) {
        result_.files.resize(files.size());
        begun_.resize(files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            result_.files[i].input = input_path(files[i]);
        }
    }

    BatchResult run();

private:
    std::optional<std::size_t> nextFile();
    bool waiting() const;
    void giveWork();
    int start(std::size_t slot);
    void assign(Worker& worker, std::size_t file);
    void decodeHere(Worker& worker);
    void retire(std::size_t slot);
    void forwardCancel();
    void waitForNews();
    void readNews(std::size_t slot);
    void fileEnded(Worker& worker, const FileOutcome& ended, const std::string& messages);
    void workerEnded(std::size_t slot);
    void reportProgress(bool now);

    BatchState& state_;
    const std::vector<BatchFile>& files_;
    const RequestBuilder& build_;
    const DecodeFunction& decode_;
    const PoolSettings& settings_;
    RunObserver& observer_;
    std::vector<Worker> workers_;
    RunProcessors processors_;
    std::size_t next_ = 0;     // the first file not started, in order
    std::vector<bool> begun_;  // per file: given to a worker
    std::size_t begunCount_ = 0;
    bool forwarded_ = false;
    bool stopped_ = false;  // a worker ended its file early on request
    std::uint64_t completedKiB_ = 0;
    int startError_ = 0;  // errno of the first worker that could not be started
    int started_ = 0;     // workers started, replacements included
    std::chrono::steady_clock::time_point lastReport_{};
    BatchResult result_;
};

BatchResult Pool::run() {
    processors_.begin(std::min(workers_.size(), files_.size()));
    while (true) {
        giveWork();
        bool anyAlive = false;
        for (const Worker& worker : workers_) {
            anyAlive = anyAlive || worker.alive();
        }
        if (!anyAlive) {
            break;
        }
        forwardCancel();
        waitForNews();
        reportProgress(false);
    }
    processors_.end();
    // Files that never went to a worker: kept back by a stop, or with no worker to take them.
    for (std::size_t file = 0; file < files_.size(); ++file) {
        if (begun_[file]) {
            continue;
        }
        FileOutcome& outcome = result_.files[file];
        if (state_.stopRequested != 0) {
            outcome.end = FileEnd::NotStarted;
            outcome.reason = {ReasonKind::Cancelled};
            stopped_ = true;
        } else {
            outcome.end = FileEnd::Failed;
            outcome.reason = {ReasonKind::NoWorker, startError_, {}};
        }
        observer_.ended(file, outcome);
    }
    reportProgress(true);
    result_.stopped = state_.cancelRequested != 0 && stopped_;
    if (startError_ != 0 && started_ > 0) {
        result_.notice = "Not every worker process could be started (" +
                         errno_message(startError_) + "); the others decoded the files.";
    }
    return result_;
}

// The file to start now, if any may.
std::optional<std::size_t> Pool::nextFile() {
    if (state_.stopRequested != 0 || begunCount_ == files_.size()) {
        return std::nullopt;
    }
    if (!settings_.nextFile) {
        while (begun_[next_]) {
            ++next_;
        }
        return next_;
    }
    const std::optional<std::size_t> file = settings_.nextFile();
    if (file && (*file >= files_.size() || begun_[*file])) {
        return std::nullopt;
    }
    return file;
}

// Files are left that wait on a running one: idle workers are kept for them.
bool Pool::waiting() const {
    if (state_.stopRequested != 0 || begunCount_ == files_.size()) {
        return false;
    }
    return std::any_of(workers_.begin(), workers_.end(),
                       [](const Worker& worker) { return worker.alive() && worker.busy; });
}

// Every idle worker gets the next file, a free slot a new worker, while files may start; once
// none may (and none waits on a running file), idle workers are let go.
void Pool::giveWork() {
    for (std::size_t slot = 0; slot < workers_.size(); ++slot) {
        Worker& worker = workers_[slot];
        if (worker.alive() && worker.busy) {
            continue;
        }
        const std::optional<std::size_t> file = nextFile();
        if (!file) {
            if (!waiting()) {
                processors_.release(slot);  // no file will start: to the files still running
            }
            if (worker.alive() && !waiting()) {
                retire(slot);
            }
            continue;
        }
        if (!worker.alive()) {
            // After one failure no other start is tried: the same limit would refuse it, and
            // the workers that did start take the files.
            int error = startError_ != 0 ? startError_ : start(slot);
            if (error != 0) {
                startError_ = error;
                processors_.release(slot);
                continue;
            }
            ++started_;
        }
        assign(worker, *file);
    }
}

// 0, or the errno value of what failed.
int Pool::start(std::size_t slot) {
    if (settings_.inProcess) {
        workers_[slot] = Worker{};
        workers_[slot].here = true;
        return 0;
    }
    int fds[2];
    // Close-on-exec, so that a program the window starts meanwhile holds no end open.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == -1) {
        return errno;
    }
    // Without a capture file the messages go to the parent's streams: shown, not lost.
    // open_scratch_file opens it close-on-exec.
    int capture = settings_.captureMessages ? open_scratch_file() : -1;
    // Whatever the parent has buffered would otherwise be written by the child as well.
    std::fflush(nullptr);
    const sigset_t blocked = cancel_signals();
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, &blocked, &mask);
    // Forked, not executed: the worker runs the caller's builder and decode function, which
    // cannot cross an exec, and needs no executable to be found. In the window the parent has
    // other threads, whose locks a forked child inherits in whatever state they were; the
    // worker only runs the engine on this thread's copy of the heap and never touches Qt or
    // returns from here. glibc makes malloc and stdio safe across fork with its own fork
    // handlers, and workers are forked once per run and on a crash, not once per file.
    pid_t pid = fork();
    if (pid == 0) {
        const ProcessorTokens tokens = processors_.workerTokens(slot);
        keep_only_descriptors(fds[1], capture, tokens);
        run_worker(fds[1], capture, build_, decode_, mask, workers_.size() > 1, tokens);
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
    if (fcntl(fds[0], F_SETFL, O_NONBLOCK) == -1) {
        error = errno;
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
        }
        close(fds[0]);
        if (capture != -1) {
            close(capture);
        }
        return error;
    }
    Worker& worker = workers_[slot];
    worker = Worker{};
    worker.pid = pid;
    worker.channel = fds[0];
    worker.capture = capture;
    track(slot, pid);
    return 0;
}

void Pool::assign(Worker& worker, std::size_t file) {
    worker.busy = true;
    worker.file = file;
    begun_[file] = true;
    ++begunCount_;
    // The inline worker keeps the total its last file reported: a file that never reports one
    // is credited with its predecessor's when it ends, so that the batch bar of one file after
    // another still moves past it.
    if (!worker.here) {
        worker.totalKiB = 0;
    }
    worker.doneKiB = 0;
    observer_.started(worker.file);
    reportProgress(true);
    if (worker.here) {
        decodeHere(worker);
        return;
    }
    // The file counts as started even when the send fails: the worker is then gone (or made
    // to go, rather than wait for a job that never arrives whole), and its end, read from the
    // socket, fails this file. Every worker lost costs a file, so a worker that keeps dying
    // cannot restart forever.
    if (!send_all(worker.channel, encode_job(worker.file, files_[worker.file]))) {
        kill(worker.pid, SIGKILL);
    }
}

// The file in this process: the engine's progress calls reach the pool through the run, and a
// cancel through the run's flag, which batch_progress reads; what the decode writes is caught
// around it as a forked worker's is for its whole life.
void Pool::decodeHere(Worker& worker) {
    BatchState* outer = progress_run();
    set_progress_run(&state_);
    state_.fileMoved = [this, &worker](std::int32_t totalKiB, std::int32_t doneKiB) {
        if (totalKiB != worker.totalKiB || doneKiB != worker.doneKiB) {
            worker.totalKiB = totalKiB;
            worker.doneKiB = doneKiB;
            reportProgress(true);
        }
    };
    std::optional<OutputCapture> capture;
    if (settings_.captureMessages) {
        capture.emplace(settings_.captureStandardOutput);
    }
    const FileOutcome outcome = decode_in_worker(files_[worker.file], build_, decode_);
    const std::string messages = capture ? capture->finish() : std::string();
    capture.reset();
    state_.fileMoved = nullptr;
    set_progress_run(outer);
    fileEnded(worker, outcome, messages);
}

// An idle worker that is given no more files: the closed socket ends it.
void Pool::retire(std::size_t slot) {
    Worker& worker = workers_[slot];
    if (worker.here) {
        worker = Worker{};
        return;
    }
    close(worker.channel);
    worker.channel = -1;
    track(slot, 0);
    while (waitpid(worker.pid, nullptr, 0) == -1 && errno == EINTR) {
    }
    processors_.reclaim(slot);
    if (worker.capture != -1) {
        close(worker.capture);
    }
    worker = Worker{};
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
    std::vector<std::size_t> slots;
    for (std::size_t slot = 0; slot < workers_.size(); ++slot) {
        if (workers_[slot].pid > 0) {
            fds.push_back({workers_[slot].channel, POLLIN, 0});
            slots.push_back(slot);
        }
    }
    if (fds.empty()) {
        return;  // the inline worker: its file has ended already
    }
    // The timeout only bounds how late a cancel is forwarded and progress reported.
    if (poll(fds.data(), fds.size(), 100) <= 0) {
        return;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) {
            readNews(slots[i]);
        }
    }
}

void Pool::readNews(std::size_t slot) {
    Worker& worker = workers_[slot];
    bool gone = false;
    while (true) {
        char block[16384];
        ssize_t got = read(worker.channel, block, sizeof block);
        if (got > 0) {
            worker.inbox.append(block, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        gone = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    std::size_t offset = 0;
    WorkerNews news{};
    RecordTake take;
    while ((take = take_news(worker.inbox, offset, news)) == RecordTake::Whole) {
        if (!worker.busy) {
            continue;  // nothing is sent between files; ignore what cannot be placed
        }
        if (news.ended) {
            fileEnded(worker, news.outcome, news.messages);
        } else {
            worker.totalKiB = news.totalKiB;
            worker.doneKiB = news.doneKiB;
        }
    }
    worker.inbox.erase(0, offset);
    if (take == RecordTake::Invalid) {
        // A protocol error: nothing more it sends can be trusted. Its file fails as a crash's.
        kill(worker.pid, SIGKILL);
        worker.brokeProtocol = true;
        gone = true;
    }
    if (gone) {
        workerEnded(slot);
    }
}

void Pool::fileEnded(Worker& worker, const FileOutcome& ended, const std::string& messages) {
    FileOutcome& outcome = result_.files[worker.file];
    const std::string input = outcome.input;
    outcome = ended;
    outcome.input = input;
    outcome.renamed =
        !outcome.output.empty() &&
        (files_[worker.file].renamed || (files_[worker.file].existing == ExistingPolicy::Rename &&
                                         outcome.output != files_[worker.file].output));
    outcome.messages = message_lines(messages);
    stopped_ = stopped_ || outcome.end == FileEnd::Partial;
    // Credited with the total it last reported, not what it had done.
    completedKiB_ += static_cast<std::uint64_t>(worker.totalKiB);
    worker.busy = false;
    observer_.ended(worker.file, outcome);
}

// The worker's socket is closed on its side: it has ended, in the middle of a file or between
// two, and its slot is free for a replacement.
void Pool::workerEnded(std::size_t slot) {
    Worker& worker = workers_[slot];
    track(slot, 0);
    int status = 0;
    while (waitpid(worker.pid, &status, 0) == -1 && errno == EINTR) {
    }
    processors_.reclaim(slot);
    if (worker.busy) {
        FileOutcome& outcome = result_.files[worker.file];
        outcome.end = FileEnd::Failed;
        outcome.reason = {ReasonKind::Engine};
        if (worker.brokeProtocol) {
            outcome.reason = {ReasonKind::Worker, 0,
                              "sent a record of an unknown kind and was stopped"};
        } else if (WIFSIGNALED(status)) {
            outcome.reason = {ReasonKind::Worker, 0, killed_by_signal_message(WTERMSIG(status))};
        }
        // The engine ends the process with a status of its own after saying why (an invalid
        // option text); what the file's decode wrote is in the capture since its start.
        if (worker.capture != -1) {
            outcome.messages = message_lines(read_scratch_file(worker.capture));
        }
        // Its temporary file is left with its lock free: no other run is writing it.
        if (!files_[worker.file].output.empty()) {
            remove_stale_temporaries(files_[worker.file].output);
        }
        completedKiB_ += static_cast<std::uint64_t>(worker.totalKiB);
        observer_.ended(worker.file, outcome);
    }
    close(worker.channel);
    if (worker.capture != -1) {
        close(worker.capture);
    }
    worker = Worker{};
}

// now: whatever the time since the last report.
void Pool::reportProgress(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - lastReport_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastReport_ = time;
    RunProgress progress{{}, completedKiB_};
    for (const Worker& worker : workers_) {
        if (worker.alive() && worker.busy) {
            progress.running.push_back({worker.file, worker.totalKiB, worker.doneKiB});
            progress.doneKiB += static_cast<std::uint64_t>(worker.doneKiB);
        }
    }
    observer_.progressed(progress);
}

}  // namespace

BatchResult run_worker_pool(BatchState& state, const std::vector<BatchFile>& files,
                            const RequestBuilder& build, const PoolSettings& settings,
                            RunObserver& observer, const DecodeFunction& decode) {
    return Pool(state, files, build, settings, observer, decode).run();
}

void stop_pool_workers() {
    for (volatile pid_t& pid : tracked) {
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
    }
    // About two seconds for them to remove their temporary files and end; looked at without
    // reaping, so that the pool still reads each one's status.
    for (int round = 0; round < 100; ++round) {
        bool running = false;
        for (volatile pid_t& pid : tracked) {
            siginfo_t info{};
            if (pid > 0 &&
                waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == 0) {
                running = true;
            }
        }
        if (!running) {
            return;
        }
        const timespec pause{0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    kill_pool_workers();
}

void kill_pool_workers() {
    for (volatile pid_t& pid : tracked) {
        if (pid > 0) {
            kill(pid, SIGKILL);
        }
    }
}

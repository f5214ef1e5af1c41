// Up to N files at once, each decoded in a worker process of its own: the engine's
// process-wide state (writer, dither) stays per process, and a crash fails only its file.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/core/output_name.h"
#include "cli/cli_run.h"
#include "cli/terminal_display.h"

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

void cancel_in_worker(int) {
    request_cancel(batch_state());
}

struct Worker {
    pid_t pid = -1;
    int progress = -1;  // read end of the progress pipe
    int capture = -1;   // the worker's standard output and error, unless verbose
    std::size_t file = 0;
    ProgressRecord last{0, 0};
};

[[noreturn]] void work(const CliRun& run, std::size_t index, int progress, int capture) {
    setpgid(0, 0);  // Ctrl-C reaches the parent only, which asks the workers to stop
    struct sigaction action {};
    action.sa_handler = cancel_in_worker;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    if (capture != -1) {
        dup2(capture, STDOUT_FILENO);
        dup2(capture, STDERR_FILENO);
    }
    PipeSink sink(progress);
    BatchState& state = batch_state();
    state.progress = &sink;
    const BatchFile& file = run.files[index];
    RequestTexts texts;
    DecodeRequest windowRequest = fill_request(run.batch, file.folder + file.name, texts);
    DecodeRequest request = cli_request(run, windowRequest);
    std::int32_t result = decode_file(&request);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(result);
}

std::string read_capture(int fd) {
    std::string text;
    char block[4096];
    ssize_t got;
    off_t offset = 0;
    while ((got = pread(fd, block, sizeof block, offset)) > 0) {
        text.append(block, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

}  // namespace

CliOutcome run_in_workers(CliRun& run, int jobs) {
    BatchState& state = batch_state();
    std::vector<std::string> inputs;
    for (const BatchFile& file : run.files) {
        inputs.push_back(file.folder + file.name);
    }
    state.batchTotalKiB = scan_batch_size(inputs, state);
    std::uint64_t completedKiB = 0;

    TerminalDisplay display(run.screen);
    auto start = std::chrono::steady_clock::now();
    std::vector<Worker> workers(static_cast<std::size_t>(jobs));
    std::size_t next = 0;
    int running = 0;
    bool forwarded = false;
    bool stopped = false;  // a worker ended its file early on request
    CliOutcome outcome;

    auto start_worker = [&](std::size_t slot) {
        int fds[2];
        if (pipe(fds) == -1) {
            return false;
        }
        int capture = -1;
        if (!run.options->verbose) {
            char name[] = "/tmp/pelmora-cli-XXXXXX";
            capture = mkstemp(name);
            if (capture != -1) {
                unlink(name);
            }
        }
        std::fflush(stdout);
        std::fflush(stderr);
        std::fflush(run.screen);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            work(run, next, fds[1], capture);
        }
        close(fds[1]);
        if (pid == -1) {
            close(fds[0]);
            if (capture != -1) {
                close(capture);
            }
            return false;
        }
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        workers[slot] = Worker{pid, fds[0], capture, next, {0, 0}};
        track_worker(static_cast<int>(slot), pid);
        ++next;
        ++running;
        ++outcome.result.attempted;
        return true;
    };

    auto finish_worker = [&](Worker& worker, int status) {
        const BatchFile& file = run.files[worker.file];
        std::string input = file.folder + file.name;
        std::string failure;
        int result = DECODE_FAILED;
        if (WIFEXITED(status)) {
            result = WEXITSTATUS(status);
            if (result != DECODE_OK && result != DECODE_ABORTED) {
                result = DECODE_FAILED;
                failure = "decoding failed";
            }
        } else if (WIFSIGNALED(status)) {
            failure = std::string("worker process killed by signal ") +
                      std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
        }
        std::string messages = worker.capture != -1 ? read_capture(worker.capture) : "";
        display.erase();
        if (result != DECODE_ABORTED) {
            report_file(run, input, output_file_path(run.batch.outputFolder, input), failure,
                        messages);
        }
        if (result == DECODE_FAILED) {
            outcome.result.failed.push_back(input);
        }
        stopped = stopped || result == DECODE_ABORTED;
        outcome.result.lastResult = result;
        completedKiB += static_cast<std::uint64_t>(worker.last.totalKiB);
        close(worker.progress);
        if (worker.capture != -1) {
            close(worker.capture);
        }
        worker = Worker{};
        --running;
    };

    while (true) {
        for (std::size_t slot = 0; slot < workers.size(); ++slot) {
            if (workers[slot].pid == -1 && next < run.files.size() && state.stopRequested == 0) {
                if (!start_worker(slot)) {
                    std::fprintf(run.screen, "pelmora-cli: cannot start a worker: %s\n",
                                 std::strerror(errno));
                    request_cancel(state);
                }
            }
        }
        if (running == 0) {
            break;
        }
        if (state.cancelRequested != 0 && !forwarded) {
            for (const Worker& worker : workers) {
                if (worker.pid > 0) {
                    kill(worker.pid, SIGUSR1);
                }
            }
            forwarded = true;
        }

        std::vector<pollfd> fds;
        for (const Worker& worker : workers) {
            if (worker.pid > 0) {
                fds.push_back({worker.progress, POLLIN, 0});
            }
        }
        poll(fds.data(), fds.size(), 100);
        for (Worker& worker : workers) {
            ProgressRecord record;
            while (worker.pid > 0 && read(worker.progress, &record, sizeof record) ==
                                         static_cast<ssize_t>(sizeof record)) {
                worker.last = record;
            }
        }

        int status = 0;
        pid_t done;
        while ((done = waitpid(-1, &status, WNOHANG)) > 0) {
            for (std::size_t slot = 0; slot < workers.size(); ++slot) {
                if (workers[slot].pid == done) {
                    track_worker(static_cast<int>(slot), 0);
                    finish_worker(workers[slot], status);
                }
            }
        }

        if (run.interactive) {
            std::vector<DisplayBar> bars;
            std::uint64_t doneKiB = completedKiB;
            for (const Worker& worker : workers) {
                if (worker.pid > 0) {
                    const BatchFile& file = run.files[worker.file];
                    double fraction =
                        worker.last.totalKiB > 0
                            ? static_cast<double>(worker.last.doneKiB) / worker.last.totalKiB
                            : 0.0;
                    bars.push_back({fraction, count_line(static_cast<int>(worker.file) + 1,
                                                         static_cast<int>(run.files.size())) +
                                                  "  " + file.name});
                    doneKiB += static_cast<std::uint64_t>(worker.last.doneKiB);
                }
            }
            double batch = state.batchTotalKiB > 0 ? static_cast<double>(doneKiB) /
                                                         static_cast<double>(state.batchTotalKiB)
                                                   : 0.0;
            double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            bars.push_back({batch, batch_label(batch, elapsed)});
            display.show(bars);
        }
    }
    display.erase();
    // A cancel that came after the last file had ended stopped nothing.
    outcome.cancelled = state.cancelRequested != 0 && (stopped || next < run.files.size());
    if (outcome.cancelled) {
        outcome.result.lastResult = DECODE_ABORTED;
    }
    return outcome;
}

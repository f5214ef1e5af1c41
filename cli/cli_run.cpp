#include "cli/cli_run.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "app/core/decode_warnings.h"
#include "app/core/loudness_text.h"
#include "app/core/output_name.h"
#include "app/core/safe_output.h"
#include "app/core/worker_pool.h"
#include "cli/terminal_text.h"

namespace {

// Read by the handler: constant-initialised, so that a signal arriving before any dynamic
// initialisation still finds them in their starting state.
constinit volatile std::sig_atomic_t interrupts = 0;
constinit volatile std::sig_atomic_t firstSignal = 0;
// The original standard error: while a file decodes, descriptor 2 is the engine's capture.
// Read by the handler: constant-initialised, so that a signal arriving before any dynamic
// initialisation still finds them in their starting state.
constinit volatile std::sig_atomic_t messageFd = STDERR_FILENO;
// The run the first signal cancels; set before the handler is installed.
constinit BatchState* interruptedRun = nullptr;
bool readerGone = false;

void on_interrupt(int signal) {
    interrupts = interrupts + 1;
    if (interrupts == 1) {
        firstSignal = signal;
        // Lock-free atomics: safe here. The engine sees the cancel at its next progress call.
        if (interruptedRun != nullptr) {
            request_cancel(*interruptedRun);
        }
        return;
    }
    // Workers remove their own temporary files; a short grace before SIGKILL.
    stop_pool_workers();
    remove_unfinished_output();
    static const char message[] = "\nDecoding files aborted by user.\n";
    ssize_t ignored = write(messageFd, message, sizeof message - 1);
    (void)ignored;
    _exit(128 + signal);
}

std::string indent(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        out += "    " + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

}  // namespace

void install_interrupt_handler(int screenFd, BatchState& run) {
    messageFd = screenFd;
    interruptedRun = &run;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    // One signal at a time, so that the count and the first signal agree.
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

int interrupt_count() {
    return interrupts;
}

int stop_signal() {
    return firstSignal;
}

void stop_if_reader_gone(std::FILE* out) {
    if (out != nullptr && std::ferror(out) != 0 && errno == EPIPE && !readerGone) {
        readerGone = true;
        if (interruptedRun != nullptr) {
            if (interruptedRun->cancelRequested == 0) {
                interruptedRun->stopCause = READER_GONE;
            }
            request_cancel(*interruptedRun);
        }
    }
}

bool reader_gone() {
    return readerGone;
}

RequestBuilder cli_requests(const CliRun& run) {
    RequestBuilder build;
    if (run.options->window_options) {
        build = window_requests(run.batch);
    } else {
        build = [options = run.options, folder = run.batch.outputFolder](
                    const std::string& inputPath, RequestTexts& texts) {
            texts.input = inputPath;
            texts.output = output_file_path(folder, inputPath);
            return make_request(*options, texts.input.c_str(), texts.output.c_str());
        };
    }
    return build;
}

void report_file(const CliRun& run, const FileOutcome& outcome, const std::string& planned,
                 const std::string& written) {
    std::string text;
    const std::string& input = outcome.input;
    // Names and the engine's messages (which repeat names) reach the terminal escaped.
    if (outcome.end == FileEnd::Failed || outcome.end == FileEnd::Refused) {
        const std::string headline = input + ": " + reason_text(outcome.reason);
        // The engine's own line of the reason ("x.mp3: no MPEG audio found") is the headline
        // already; the lines that led to it follow it.
        std::string messages;
        for (const std::string& line : outcome.messages) {
            if (line != headline) {
                messages += line + "\n";
            }
        }
        text = "pelmora-cli: " + terminal_safe(input) + ": " +
               terminal_safe(reason_text(outcome.reason)) + "\n" +
               indent(terminal_safe_lines(messages, {input, planned, written}));
    } else if (outcome.end == FileEnd::Decoded && !run.options->quiet) {
        const std::string loudness = loudness_text(outcome.stats);
        // --verbose shows the engine's lines of every file, as they were written but escaped.
        // The decoder's banner opened its first line.
        if (run.options->verbose) {
            std::string prefix = std::string(decode_banner());
            for (const std::string& line : outcome.messages) {
                text += terminal_safe_lines(prefix + line, {input, planned, written}) + "\n";
                prefix.clear();
            }
        }
        text += terminal_safe(input) + " -> " + terminal_safe(outcome.output) +
                (loudness.empty() ? "" : " (" + loudness + ")") +
                (outcome.renamed ? " (kept both)" : "") + "\n";
        // What was left out is said without --verbose: a file that lost its tags is not whole.
        for (const std::string& warning : decode_warning_texts(outcome.stats.warnings)) {
            text += "pelmora-cli: " + terminal_safe(input) + ": " + warning + "\n";
        }
    }
    if (text.empty()) {
        return;
    }
    text.pop_back();
    std::fprintf(run.screen, "%s\n", text.c_str());
    std::fflush(run.screen);
}

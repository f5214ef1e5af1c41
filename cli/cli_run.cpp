#include "cli/cli_run.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

#include "app/core/output_name.h"
#include "app/core/worker_pool.h"
#include "cli/terminal_text.h"

namespace {

volatile std::sig_atomic_t interrupts = 0;

void on_interrupt(int) {
    interrupts = interrupts + 1;
    if (interrupts == 1) {
        // Lock-free atomics: safe here. The engine sees the cancel at its next progress call.
        request_cancel(batch_state());
        return;
    }
    kill_pool_workers();
    static const char message[] = "\nDecoding files aborted by user.\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(130);
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

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

int interrupt_count() {
    return interrupts;
}

RequestBuilder cli_requests(const CliRun& run) {
    if (run.options->window_options) {
        return window_requests(run.batch);
    }
    return [options = run.options, folder = run.batch.outputFolder](const std::string& inputPath,
                                                                    RequestTexts& texts) {
        texts.input = inputPath;
        texts.output = output_file_path(folder, inputPath);
        return make_request(*options, texts.input.c_str(), texts.output.c_str());
    };
}

void report_file(const CliRun& run, const std::string& input, const std::string& output,
                 const std::string& failure, const std::string& messages) {
    std::string text;
    // Names and the engine's messages (which repeat names) reach the terminal escaped.
    if (!failure.empty()) {
        text = "pelmora-cli: " + terminal_safe(input) + ": " + terminal_safe(failure) + "\n" +
               indent(terminal_safe_lines(messages, {input, output}));
    } else if (!run.options->quiet) {
        text = terminal_safe(input) + " -> " + terminal_safe(output) + "\n";
    }
    if (text.empty()) {
        return;
    }
    text.pop_back();
    std::fprintf(run.screen, "%s\n", text.c_str());
    std::fflush(run.screen);
}

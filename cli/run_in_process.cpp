// All files one after another in this process, as the window's worker decodes them: the
// dither state runs on from file to file.
#include "app/core/output_capture.h"
#include "app/core/output_plan.h"
#include "cli/cli_run.h"
#include "cli/json_report.h"
#include "cli/terminal_display.h"

namespace {

// Feeds the two bars of the terminal display from the batch driver's progress calls.
class DisplaySink : public ProgressSink {
public:
    explicit DisplaySink(TerminalDisplay& display)
        : display_(display), start_(std::chrono::steady_clock::now()) {}

    void setFileBar(int, int upper, int, int position) override {
        file_ = upper > 0 ? static_cast<double>(position) / upper : 0.0;
        redraw(false);
    }
    void setBatchBar(int, int upper, int, int position) override {
        batch_ = upper > 0 ? static_cast<double>(position) / upper : 0.0;
        redraw(false);
    }
    void setFileLine(const std::string& name) override {
        name_ = name;
        file_ = 0;
    }
    void setCountLine(const std::string& text) override {
        count_ = text;
        redraw(true);
    }

private:
    void redraw(bool force) {
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        display_.show({{file_, count_ + "  " + name_}, {batch_, batch_label(batch_, elapsed)}},
                      force);
    }

    TerminalDisplay& display_;
    std::chrono::steady_clock::time_point start_;
    double file_ = 0;
    double batch_ = 0;
    std::string name_;
    std::string count_;
};

}  // namespace

BatchResult run_in_process(CliRun& run, BatchState& state) {
    TerminalDisplay display(run.screen);
    DisplaySink sink(display);
    state.progress = run.interactive ? &sink : nullptr;

    // The engine writes a temporary file; the file's line is printed once it is in place.
    std::string messages;
    std::string written;
    auto decode = [&run, &display, &messages, &written](const DecodeRequest& request) {
        written = request.output_path;
        // With --verbose too: the engine's lines name files and show tag texts, which reach
        // the terminal only escaped. Its standard output (normalization) carries neither.
        OutputCapture capture(!run.options->verbose);
        std::int32_t result = decode_file(&request);
        messages = capture.finish();
        return result;
    };
    auto ended = [&](const BatchFile& file, FileOutcome& outcome) {
        display.erase();
        outcome.messages = message_lines(messages);
        report_file(run, outcome, file.output, written);
        write_json_line(run.json, outcome);
        stop_if_reader_gone(run.json);
        messages.clear();
        written.clear();
    };

    BatchResult result =
        run_batch(state, run.files, cli_requests(run), output_decoder(run.batch, decode), ended);
    display.erase();
    state.progress = nullptr;
    return result;
}

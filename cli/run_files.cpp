// The files of a run in the worker pool: one at a time in this process (--jobs 1), or up to N
// at once in worker processes; on a terminal a bar per running file and one for the batch.
#include "app/core/output_name.h"
#include "app/core/output_plan.h"
#include "app/core/system_message.h"
#include "app/core/worker_pool.h"
#include "cli/cli_run.h"
#include "cli/json_report.h"
#include "cli/terminal_display.h"

namespace {

// Every file's line and JSON object from its outcome, and the display from the run's
// progress, whichever worker decodes it.
class CliReport : public RunObserver {
public:
    CliReport(const CliRun& run, const BatchState& state, TerminalDisplay& display,
              const std::string& written)
        : run_(run),
          state_(state),
          display_(display),
          written_(written),
          start_(std::chrono::steady_clock::now()) {}

    void started(std::size_t) override {
        // A new file shows at once, not at the display's next turn.
        redrawNow_ = true;
    }

    void ended(std::size_t index, const FileOutcome& outcome) override {
        display_.erase();
        report_file(run_, outcome, run_.files[index].output, written_);
        write_json_line(run_.json, outcome);
        stop_if_reader_gone(run_.json);
    }

    void progressed(const RunProgress& progress) override {
        // With no file running the display stays as the last file's line left it: erased,
        // so that the end message follows the lines directly.
        if (!run_.interactive || progress.running.empty()) {
            return;
        }
        const int total = static_cast<int>(run_.files.size());
        std::vector<DisplayBar> bars;
        for (const RunningFile& file : progress.running) {
            double fraction =
                file.totalKiB > 0 ? static_cast<double>(file.doneKiB) / file.totalKiB : 0.0;
            bars.push_back({fraction, count_line(static_cast<int>(file.index) + 1, total) + "  " +
                                          run_.files[file.index].name});
        }
        const std::uint64_t batchTotalKiB = state_.batchTotalKiB;
        double batch = batchTotalKiB > 0 ? static_cast<double>(progress.doneKiB) /
                                               static_cast<double>(batchTotalKiB)
                                         : 0.0;
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        bars.push_back({batch, batch_label(batch, elapsed)});
        display_.show(bars, redrawNow_);
        redrawNow_ = false;
    }

private:
    const CliRun& run_;
    const BatchState& state_;
    TerminalDisplay& display_;
    const std::string& written_;
    std::chrono::steady_clock::time_point start_;
    bool redrawNow_ = false;
};

}  // namespace

BatchResult run_files(CliRun& run, BatchState& state, int jobs) {
    TerminalDisplay display(run.screen);
    // The temporary name the engine writes, which its messages may name: known here only when
    // the file decodes in this process.
    std::string written;
    CliReport report(run, state, display, written);
    PoolSettings settings{jobs, true};
    settings.inProcess = jobs <= 1;
    // With --verbose the normalizer's lines on standard output pass as they come: they name
    // no file and show no tag text. Worker processes catch everything.
    settings.captureStandardOutput = !run.options->verbose;
    auto decode = [&written](const DecodeRequest& request) {
        written = request.output_path != nullptr ? request.output_path : "";
        return decode_file(&request);
    };
    ProcessorTokens tokens{-1, -1, 0, nullptr};
    if (!settings.inProcess && run.sharedProcessors > 0 &&
        processor_tokens_create(&tokens, run.sharedProcessors) == 0) {
        settings.tokens = &tokens;
        settings.fileThreads = run.batch.threadsPerFile;
    }
    BatchResult result =
        run.options->album ? run_album_files(state, run.files, run.measuredOnly, cli_requests(run),
                                             settings, report, output_decoder(run.batch, decode))
                           : run_worker_pool(state, run.files, cli_requests(run), settings, report,
                                             output_decoder(run.batch, decode));
    processor_tokens_close(&tokens);
    display.erase();
    return result;
}

// Up to N files at once in the worker pool, with a bar per running file on a terminal.
#include "app/core/output_name.h"
#include "app/core/output_plan.h"
#include "app/core/system_message.h"
#include "app/core/worker_pool.h"
#include "cli/cli_run.h"
#include "cli/json_report.h"
#include "cli/terminal_display.h"

namespace {

class WorkerReport : public PoolListener {
public:
    WorkerReport(const CliRun& run, const BatchState& state, TerminalDisplay& display)
        : run_(run), state_(state), display_(display), start_(std::chrono::steady_clock::now()) {}

    void fileEnded(std::size_t index, const FileOutcome& outcome) override {
        display_.erase();
        report_file(run_, outcome, run_.files[index].output);
        write_json_line(run_.json, outcome);
        stop_if_reader_gone(run_.json);
    }

    void progressed(const PoolProgress& progress) override {
        if (!run_.interactive) {
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
        display_.show(bars);
    }

private:
    const CliRun& run_;
    const BatchState& state_;
    TerminalDisplay& display_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

BatchResult run_in_workers(CliRun& run, BatchState& state, int jobs) {
    TerminalDisplay display(run.screen);
    WorkerReport report(run, state, display);
    PoolSettings settings{jobs, true};
    ProcessorTokens tokens{-1, -1, 0, nullptr};
    if (run.sharedProcessors > 0 && processor_tokens_create(&tokens, run.sharedProcessors) == 0) {
        settings.tokens = &tokens;
        settings.fileThreads = run.batch.threadsPerFile;
    }
    BatchResult result = run_worker_pool(state, run.files, cli_requests(run), settings, report,
                                         output_decoder(run.batch, {}));
    processor_tokens_close(&tokens);
    display.erase();
    return result;
}

#include "app/core/run_types.h"

namespace {

// The trampoline for batch_progress: the one piece of run state that is not passed along.
std::atomic<BatchState*> progressRun{nullptr};

}  // namespace

BatchState* progress_run() {
    return progressRun.load();
}

void set_progress_run(BatchState* state) {
    progressRun.store(state);
}

void request_cancel(BatchState& state) {
    state.stopRequested = 1;
    state.cancelRequested = 1;
}

std::string input_path(const BatchFile& file) {
    return file.folder + file.name;
}

// The batch driver without a window: measuring the batch, filling one decode request per
// file, the worker loop, the progress arithmetic and the end-of-run decisions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/request.h"

// The option pages as the run sees them, taken when the run starts.
struct BatchOptions {
    std::string outputFolder;
    bool eightBit = false;
    bool normalize = false;
    bool skipSilence = false;
    int fadeIn = 0;  // whole seconds, 0 to 60; below 1 counts as 1
    int fadeOut = 0;
    bool copyTags = false;  // "Copy tags into the WAV"
};

// The progress dialog: two bars and two lines. Called on the worker thread.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setFileBar(int lower, int upper, int step, int position) = 0;
    virtual void setBatchBar(int lower, int upper, int step, int position) = 0;
    virtual void setFileLine(const std::string& name) = 0;
    virtual void setCountLine(const std::string& text) = 0;
};

// One per process, since the engine's progress callback carries no context. The two flags
// are written by the thread that shows the dialog and read by the worker.
struct BatchState {
    std::atomic<int> stopRequested{0};    // the loop stops before the next file
    std::atomic<int> cancelRequested{0};  // batch_progress answers "stop"
    std::uint64_t batchTotalKiB = 0;
    std::uint64_t completedKiB = 0;
    std::int64_t lastFileTotalKiB = 0;
    ProgressSink* progress = nullptr;
};

BatchState& batch_state();

// Cancel: both flags set; the current file stops at its next progress call.
void request_cancel(BatchState& state);

// Sum of floor(size / 1024) over the files; unreadable files add 0. Stops early when a stop
// was requested.
std::uint64_t scan_batch_size(const std::vector<std::string>& inputPaths, const BatchState& state);

// The texts a request points at; must outlive the decode.
struct RequestTexts {
    std::string input;
    std::string output;
    std::string fadeIn;
    std::string fadeOut;
};

// The window's request for one file: fades of at least 1 s, 16-bit unless 8-bit is chosen,
// the play length from the header scan, batch_progress as the callback.
DecodeRequest fill_request(const BatchOptions& options, const std::string& inputPath,
                           RequestTexts& texts);

// The engine's progress callback: moves both bars; returns 1 once the run is cancelled.
std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB);

// "Decoding " + "  %d" + " of" + "  %d".
std::string count_line(int position, int total);

struct BatchFile {
    std::string name;    // shown on the file line
    std::string folder;  // ends in '/'
};

struct BatchResult {
    int lastResult = 0;  // of the last decode_file, or 2 when the loop stopped on a request
    int attempted = 0;
    std::vector<std::string> failed;  // input paths whose decode returned DECODE_FAILED
};

// Decodes one request; decode_file unless a test or the command line says otherwise.
using DecodeFunction = std::function<std::int32_t(const DecodeRequest&)>;

// The worker loop over files in order. Uses batch_state(); its progress sink must be set.
BatchResult run_batch(const std::vector<BatchFile>& files, const BatchOptions& options,
                      const DecodeFunction& decode = {});

// What the end of a run shows and does.
struct BatchEnd {
    int dialogResult;     // 2 cancelled, 1 otherwise
    std::string message;  // empty: no message box
    bool openFolder;      // open the output folder now (when its box is checked)
};

BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone);

// After the dialog's loop: a run that was not cancelled, with "exit when done", opens the
// folder and ends the program.
bool exit_after_run(const BatchState& state, bool exitWhenDone);

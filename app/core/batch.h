// The batch driver without a window: starting and measuring a run, building one decode
// request per file, the worker loop, the progress arithmetic and the end-of-run decisions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/core/file_outcome.h"
#include "engine/request.h"

// What happens to a WAV file that is already there: written over, left alone (the input is
// skipped), or kept beside a new "name (2).wav" with the next free number.
enum class ExistingPolicy { Overwrite, Skip, Rename };

// The option pages as the run sees them, taken when the run starts.
struct BatchOptions {
    std::string outputFolder;
    bool eightBit = false;
    bool normalize = false;
    bool skipSilence = false;
    int fadeIn = 0;  // whole seconds, 0 to 60; below 1 counts as 1
    int fadeOut = 0;
    bool exactLength = false;  // trims encoder delay and padding; also the play length
    bool copyTags = false;     // "Copy tags into the WAV"
    // Where the WAV files go (see output_plan.h); the defaults write flat and overwrite.
    bool keepFolders = false;
    ExistingPolicy existing = ExistingPolicy::Overwrite;
};

// The progress dialog: two bars and two lines, and a record per file for the list. Called on
// the worker thread; index is the file's place in the files given to run_batch.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setFileBar(int lower, int upper, int step, int position) = 0;
    virtual void setBatchBar(int lower, int upper, int step, int position) = 0;
    virtual void setFileLine(const std::string& name) = 0;
    virtual void setCountLine(const std::string& text) = 0;
    virtual void fileStarted(int /*index*/) {}
    // Only when the per mille changed since the last call for the file.
    virtual void fileProgress(int /*index*/, int /*perMille*/) {}
    virtual void fileEnded(int /*index*/, const FileOutcome& /*outcome*/) {}
};

// A run: owned by whoever starts it (the window's driver, the command line's main, a pool
// worker) and passed to the runner. The two flags are written by the thread that shows the
// dialog (or a signal handler) and read by the one that runs the files.
struct BatchState {
    std::atomic<int> stopRequested{0};    // the loop stops before the next file
    std::atomic<int> cancelRequested{0};  // batch_progress answers "stop"
    std::uint64_t batchTotalKiB = 0;
    std::uint64_t completedKiB = 0;
    std::int64_t lastFileTotalKiB = 0;
    int currentFile = -1;      // the index the per-file events carry
    int currentPerMille = -1;  // the last one told, so that a repeat is not sent again
    ProgressSink* progress = nullptr;
};

// The run batch_progress reports to, since the engine's progress callback carries no context;
// run_batch sets it for the time of its files, a pool worker for its life. Null otherwise.
BatchState* progress_run();
void set_progress_run(BatchState* state);

// Cancel: both flags set; the current file stops at its next progress call.
void request_cancel(BatchState& state);

struct BatchFile {
    std::string name;    // shown on the file line
    std::string folder;  // ends in '/'
    // The added folder the file was found in, ending in '/' and a prefix of folder; empty for
    // a file added by itself.
    std::string root = {};
    // The WAV file planned for it (plan_outputs); empty: the output folder and its WAV name.
    std::string output = {};
    // The plan kept an existing WAV file and gave this one output's numbered name.
    bool renamed = false;
};

std::string input_path(const BatchFile& file);

// The start of every run: clears the flags and counters the last run left and measures the
// files (scan_batch_size).
void begin_batch(BatchState& state, const std::vector<BatchFile>& files);

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

// The play length the header scan finds, in ms; 0 when it finds none. exact: without the
// encoder's delay and padding, as an exact-length decode plays it.
std::uint32_t scan_play_length_ms(const std::string& inputPath, bool exact = false);

// Builds the request of a file from its input path, all but its play length; texts receives
// the strings the request points at.
using RequestBuilder =
    std::function<DecodeRequest(const std::string& inputPath, RequestTexts& texts)>;

// The one request of a file: the builder's, with the play length the header scan finds (the
// exact one when the request asks for exact length).
DecodeRequest build_request(const RequestBuilder& build, const std::string& inputPath,
                            RequestTexts& texts);
// The same for a file of a run, written to its planned output when it has one.
DecodeRequest build_request(const RequestBuilder& build, const BatchFile& file,
                            RequestTexts& texts);

// The window's request for one file: fades of at least 1 s, 16-bit unless 8-bit is chosen,
// batch_progress as the callback.
DecodeRequest fill_request(const BatchOptions& options, const std::string& inputPath,
                           RequestTexts& texts);

// fill_request over a copy of options.
RequestBuilder window_requests(const BatchOptions& options);

// The engine's progress callback: moves both bars; returns 1 once the run is cancelled.
std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB);

// "Decoding " + "  %d" + " of" + "  %d".
std::string count_line(int position, int total);

// The reason for an input in which the engine found no MPEG audio at all.
inline constexpr const char* NO_AUDIO_REASON = "no MPEG audio found";

struct BatchResult {
    // One per file, in the order the files were given (or listed, once the plan's and the
    // list's own outcomes are added): each file's end, decided once.
    std::vector<FileOutcome> files = {};
    // A cancel stopped a running file or kept files from starting.
    bool stopped = false;
    // Said once for the run, when some or all worker processes could not be started.
    std::string notice = {};
};

// Decodes one request; decode_file unless a test or the command line says otherwise. The
// output path it is given is a temporary file's (see decode_into_place).
using DecodeFunction = std::function<std::int32_t(const DecodeRequest&)>;

// Told of each file once it has ended and its WAV is in place (or gone), before the progress
// sink; it may add the engine's messages it caught to the outcome.
using FileEndFunction = std::function<void(const BatchFile& file, FileOutcome& outcome)>;

// The worker loop over files in order, in this process, each written by decode_into_place.
// Runs in state, started with begin_batch; a progress sink, when set, sees every file.
BatchResult run_batch(BatchState& state, const std::vector<BatchFile>& files,
                      const RequestBuilder& build, const DecodeFunction& decode = {},
                      const FileEndFunction& ended = {});
// The window's run: window_requests(options).
BatchResult run_batch(BatchState& state, const std::vector<BatchFile>& files,
                      const BatchOptions& options, const DecodeFunction& decode = {});

// What the end of a run shows and does; finish_batch is the one place that decides it, for
// the window and the command line alike.
struct BatchEnd {
    bool cancelled;       // the user stopped the run before its end
    int dialogResult;     // 2 cancelled, 1 otherwise
    std::string message;  // empty: no message box
    bool failures;        // files failed or were refused and the run was not cancelled: a warning
    bool openFolder;      // open the output folder now (when its box is checked)
    bool exitProgram;     // a run not cancelled, with "exit when done": open the folder, end
    std::string summary = {};  // the message's headline alone, for a report with sections
};

// How the end message shows names: the command line escapes them for a terminal and leaves
// out the skipped files when quiet.
struct EndText {
    std::function<std::string(const std::string&)> name = {};  // empty: names as they are
    bool skippedLines = true;
};

// The message: "Decoded all files successfully." when every file found was decoded,
// "Decoding files aborted by user." for a cancelled run; else the counts. Any failed, refused,
// partial or kept-both files follow as lists, each with its reason, in the files' order.
// Linear in the number of files.
BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone,
                      const EndText& text = {});

// After the dialog's loop: a run that was not cancelled, with "exit when done", opens the
// folder and ends the program.
bool exit_after_run(const BatchState& state, bool exitWhenDone);

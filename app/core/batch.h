// The batch driver without a window: starting and measuring a run, building one decode
// request per file, the worker loop, the progress arithmetic and the end-of-run decisions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/request.h"

// What happens to a WAV file that is already there: written over, left alone (the input is
// skipped), or kept beside a new "name (2).wav" with the next free number.
enum class ExistingPolicy { Overwrite, Skip, Rename };

// The window's output-format choice: the stream's own rate and channels, CD audio (44100 Hz,
// 16-bit, stereo, exact length) or 48000 Hz for video.
enum class OutputFormat { AsMp3, CdAudio, Video48k };

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
    OutputFormat outputFormat = OutputFormat::AsMp3;
    int threadsPerFile = 1;  // threads that decode one file; the bytes are the same for any
    // "Normalize loudness to [-18] LUFS", "Same gain for the whole album", "Write ReplayGain
    // tags"; the true-peak ceiling stays at its default of -1 dBTP.
    bool loudness = false;
    double targetLufs = -18.0;
    bool album = false;
    bool replayGain = false;
    // Where the WAV files go (see output_plan.h); the defaults write flat and overwrite.
    bool keepFolders = false;
    ExistingPolicy existing = ExistingPolicy::Overwrite;
};

// How one file of a run ended: for the result's lists and for its row in the list.
struct FileOutcome {
    std::int32_t result = DECODE_FAILED;  // DECODE_ABORTED: stopped part way on request
    std::string reason;                   // why it failed; empty otherwise
    DecodeStats stats{};
    // A WAV file was put in place: finished, or with DECODE_ABORTED what was decoded (unless
    // the decode function removed it, as output_decoder does for --existing skip).
    bool kept = false;
    int error = 0;            // the errno value behind reason, when there is one
    std::string output = {};  // the name the WAV file was put in place under, when kept
    // What the engine printed about the file, one line each, when the decode ran where its
    // output could be caught; empty otherwise.
    std::vector<std::string> messages = {};
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

// One per process, since the engine's progress callback carries no context. The two flags
// are written by the thread that shows the dialog and read by the worker.
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

BatchState& batch_state();

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
    // Decided again when the WAV file is put in place: the folder may have changed since.
    ExistingPolicy existing = ExistingPolicy::Overwrite;
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

// The reason given for a file whose decode returned DECODE_FAILED; the engine has said why.
inline constexpr const char* DECODE_FAILED_REASON = "decoding failed";
// The reason for an input in which the engine found no MPEG audio at all.
inline constexpr const char* NO_AUDIO_REASON = "no MPEG audio found";

struct FailedFile {
    std::string path;    // the input
    std::string reason;  // for the end report, e.g. DECODE_FAILED_REASON or a system error
    bool operator==(const FailedFile&) const = default;
};

struct BatchResult {
    // Of the last file to end, or DECODE_ABORTED when the run stopped on a request.
    int lastResult = 0;
    int attempted = 0;  // files started, failed and partial ones included
    std::vector<FailedFile> failed = {};
    // Inputs left alone because their WAV file exists; not attempted, not failed.
    std::vector<std::string> skipped = {};
    // Inputs stopped part way on request; their WAV files hold what was decoded.
    std::vector<std::string> partial = {};
    // Inputs stopped part way whose partial file was not kept, each with why (an older WAV
    // file of the name stays as it was).
    std::vector<FailedFile> discarded = {};
    // Inputs found but never started: a duplicate name, an unreadable folder, a broken link.
    std::vector<FailedFile> refused = {};
};

// Adds a file's end to the result's lists (failed; partial when stopped and kept).
void record_file_end(BatchResult& result, const std::string& input, const FileOutcome& outcome);

// Decodes one request; decode_file unless a test or the command line says otherwise. The
// output path it is given is a temporary file's (see decode_into_place).
using DecodeFunction = std::function<std::int32_t(const DecodeRequest&)>;

// Told of each file once it has ended and its WAV is in place (or gone); output is the
// final name.
using FileEndFunction = std::function<void(const BatchFile& file, const std::string& output,
                                           const FileOutcome& outcome)>;

// The worker loop over files in order, in this process, each written by decode_into_place.
// Uses batch_state(), started with begin_batch; a progress sink, when set, sees every file.
BatchResult run_batch(const std::vector<BatchFile>& files, const RequestBuilder& build,
                      const DecodeFunction& decode = {}, const FileEndFunction& ended = {});
// The window's run: window_requests(options).
BatchResult run_batch(const std::vector<BatchFile>& files, const BatchOptions& options,
                      const DecodeFunction& decode = {});

// What the end of a run shows and does; finish_batch is the one place that decides it, for
// the window and the command line alike.
struct BatchEnd {
    bool cancelled;       // the user stopped the run before its end
    int dialogResult;     // 2 cancelled, 1 otherwise
    std::string message;  // empty: no message box
    bool failures;        // files failed or were refused and the run was not cancelled: a warning
    bool openFolder;      // open the output folder now (when its box is checked)
    // A run not cancelled and without failed or refused files, with "exit when done": open
    // the folder, end.
    bool exitProgram;
};

// The message: "Decoded all files successfully." when every file found was decoded,
// "Decoding files aborted by user." for a cancelled run; else the counts. Any failed, refused
// or partial files follow as lists, each failed or refused one with its reason.
BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone);

// After the dialog's loop: a run that was not cancelled, with "exit when done", opens the
// folder and ends the program.
bool exit_after_run(const BatchState& state, bool exitWhenDone);

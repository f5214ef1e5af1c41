// The run's types: what a run is given (options, files), the state it runs in, how it is told
// about (the progress sink) and what it returns (one outcome per file).
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
    // Why the run was stopped when it was not the user (the reader of the command line's
    // output went away); the end message says this instead of "aborted by user". Written and
    // read on the thread that runs the batch.
    std::string stopCause = {};
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
    // Decided again when the WAV file is put in place: the folder may have changed since.
    ExistingPolicy existing = ExistingPolicy::Overwrite;
};

std::string input_path(const BatchFile& file);

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

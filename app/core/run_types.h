// The run's types: what a run is given (options, files), the state it runs in, how it is told
// about (the observer) and what it returns (one outcome per file).
#pragma once

#include <atomic>
#include <cstddef>
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

// A file that is decoding, as its decode last reported it.
struct RunningFile {
    std::size_t index;      // its place in the files given to the run
    std::int32_t totalKiB;  // as the engine last reported them; 0 before its first report
    std::int32_t doneKiB;
};

struct RunProgress {
    std::vector<RunningFile> running;
    // The last reported totals of the files that ended plus what the running ones have done;
    // comparable with BatchState::batchTotalKiB.
    std::uint64_t doneKiB;
};

// Who follows a run: the window's dialog and rows, the command line's display, lines and JSON,
// the album measuring. The one way a run tells about its files, whether they decode in this
// process or in worker processes; called on the thread that runs the files. Every file given
// to the run ends exactly once, in the one FileOutcome the run decided for it (files a cancel
// kept from starting, or that no worker could take, end too, without starting).
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // The file has been given to a worker; index is its place in the files given to the run.
    virtual void started(std::size_t /*index*/) {}
    // The file's loudness is being measured for its album's gain; it starts (to be written)
    // once its whole album is measured. Index as for started.
    virtual void measuring(std::size_t /*index*/) {}
    // Its measuring has ended, measured or not; told for each file told measuring.
    virtual void measured(std::size_t /*index*/) {}
    // After a file has started, while files run (at each report of a file decoding in this
    // process, about ten times a second otherwise) and once after the last file has ended.
    virtual void progressed(const RunProgress& /*progress*/) {}
    virtual void ended(std::size_t /*index*/, const FileOutcome& /*outcome*/) {}
};

// A run: owned by whoever starts it (the window's driver, the command line's main, a pool
// worker) and passed to the runner. The two flags are written by the thread that shows the
// dialog (or a signal handler) and read by the one that runs the files.
struct BatchState {
    std::atomic<int> stopRequested{0};    // the loop stops before the next file
    std::atomic<int> cancelRequested{0};  // batch_progress answers "stop"
    std::uint64_t batchTotalKiB = 0;
    // Where batch_progress passes the engine's KiB figures of the file decoding in this
    // process: to the pool for its inline worker, to the socket in a forked worker. Set and
    // called on the thread that decodes.
    std::function<void(std::int32_t totalKiB, std::int32_t doneKiB)> fileMoved = {};
    // Why the run was stopped when it was not the user (the reader of the command line's
    // output went away); the end message says this instead of "aborted by user". Written and
    // read on the thread that runs the batch.
    std::string stopCause = {};
};

// The run batch_progress reports to, since the engine's progress callback carries no context;
// the pool sets it for the time of a file its inline worker decodes, a forked worker for its
// life. Null otherwise.
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

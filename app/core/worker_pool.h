// Several files decoded at once by long-lived worker processes that take one file after
// another: the engine's process-wide state (writer, dither) stays per process, and a crash
// fails only the file its worker was decoding. No Qt: the command line and the window drive
// the same pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/core/batch.h"
#include "engine/processor_tokens.h"

struct PoolSettings {
    int workers = 2;  // files at once
    // Collect what each file's decode writes to standard output and error for its report;
    // false lets it through to the parent's streams as it comes.
    bool captureMessages = true;
    // When set, the run's processors (processor_tokens.h): every running file holds
    // fileThreads of them, and a file that is decoding takes up those that files with no next
    // file free. Null: every file keeps the threads it starts with.
    ProcessorTokens* tokens = nullptr;
    int fileThreads = 1;
};

struct RunningFile {
    std::size_t index;
    std::int32_t totalKiB;  // as the engine last reported them; 0 before its first report
    std::int32_t doneKiB;
};

struct PoolProgress {
    std::vector<RunningFile> running;
    // The last reported totals of the files that ended plus what the running ones have done;
    // comparable with BatchState::batchTotalKiB.
    std::uint64_t doneKiB;
};

// Called on the thread that runs the pool.
class PoolListener {
public:
    virtual ~PoolListener() = default;
    // A file has ended, decoded or not; index is its place in the files given to the pool.
    // Files a cancel kept from starting, or that no worker could take, end too.
    virtual void fileEnded(std::size_t index, const FileOutcome& outcome) = 0;
    // About ten times a second while files run, and once after the last file has ended.
    virtual void progressed(const PoolProgress&) {}
};

// Decodes the files in order of starting with up to settings.workers worker processes, and
// returns once every worker has ended. A worker that crashes fails its current file and is
// replaced for the files still waiting. The request is built and decoded inside the worker
// (decode defaults to decode_file). With one worker the dither runs on from file to file and
// the bytes are those of run_batch in this process; with more, every file starts from the
// dither's first state, so its bytes are those of a run of that file alone, whichever worker
// took it and whatever it decoded before. Runs in state,
// started with begin_batch: a stop starts no further file, a cancel also stops the running
// ones at their next progress call; the files it kept from starting end as not started. A
// worker that cannot be started leaves its files to the others (the result's notice says so
// once); when none can, every file left fails with that reason. Never a cancel unless one
// was asked for.
BatchResult run_worker_pool(BatchState& state, const std::vector<BatchFile>& files,
                            const RequestBuilder& build, const PoolSettings& settings,
                            PoolListener& listener, const DecodeFunction& decode = {});

// Ends every running worker at once with SIGKILL. Async-signal-safe.
void kill_pool_workers();

// For a second Ctrl-C: asks every running worker to end at once (SIGTERM), which removes its
// temporary file and ends with _exit; SIGKILL for those still running after about two
// seconds. Async-signal-safe; returns once none is running.
void stop_pool_workers();

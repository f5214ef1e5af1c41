// The run loop: the files of a run go to workers that take one file after another, either
// long-lived worker processes, several files at once (the engine's process-wide state,
// writer and dither, stays per process, and a crash fails only the file its worker was
// decoding), or one inline worker that decodes in this process, on the calling thread. Both
// share the choosing, starting, progress, ending and cancelling of files. No Qt: the command
// line and the window drive the same pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/batch.h"
#include "engine/processor_tokens.h"

struct PoolSettings {
    int workers = 2;  // files at once
    // Collect what each file's decode writes to standard output and error for its outcome's
    // messages; false lets it through to the parent's streams as it comes.
    bool captureMessages = true;
    // One worker, in this process: no fork, the decode runs on the calling thread. The dither
    // then runs on from file to file and from run to run, as it does in one process.
    bool inProcess = false;
    // With inProcess: false leaves standard output (the normalizer's lines) uncaught.
    bool captureStandardOutput = true;
    // For files that wait on others (an album's writing on its measuring): the file to start
    // next, none while every file not yet started waits on one that runs. Asked whenever a
    // worker is free; it hears of each start through the observer. Empty: in order.
    std::function<std::optional<std::size_t>()> nextFile = {};
    // When set, the run's processors (processor_tokens.h): every running file holds
    // fileThreads of them, and a file that is decoding takes up those that files with no next
    // file free. Null: every file keeps the threads it starts with.
    ProcessorTokens* tokens = nullptr;
    int fileThreads = 1;
};

// Decodes the files in order of starting with up to settings.workers worker processes (or the
// inline worker), and returns once every worker has ended; the observer hears of every file.
// A worker process that crashes fails its current file and is replaced for the files still
// waiting. The request is built and decoded inside the worker (decode defaults to
// decode_file), each file written by decode_into_place. With one worker the dither runs on
// from file to file and the bytes are those of the inline worker; with more, every file
// starts from the dither's first state, so its bytes are those of a run of that file alone,
// whichever worker took it and whatever it decoded before. Runs in state,
// started with begin_batch: a stop starts no further file, a cancel also stops the running
// ones at their next progress call; the files it kept from starting end as not started. A
// worker that cannot be started leaves its files to the others (the result's notice says so
// once); when none can, every file left fails with that reason. Never a cancel unless one
// was asked for.
BatchResult run_worker_pool(BatchState& state, const std::vector<BatchFile>& files,
                            const RequestBuilder& build, const PoolSettings& settings,
                            RunObserver& observer, const DecodeFunction& decode = {});

// Ends every running worker at once with SIGKILL. Async-signal-safe.
void kill_pool_workers();

// For a second Ctrl-C: asks every running worker to end at once (SIGTERM), which removes its
// temporary file and ends with _exit; SIGKILL for those still running after about two
// seconds. Async-signal-safe; returns once none is running.
void stop_pool_workers();

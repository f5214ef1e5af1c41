// The run loop without a window: starting and measuring a run, the files one after another
// in this process, and the progress arithmetic the engine's callback feeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/run_requests.h"
#include "app/core/run_types.h"

// The start of every run: clears the flags and counters the last run left and measures the
// files (scan_batch_size).
void begin_batch(BatchState& state, const std::vector<BatchFile>& files);

// Sum of floor(size / 1024) over the files; unreadable files add 0. Stops early when a stop
// was requested.
std::uint64_t scan_batch_size(const std::vector<std::string>& inputPaths, const BatchState& state);

// The engine's progress callback: moves both bars; returns 1 once the run is cancelled.
std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB);

// "Decoding " + "  %d" + " of" + "  %d".
std::string count_line(int position, int total);

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

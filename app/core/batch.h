// A run without a window, apart from its loop (worker_pool.h): starting and measuring it, and
// the engine's progress callback.
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

// The engine's progress callback: passes the file's KiB figures to the run's fileMoved;
// returns 1 once the run is cancelled.
std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB);

// "Decoding " + "  %d" + " of" + "  %d".
std::string count_line(int position, int total);

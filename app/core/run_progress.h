// The batch bar and the time figures of the progress dialog, from what a run has told so far:
// which file is decoding and how far it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a file costs beyond its bytes: opening it, the header scan, creating its WAV. Without it
// a batch of empty or tiny files would not move the bar although each takes time.
inline constexpr std::uint64_t FILE_OVERHEAD_BYTES = 16 * 1024;

// Running sums of the files' weights (size + FILE_OVERHEAD_BYTES): n + 1 values from 0.
std::vector<std::uint64_t> batch_weights(const std::vector<std::uint64_t>& sizes);

// Per mille of the batch done while file `current` (0-based) has done fileDone of fileTotal
// (any unit; fileTotal 0 counts as not started). The files before it count whole.
int batch_per_mille(const std::vector<std::uint64_t>& weights, int current, std::int64_t fileDone,
                    std::int64_t fileTotal);

// Time left in ms by the rate so far; -1 while too little is done to say (under 1 s or 1 %).
std::int64_t time_left_ms(std::int64_t elapsedMs, int perMille);

// "0:05", "12:34", "1:02:03"; whole seconds, rounded down.
std::string clock_text(std::int64_t ms);

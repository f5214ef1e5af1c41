// A run's outcomes as the lists the tests compare: the paths and reasons of the files that
// ended one way, in the files' order.
#pragma once

#include <string>
#include <vector>

#include "app/core/batch.h"
#include "app/core/run_end.h"
#include "app/core/worker_pool.h"

// The tests' run: each test begins it afresh (begin_batch) where it matters.
inline BatchState& test_run() {
    static BatchState state;
    return state;
}

// The files one after another in this process, in the tests' run: the pool with its inline
// worker, what each decode writes caught into its outcome.
inline BatchResult run_inline(const std::vector<BatchFile>& files, const RequestBuilder& build,
                              const DecodeFunction& decode = {}, RunObserver* observer = nullptr) {
    RunObserver nobody;
    PoolSettings settings{1, true};
    settings.inProcess = true;
    return run_worker_pool(test_run(), files, build, settings,
                           observer != nullptr ? *observer : nobody, decode);
}

inline BatchResult run_inline(const std::vector<BatchFile>& files, const BatchOptions& options,
                              const DecodeFunction& decode = {}, RunObserver* observer = nullptr) {
    return run_inline(files, window_requests(options), decode, observer);
}

struct Listed {
    std::string path;
    std::string reason;
    bool operator==(const Listed&) const = default;
};

inline std::vector<Listed> listed(const BatchResult& result, FileEnd end) {
    std::vector<Listed> files;
    for (const FileOutcome& file : result.files) {
        if (file.end == end) {
            files.push_back({file.input, reason_text(file.reason)});
        }
    }
    return files;
}

inline std::vector<std::string> paths(const BatchResult& result, FileEnd end) {
    std::vector<std::string> files;
    for (const FileOutcome& file : result.files) {
        if (file.end == end) {
            files.push_back(file.input);
        }
    }
    return files;
}

// Files given to the decoder or failed on the way: neither skipped nor kept from starting.
inline int attempted(const BatchResult& result) {
    int count = 0;
    for (const FileOutcome& file : result.files) {
        count += file.end != FileEnd::Skipped && file.end != FileEnd::NotStarted &&
                         file.end != FileEnd::Refused
                     ? 1
                     : 0;
    }
    return count;
}

// The engine's result code a file's end stands for.
inline std::int32_t result_code(const FileOutcome& outcome) {
    return outcome.end == FileEnd::Decoded   ? DECODE_OK
           : outcome.end == FileEnd::Partial ? DECODE_ABORTED
                                             : DECODE_FAILED;
}

inline FileOutcome ended_as(FileEnd end, const std::string& input, const std::string& reason = {}) {
    FileOutcome outcome;
    outcome.end = end;
    outcome.input = input;
    if (!reason.empty()) {
        outcome.reason = {ReasonKind::Text, 0, reason};
    }
    return outcome;
}

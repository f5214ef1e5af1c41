#include "app/core/batch.h"

#include <sys/stat.h>

#include <cstdio>

void begin_batch(BatchState& state, const std::vector<BatchFile>& files) {
    state.stopRequested = 0;
    state.cancelRequested = 0;
    state.batchTotalKiB = 0;
    state.stopCause.clear();
    std::vector<std::string> paths;
    paths.reserve(files.size());
    for (const BatchFile& file : files) {
        paths.push_back(input_path(file));
    }
    state.batchTotalKiB = scan_batch_size(paths, state);
}

std::uint64_t scan_batch_size(const std::vector<std::string>& inputPaths, const BatchState& state) {
    std::uint64_t total = 0;
    for (const std::string& path : inputPaths) {
        if (state.stopRequested != 0) {
            break;
        }
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            total += static_cast<std::uint64_t>(info.st_size) / 1024;
        }
    }
    return total;
}

std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB) {
    BatchState* run = progress_run();
    if (run == nullptr) {
        return 0;  // a request filled for a decode outside any run
    }
    BatchState& state = *run;
    if (state.cancelRequested != 0) {
        return 1;
    }
    if (state.fileMoved) {
        state.fileMoved(fileTotalKiB, fileDoneKiB);
    }
    return 0;
}

std::string count_line(int position, int total) {
    char text[64];
    std::snprintf(text, sizeof text, "Decoding   %d of  %d", position, total);
    return text;
}

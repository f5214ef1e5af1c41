#include "app/core/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "app/core/safe_output.h"

namespace {

int low32(std::uint64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(value));
}

}  // namespace

void begin_batch(BatchState& state, const std::vector<BatchFile>& files) {
    state.stopRequested = 0;
    state.cancelRequested = 0;
    state.batchTotalKiB = 0;
    state.completedKiB = 0;
    state.lastFileTotalKiB = 0;
    state.currentFile = -1;
    state.currentPerMille = -1;
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
    if (state.progress != nullptr) {
        state.progress->setFileBar(0, fileTotalKiB, fileTotalKiB / 30, fileDoneKiB);
        state.progress->setBatchBar(0, low32(state.batchTotalKiB), low32(state.batchTotalKiB / 30),
                                    fileDoneKiB + low32(state.completedKiB));
        // The engine's estimate can run past the size at the end; the row never says more
        // than 100 %.
        const std::int64_t done = std::min<std::int64_t>(fileDoneKiB, fileTotalKiB);
        const int perMille = fileTotalKiB > 0 ? static_cast<int>(done * 1000 / fileTotalKiB) : 0;
        if (perMille != state.currentPerMille) {
            state.currentPerMille = perMille;
            state.progress->fileProgress(state.currentFile, perMille);
        }
    }
    state.lastFileTotalKiB = fileTotalKiB;
    return 0;
}

std::string count_line(int position, int total) {
    char text[64];
    std::snprintf(text, sizeof text, "Decoding   %d of  %d", position, total);
    return text;
}

BatchResult run_batch(BatchState& state, const std::vector<BatchFile>& files,
                      const RequestBuilder& build, const DecodeFunction& decode,
                      const FileEndFunction& ended) {
    BatchState* outer = progress_run();
    set_progress_run(&state);
    BatchResult result;
    result.files.resize(files.size());
    const int n = static_cast<int>(files.size());
    for (int k = 0; k < n; ++k) {
        const BatchFile& file = files[static_cast<std::size_t>(k)];
        FileOutcome& outcome = result.files[static_cast<std::size_t>(k)];
        if (state.stopRequested != 0) {
            outcome.input = input_path(file);
            outcome.end = FileEnd::NotStarted;
            outcome.reason = {ReasonKind::Cancelled};
            result.stopped = true;
            if (ended) {
                ended(file, outcome);
            }
            if (state.progress != nullptr) {
                state.progress->fileEnded(k, outcome);
            }
            continue;
        }
        // Not reset between files: a file that never reports progress is credited with the
        // total its predecessor last reported.
        state.completedKiB += static_cast<std::uint64_t>(state.lastFileTotalKiB);
        state.currentFile = k;
        state.currentPerMille = -1;
        if (state.progress != nullptr) {
            state.progress->setFileLine(file.name);
            state.progress->setCountLine(count_line(k + 1, n));
            state.progress->fileStarted(k);
        }
        RequestTexts texts;
        DecodeRequest request = build_request(build, file, texts);
        outcome = decode_into_place(request, decode, file.existing);
        outcome.input = input_path(file);
        // Kept both: as planned, or because the planned name was taken when it was placed.
        outcome.renamed =
            !outcome.output.empty() && (file.renamed || (file.existing == ExistingPolicy::Rename &&
                                                         outcome.output != request.output_path));
        result.stopped = result.stopped || outcome.end == FileEnd::Partial;
        if (ended) {
            ended(file, outcome);
        }
        if (state.progress != nullptr) {
            state.progress->fileEnded(k, outcome);
        }
    }
    set_progress_run(outer);
    return result;
}

BatchResult run_batch(BatchState& state, const std::vector<BatchFile>& files,
                      const BatchOptions& options, const DecodeFunction& decode) {
    return run_batch(state, files, window_requests(options), decode);
}

#include "app/core/batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "app/core/output_name.h"
#include "app/core/output_plan.h"
#include "app/core/safe_output.h"
#include "info/mpeg_info.h"

namespace {

int low32(std::uint64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(value));
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return count == 1 ? std::string(one) : std::to_string(count) + many;
}

// The lists after a headline, each with its own head line, a blank line and one line per
// file, built in one pass over the files.
struct EndLists {
    std::vector<std::string> failed, refused, partial, renamed, skipped;
    std::size_t notStarted = 0;
};

EndLists end_lists(const BatchResult& result, const EndText& text) {
    auto name = [&text](const std::string& path) { return text.name ? text.name(path) : path; };
    EndLists lists;
    for (const FileOutcome& file : result.files) {
        const std::string line = name(file.input) + ": " + name(reason_text(file.reason));
        switch (file.end) {
            case FileEnd::Failed:
                lists.failed.push_back(line);
                break;
            case FileEnd::Refused:
                lists.refused.push_back(line);
                break;
            case FileEnd::Partial:
                lists.partial.push_back(line);
                break;
            case FileEnd::Skipped:
                if (text.skippedLines) {
                    lists.skipped.push_back(name(file.input));
                }
                break;
            case FileEnd::NotStarted:
                ++lists.notStarted;
                break;
            case FileEnd::Decoded:
                if (file.renamed) {
                    lists.renamed.push_back(name(file.input) + " -> " + name(file.output));
                }
                break;
        }
    }
    return lists;
}

void add_list(const std::string& head, const std::vector<std::string>& lines,
              const char*& separator, std::string& text) {
    if (lines.empty()) {
        return;
    }
    text += separator + head + ":\n";
    separator = "\n\n";
    for (const std::string& line : lines) {
        text += "\n" + line;
    }
}

void add_lists(const EndLists& lists, const char* separator, std::string& text) {
    add_list(plural(lists.failed.size(), "This file", " files") + " could not be decoded",
             lists.failed, separator, text);
    add_list(
        plural(lists.refused.size(), "This file was", " files were") + " found but not decoded",
        lists.refused, separator, text);
    add_list(plural(lists.partial.size(), "This file was", " files were") + " stopped part way",
             lists.partial, separator, text);
    if (lists.notStarted > 0) {
        text +=
            separator + plural(lists.notStarted, "One file was", " files were") + " not started.";
        separator = "\n\n";
    }
}

}  // namespace

namespace {

// The trampoline for batch_progress: the one piece of run state that is not passed along.
std::atomic<BatchState*> progressRun{nullptr};

}  // namespace

BatchState* progress_run() {
    return progressRun.load();
}

void set_progress_run(BatchState* state) {
    progressRun.store(state);
}

void request_cancel(BatchState& state) {
    state.stopRequested = 1;
    state.cancelRequested = 1;
}

std::string input_path(const BatchFile& file) {
    return file.folder + file.name;
}

void begin_batch(BatchState& state, const std::vector<BatchFile>& files) {
    state.stopRequested = 0;
    state.cancelRequested = 0;
    state.batchTotalKiB = 0;
    state.completedKiB = 0;
    state.lastFileTotalKiB = 0;
    state.currentFile = -1;
    state.currentPerMille = -1;
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

std::uint32_t scan_play_length_ms(const std::string& inputPath, bool exact) {
    MpegInfo info = mpeg_info_scan(inputPath.c_str(), exact);
    return static_cast<std::uint32_t>(info.durationMs);
}

DecodeRequest build_request(const RequestBuilder& build, const std::string& inputPath,
                            RequestTexts& texts) {
    DecodeRequest request = build(inputPath, texts);
    request.play_length_ms = scan_play_length_ms(inputPath, request.exact_length != 0);
    return request;
}

DecodeRequest build_request(const RequestBuilder& build, const BatchFile& file,
                            RequestTexts& texts) {
    DecodeRequest request = build_request(build, input_path(file), texts);
    if (!file.output.empty()) {
        texts.output = file.output;
        request.output_path = texts.output.c_str();
    }
    return request;
}

DecodeRequest fill_request(const BatchOptions& options, const std::string& inputPath,
                           RequestTexts& texts) {
    DecodeRequest request;
    decode_request_init(&request);
    texts.input = inputPath;
    texts.output = output_file_path(options.outputFolder, inputPath);
    texts.fadeIn = std::to_string(options.fadeIn < 1 ? 1 : options.fadeIn);
    texts.fadeOut = std::to_string(options.fadeOut < 1 ? 1 : options.fadeOut);
    request.input_path = texts.input.c_str();
    request.output_path = texts.output.c_str();
    request.fade_in_text = texts.fadeIn.c_str();
    request.fade_out_text = texts.fadeOut.c_str();
    request.skip_silence = options.skipSilence ? 1 : 0;
    if (options.eightBit) {
        request.bit_depth_text = "8";
    }
    request.progress = batch_progress;
    request.normalize = options.normalize ? 1 : 0;
    request.exact_length = options.exactLength ? 1 : 0;
    request.copy_tags = options.copyTags ? 1 : 0;
    return request;
}

RequestBuilder window_requests(const BatchOptions& options) {
    return [options](const std::string& inputPath, RequestTexts& texts) {
        return fill_request(options, inputPath, texts);
    };
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
        outcome = decode_into_place(request, decode);
        outcome.input = input_path(file);
        outcome.renamed = file.renamed && !outcome.output.empty();
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

BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone,
                      const EndText& text) {
    BatchEnd end{false,
                 1,
                 {},
                 false,
                 state.cancelRequested != 0 || !exitWhenDone,
                 exit_after_run(state, exitWhenDone)};
    const EndLists lists = end_lists(result, text);
    std::size_t decoded = 0;
    std::size_t skipped = 0;
    for (const FileOutcome& file : result.files) {
        decoded += file.end == FileEnd::Decoded ? 1 : 0;
        skipped += file.end == FileEnd::Skipped ? 1 : 0;
    }
    const std::size_t found = result.files.size() - skipped;
    if (result.stopped && state.cancelRequested != 0) {
        end.cancelled = true;
        end.dialogResult = 2;
        end.message = "Decoding files aborted by user.";
        end.summary = end.message;
        add_lists(lists, "\n\n", end.message);
    } else if (decoded < found) {
        // Failures are said even when the program is about to exit: silence would report
        // them as success.
        char head[128];
        std::snprintf(head, sizeof head, "Decoded %zu of %zu files.", decoded, found);
        end.message = head;
        end.summary = head;
        add_lists(lists, " ", end.message);
        end.failures = true;
    } else if (!exitWhenDone) {
        end.message = decoded == 0 && skipped > 0 ? "No file needed decoding."
                                                  : "Decoded all files successfully.";
        end.summary = end.message;
    }
    if (!end.message.empty() && !result.notice.empty()) {
        end.message += "\n\n" + result.notice;
    }
    if (!end.message.empty() && !end.cancelled) {
        const char* separator = "\n\n";
        add_list(plural(lists.renamed.size(), "This file was", " files were") +
                     " kept beside an existing WAV file under a new name",
                 lists.renamed, separator, end.message);
        if (!lists.skipped.empty()) {
            end.message += "\n\n" + skipped_report(lists.skipped);
        }
    }
    return end;
}

bool exit_after_run(const BatchState& state, bool exitWhenDone) {
    return state.cancelRequested == 0 && exitWhenDone;
}

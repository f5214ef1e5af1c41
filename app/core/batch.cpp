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

// Lists after a headline: each with its own head line, a blank line and one path per line.
void add_lists(const BatchResult& result, const char* separator, std::string& text) {
    auto add = [&](const std::string& head, const std::vector<std::string>& lines) {
        if (lines.empty()) {
            return;
        }
        text += separator + head + ":\n";
        separator = "\n\n";
        for (const std::string& line : lines) {
            text += "\n" + line;
        }
    };
    auto with_reasons = [](const std::vector<FailedFile>& files) {
        std::vector<std::string> lines;
        for (const FailedFile& file : files) {
            lines.push_back(file.path + ": " + file.reason);
        }
        return lines;
    };
    add(plural(result.failed.size(), "This file", " files") + " could not be decoded",
        with_reasons(result.failed));
    add(plural(result.refused.size(), "This file was", " files were") + " found but not decoded",
        with_reasons(result.refused));
    add(plural(result.partial.size(), "This file was", " files were") +
            " stopped part way, kept with what was decoded",
        result.partial);
    add(plural(result.discarded.size(), "This file was", " files were") +
            " stopped part way and not kept",
        with_reasons(result.discarded));
}

std::string failure_message(const BatchResult& result) {
    const std::size_t ended =
        result.failed.size() + result.partial.size() + result.discarded.size();
    const std::size_t attempted = static_cast<std::size_t>(result.attempted);
    char head[128];
    std::snprintf(head, sizeof head, "Decoded %zu of %zu files.",
                  attempted > ended ? attempted - ended : 0, attempted + result.refused.size());
    std::string text = head;
    add_lists(result, " ", text);
    return text;
}

}  // namespace

BatchState& batch_state() {
    // Constant-initialised: signal handlers reach it (request_cancel), and must never be the
    // first to run a guarded initialisation.
    static constinit BatchState state;
    return state;
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
    if (options.outputFormat == OutputFormat::CdAudio) {
        // What a burner needs, whatever the bit depth chosen: 16-bit stereo at 44100 Hz,
        // gapless.
        request.bit_depth_text = "16";
        request.output_rate = 44100;
        request.stereo = 1;
        request.exact_length = 1;
    } else if (options.outputFormat == OutputFormat::Video48k) {
        request.output_rate = 48000;
    }
    request.threads = options.threadsPerFile;
    request.loudness = options.loudness ? 1 : 0;
    request.replaygain = options.replayGain ? 1 : 0;
    request.target_lufs = options.targetLufs;
    return request;
}

RequestBuilder window_requests(const BatchOptions& options) {
    return [options](const std::string& inputPath, RequestTexts& texts) {
        return fill_request(options, inputPath, texts);
    };
}

std::int32_t batch_progress(std::int32_t fileTotalKiB, std::int32_t fileDoneKiB) {
    BatchState& state = batch_state();
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

void record_file_end(BatchResult& result, const std::string& input, const FileOutcome& outcome) {
    if (outcome.result == DECODE_FAILED) {
        result.failed.push_back({input, outcome.reason});
    } else if (outcome.result == DECODE_ABORTED && outcome.kept) {
        result.partial.push_back(input);
    } else if (outcome.result == DECODE_ABORTED && !outcome.reason.empty()) {
        result.discarded.push_back({input, outcome.reason});
    }
}

BatchResult run_batch(const std::vector<BatchFile>& files, const RequestBuilder& build,
                      const DecodeFunction& decode, const FileEndFunction& ended) {
    BatchState& state = batch_state();
    BatchResult result;
    const int n = static_cast<int>(files.size());
    for (int k = 0; k < n; ++k) {
        if (state.stopRequested != 0) {
            result.lastResult = DECODE_ABORTED;
            break;
        }
        // Not reset between files: a file that never reports progress is credited with the
        // total its predecessor last reported.
        state.completedKiB += static_cast<std::uint64_t>(state.lastFileTotalKiB);
        const BatchFile& file = files[static_cast<std::size_t>(k)];
        std::string input = input_path(file);
        state.currentFile = k;
        state.currentPerMille = -1;
        if (state.progress != nullptr) {
            state.progress->setFileLine(file.name);
            state.progress->setCountLine(count_line(k + 1, n));
            state.progress->fileStarted(k);
        }
        RequestTexts texts;
        DecodeRequest request = build_request(build, file, texts);
        FileOutcome outcome = decode_into_place(request, decode, file.existing);
        result.lastResult = outcome.result;
        ++result.attempted;
        record_file_end(result, input, outcome);
        if (state.progress != nullptr) {
            state.progress->fileEnded(k, outcome);
        }
        if (ended) {
            ended(file, outcome.output.empty() ? texts.output : outcome.output, outcome);
        }
    }
    return result;
}

BatchResult run_batch(const std::vector<BatchFile>& files, const BatchOptions& options,
                      const DecodeFunction& decode) {
    return run_batch(files, window_requests(options), decode);
}

BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone) {
    BatchEnd end{false,
                 1,
                 {},
                 false,
                 state.cancelRequested != 0 || !exitWhenDone,
                 exit_after_run(state, exitWhenDone)};
    if (result.lastResult == DECODE_ABORTED && state.cancelRequested != 0) {
        end.cancelled = true;
        end.dialogResult = 2;
        end.message = "Decoding files aborted by user.";
        add_lists(result, "\n\n", end.message);
    } else if (!result.failed.empty() || !result.refused.empty() || !result.partial.empty() ||
               !result.discarded.empty()) {
        // Failures are said even when the program is about to exit: silence would report
        // them as success.
        end.message = failure_message(result);
        end.failures = true;
        // The window stays, so that the failed rows and Retry Failed are there to act on.
        end.exitProgram = false;
    } else if (!exitWhenDone) {
        end.message = result.attempted == 0 && !result.skipped.empty()
                          ? "No file needed decoding."
                          : "Decoded all files successfully.";
    }
    if (!end.cancelled && !end.message.empty() && !result.skipped.empty()) {
        end.message += "\n\n" + skipped_report(result.skipped);
    }
    return end;
}

bool exit_after_run(const BatchState& state, bool exitWhenDone) {
    return state.cancelRequested == 0 && exitWhenDone;
}

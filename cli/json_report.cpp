#include "cli/json_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "app/core/loudness_text.h"
#include "engine/loudness.h"

std::FILE* take_standard_output() {
    std::fflush(stdout);
    int original = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (original == -1) {
        return nullptr;
    }
    if (dup2(STDERR_FILENO, STDOUT_FILENO) == -1) {
        close(original);
        return nullptr;
    }
    std::FILE* stream = fdopen(original, "w");
    if (stream == nullptr) {
        close(original);
    }
    return stream;
}

namespace {

// Only for files whose loudness was measured (--loudness, --replaygain); -inf is null.
void add_loudness(nlohmann::ordered_json& object, const DecodeStats& stats) {
    if (stats.loudness.measured == 0) {
        return;
    }
    auto finite_or_null = [](double value) {
        return std::isfinite(value) ? nlohmann::ordered_json(value)
                                    : nlohmann::ordered_json(nullptr);
    };
    object["loudness_lufs"] = finite_or_null(stats.loudness.integrated_lufs);
    object["true_peak_dbtp"] = finite_or_null(peak_dbtp(stats.loudness.true_peak));
    object["gain_db"] = stats.gain_db;
    object["gain_limit"] = gain_limit_name(stats.gain_limit);
    if (stats.has_album_gain != 0) {
        object["album_gain_db"] = stats.album_gain_db;
    }
}

const char* json_status(FileEnd end) {
    switch (end) {
        case FileEnd::Decoded:
            return "decoded";
        case FileEnd::Skipped:
            return "skipped";
        case FileEnd::Partial:
        case FileEnd::NotStarted:
            return "cancelled";
        case FileEnd::Failed:
        case FileEnd::Refused:
            break;
    }
    return "failed";
}

}  // namespace

std::string json_file_line(const FileOutcome& outcome) {
    auto text_or_null = [](const std::string& text) {
        return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
    };
    nlohmann::ordered_json object = {
        {"input", outcome.input},
        {"output", text_or_null(outcome.output)},
        {"status", json_status(outcome.end)},
        {"reason", text_or_null(outcome.end == FileEnd::Partial && !outcome.output.empty()
                                    ? std::string()
                                    : reason_text(outcome.reason))},
        {"frames", nullptr},
        {"duration_ms", nullptr},
        {"peak_db", nullptr},
        {"clipped_samples", nullptr},
    };
    if (outcome.engineRan) {
        const DecodeStats& stats = outcome.stats;
        object["frames"] = stats.frames_decoded;
        object["duration_ms"] = stats.duration_ms;
        // Millibel to dB; an all-zero output has no peak in dB (the summary's "-inf").
        if (stats.has_peak != 0) {
            object["peak_db"] = stats.peak_millibel / 100.0;
        }
        object["clipped_samples"] = stats.clipped_samples;
        add_loudness(object, stats);
    }
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void write_json_line(std::FILE* out, const FileOutcome& outcome) {
    if (out == nullptr || outcome.end == FileEnd::NotStarted) {
        return;
    }
    std::fprintf(out, "%s\n", json_file_line(outcome).c_str());
    std::fflush(out);
}

#include "app/core/file_status.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/core/decode_warnings.h"
#include "app/core/end_report.h"
#include "app/core/file_list.h"
#include "app/core/loudness_text.h"
#include "app/core/run_progress.h"

namespace {

std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string percent(int perMille) {
    return std::to_string(perMille / 10) + "%";
}

// The plan says why in a sentence; the column has room for a word.
std::string short_skip_reason(const std::string& reason) {
    return reason == SKIPPED_REASON ? "exists" : reason;
}

}  // namespace

FileStatus planned_status(const PlannedFile& planned) {
    FileStatus status;
    switch (planned.action) {
        case PlanAction::Decode:
            break;
        case PlanAction::Skip:
            status.state = FileState::Skipped;
            status.reason = planned.reason;
            break;
        case PlanAction::Fail:
            status.state = FileState::Failed;
            status.reason = planned.reason;
            break;
    }
    return status;
}

int running_per_mille(std::int32_t totalKiB, std::int32_t doneKiB) {
    if (totalKiB <= 0) {
        return 0;
    }
    // The engine's estimate can run past the size at the end.
    const std::int64_t done = std::clamp<std::int64_t>(doneKiB, 0, totalKiB);
    return static_cast<int>(std::min<std::int64_t>(999, done * 1000 / totalKiB));
}

FileStatus ended_status(const FileOutcome& outcome, int perMille) {
    FileStatus status;
    status.stats = outcome.stats;
    status.messages = outcome.messages;
    status.perMille = perMille;
    status.reason = reason_text(outcome.reason);
    switch (outcome.end) {
        case FileEnd::Decoded:
            status.state = FileState::Done;
            status.perMille = 1000;
            status.output = outcome.renamed ? outcome.output : std::string();
            break;
        case FileEnd::Partial:
            status.state = FileState::Stopped;
            status.removed = outcome.output.empty();
            break;
        case FileEnd::Skipped:
            status.state = FileState::Skipped;
            break;
        case FileEnd::Failed:
            status.state = FileState::Failed;
            break;
        case FileEnd::Refused:
            status.state = FileState::Refused;
            break;
        case FileEnd::NotStarted:
            status.state = FileState::NotStarted;
            status.perMille = 0;
            break;
    }
    return status;
}

std::string peak_text(const DecodeStats& stats) {
    if (stats.has_peak == 0) {
        return "-inf dB";
    }
    const std::int32_t mb = stats.peak_millibel;
    const std::int32_t tenths = mb < 0 ? -((-mb + 5) / 10) : (mb + 5) / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%s%d.%d dB", tenths < 0 ? "-" : "", std::abs(tenths) / 10,
                  std::abs(tenths) % 10);
    return text;
}

std::string status_text(const FileStatus& status) {
    switch (status.state) {
        case FileState::Waiting:
            return "waiting";
        case FileState::Measuring:
            return "measuring loudness";
        case FileState::Measured:
            return "measured, waiting";
        case FileState::Decoding:
            return "decoding " + percent(status.perMille);
        case FileState::Done: {
            const std::string loudness = loudness_status_text(status.stats);
            return "done " + clock_text(static_cast<std::int64_t>(status.stats.duration_ms)) +
                   ", " + peak_text(status.stats) + ", " +
                   std::to_string(status.stats.clipped_samples) + " clipped" +
                   (loudness.empty() ? "" : ", " + loudness) +
                   (status.output.empty() ? "" : ", as " + base_name(status.output));
        }
        case FileState::Stopped:
            return "stopped at " + percent(status.perMille) + (status.removed ? ", removed" : "");
        case FileState::NotStarted:
            return "not started";
        case FileState::Skipped:
            return "skipped: " + short_skip_reason(status.reason);
        case FileState::Failed:
            return "failed: " + status.reason;
        case FileState::Refused:
            return "refused: " + status.reason;
    }
    return {};
}

std::string status_details(const FileStatus& status) {
    std::string text = status_text(status);
    // What a finished file lacks is said even when the engine's own lines were not caught.
    for (const std::string& warning : decode_warning_texts(status.stats.warnings)) {
        text += "\n" + warning;
    }
    if (!status.output.empty()) {
        text += "\nwritten as " + status.output + " beside the existing WAV file";
    }
    if (status.removed) {
        text += "\n" + status.reason;
    }
    if (!status.messages.empty()) {
        for (const std::string& line : status.messages) {
            text += "\n" + line;
        }
    } else if (status.state == FileState::Skipped && !status.reason.empty()) {
        text += "\n" + status.reason;
    }
    return text;
}

std::vector<int> failed_rows(const std::vector<FileStatus>& statuses) {
    std::vector<int> rows;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        if (statuses[i].state == FileState::Failed) {
            rows.push_back(static_cast<int>(i));
        }
    }
    return rows;
}

std::string list_count_text(std::size_t rows, std::uint64_t bytes) {
    if (rows == 0) {
        return "No files";
    }
    return std::to_string(rows) + (rows == 1 ? " file, " : " files, ") + size_text(bytes);
}

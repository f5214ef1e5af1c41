// What the end of a run (or an addition to the list) tells, as data that a window or a terminal
// lays out: a summary, and sections of files with a reason each, so that another kind of
// outcome is one more section rather than another message.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/core/run_end.h"

struct ReportRow {
    std::string path;
    std::string reason;
    bool operator==(const ReportRow&) const = default;
};

struct ReportSection {
    std::string heading;
    std::vector<ReportRow> rows;
};

struct EndReport {
    std::string summary;
    std::vector<ReportSection> sections;  // none without rows
};

inline constexpr const char* FAILED_HEADING = "Not decoded";
inline constexpr const char* NOT_ADDED_HEADING = "Not added";
inline constexpr const char* REFUSED_HEADING = "Found but not decoded";
inline constexpr const char* PARTIAL_HEADING = "Stopped part way";
inline constexpr const char* PARTIAL_REASON = "kept with what was decoded";
inline constexpr const char* NOT_STARTED_HEADING = "Not started";
inline constexpr const char* RENAMED_HEADING = "Kept both";
inline constexpr const char* SKIPPED_HEADING = "Skipped";
inline constexpr const char* SKIPPED_REASON = "the WAV file exists";

// The end's summary, and a section per kind of end that needs naming, each in the files'
// order; built from the outcomes in one pass.
EndReport end_report(const BatchResult& result, const BatchEnd& end);

// How many files of a run went each way.
struct RunCounts {
    int decoded = 0;
    int skipped = 0;
    int failed = 0;
    int partial = 0;  // stopped part way, their WAV files not whole or removed
    int refused = 0;
    int notStarted = 0;
};

RunCounts run_counts(const BatchResult& result);

// "3 decoded, 1 skipped, 2 failed."; a count of 0 other than decoded is left out.
std::string run_counts_text(const RunCounts& counts);

// The window's end message: end_report, with the counts as the summary of a run that failed
// files, so that the message stays small; the list and the sections say which files.
EndReport counted_end_report(const BatchResult& result, const BatchEnd& end);

// Files an addition refused because a file of the same name is listed: (path, listed path).
EndReport refusal_report(const std::vector<ReportRow>& refused);

// Files and folders the user named (on the command line) that could not be added:
// (path, why).
EndReport named_paths_report(const std::vector<ReportRow>& refused);

std::size_t report_row_count(const EndReport& report);

// The summary, then the first `shown` rows as "path: reason" lines, then how many more there
// are; the text of a report where there is no room for its details.
std::string report_text(const EndReport& report, std::size_t shown);

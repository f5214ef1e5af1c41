#include "app/core/end_report.h"

namespace {

void add_section(EndReport& report, const char* heading, std::vector<ReportRow> rows) {
    if (!rows.empty()) {
        report.sections.push_back({heading, std::move(rows)});
    }
}

}  // namespace

EndReport end_report(const BatchResult& result, const BatchEnd& end) {
    EndReport report;
    report.summary = end.summary;
    std::vector<ReportRow> failed, refused, partial, notStarted, renamed, skipped;
    for (const FileOutcome& file : result.files) {
        switch (file.end) {
            case FileEnd::Failed:
                failed.push_back({file.input, reason_text(file.reason)});
                break;
            case FileEnd::Refused:
                refused.push_back({file.input, reason_text(file.reason)});
                break;
            case FileEnd::Partial:
                partial.push_back({file.input, reason_text(file.reason)});
                break;
            case FileEnd::NotStarted:
                notStarted.push_back({file.input, reason_text(file.reason)});
                break;
            case FileEnd::Skipped:
                skipped.push_back({file.input, SKIPPED_REASON});
                break;
            case FileEnd::Decoded:
                if (file.renamed) {
                    renamed.push_back({file.input, "written as " + file.output});
                }
                break;
        }
    }
    add_section(report, FAILED_HEADING, std::move(failed));
    add_section(report, REFUSED_HEADING, std::move(refused));
    add_section(report, PARTIAL_HEADING, std::move(partial));
    add_section(report, NOT_STARTED_HEADING, std::move(notStarted));
    add_section(report, RENAMED_HEADING, std::move(renamed));
    add_section(report, SKIPPED_HEADING, std::move(skipped));
    return report;
}

RunCounts run_counts(const BatchResult& result) {
    RunCounts counts;
    for (const FileOutcome& file : result.files) {
        switch (file.end) {
            case FileEnd::Decoded:
                ++counts.decoded;
                break;
            case FileEnd::Skipped:
                ++counts.skipped;
                break;
            case FileEnd::Failed:
                ++counts.failed;
                break;
            case FileEnd::Refused:
                ++counts.refused;
                break;
            case FileEnd::Partial:
                ++counts.partial;
                break;
            case FileEnd::NotStarted:
                ++counts.notStarted;
                break;
        }
    }
    return counts;
}

std::string run_counts_text(const RunCounts& counts) {
    std::string text = std::to_string(counts.decoded) + " decoded";
    for (auto [count, word] :
         {std::pair{counts.skipped, " skipped"}, std::pair{counts.failed, " failed"},
          std::pair{counts.refused, " refused"}, std::pair{counts.partial, " partial"},
          std::pair{counts.notStarted, " not started"}}) {
        if (count > 0) {
            text += ", " + std::to_string(count) + word;
        }
    }
    return text + ".";
}

EndReport counted_end_report(const BatchResult& result, const BatchEnd& end) {
    EndReport report = end_report(result, end);
    if (end.failures) {
        report.summary = run_counts_text(run_counts(result));
    }
    return report;
}

EndReport refusal_report(const std::vector<ReportRow>& refused) {
    EndReport report;
    if (refused.empty()) {
        return report;
    }
    report.summary =
        refused.size() == 1
            ? std::string("1 file was not added: a file of the same name is already listed.")
            : std::to_string(refused.size()) +
                  " files were not added: files of the same names are already listed.";
    std::vector<ReportRow> rows;
    rows.reserve(refused.size());
    for (const ReportRow& row : refused) {
        rows.push_back(
            {row.path, row.path == row.reason ? "already listed" : "same name as " + row.reason});
    }
    add_section(report, NOT_ADDED_HEADING, std::move(rows));
    return report;
}

EndReport named_paths_report(const std::vector<ReportRow>& refused) {
    EndReport report;
    if (refused.empty()) {
        return report;
    }
    report.summary = refused.size() == 1
                         ? std::string("1 file named could not be added.")
                         : std::to_string(refused.size()) + " files named could not be added.";
    add_section(report, NOT_ADDED_HEADING, refused);
    return report;
}

std::size_t report_row_count(const EndReport& report) {
    std::size_t count = 0;
    for (const ReportSection& section : report.sections) {
        count += section.rows.size();
    }
    return count;
}

std::string report_text(const EndReport& report, std::size_t shown) {
    std::string text = report.summary;
    const std::size_t total = report_row_count(report);
    if (total == 0) {
        return text;
    }
    text += "\n";
    std::size_t written = 0;
    for (const ReportSection& section : report.sections) {
        for (const ReportRow& row : section.rows) {
            if (written == shown) {
                break;
            }
            text += "\n" + row.path + ": " + row.reason;
            ++written;
        }
    }
    if (written < total) {
        text += "\n... and " + std::to_string(total - written) + " more";
    }
    return text;
}

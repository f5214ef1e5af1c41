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
    const std::size_t paragraph = end.message.find("\n\n");
    report.summary = end.message.substr(0, paragraph);
    auto with_reasons = [](const std::vector<FailedFile>& files) {
        std::vector<ReportRow> rows;
        rows.reserve(files.size());
        for (const FailedFile& file : files) {
            rows.push_back({file.path, file.reason});
        }
        return rows;
    };
    add_section(report, FAILED_HEADING, with_reasons(result.failed));
    add_section(report, REFUSED_HEADING, with_reasons(result.refused));
    std::vector<ReportRow> partial;
    partial.reserve(result.partial.size());
    for (const std::string& path : result.partial) {
        partial.push_back({path, PARTIAL_REASON});
    }
    // Stopped too, but not kept: the reason says what stayed instead.
    for (const FailedFile& file : result.discarded) {
        partial.push_back({file.path, file.reason});
    }
    add_section(report, PARTIAL_HEADING, std::move(partial));
    std::vector<ReportRow> skipped;
    skipped.reserve(result.skipped.size());
    for (const std::string& path : result.skipped) {
        skipped.push_back({path, SKIPPED_REASON});
    }
    add_section(report, SKIPPED_HEADING, std::move(skipped));
    return report;
}

RunCounts run_counts(const BatchResult& result) {
    RunCounts counts;
    counts.failed = static_cast<int>(result.failed.size());
    counts.decoded = result.attempted - counts.failed;
    counts.skipped = static_cast<int>(result.skipped.size());
    return counts;
}

std::string run_counts_text(const RunCounts& counts) {
    std::string text = std::to_string(counts.decoded) + " decoded";
    for (auto [count, word] :
         {std::pair{counts.skipped, " skipped"}, std::pair{counts.failed, " failed"},
          std::pair{counts.partial, " partial"}}) {
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

// The end of a run as a summary and sections of files with reasons, and its short text.
#include "app/core/end_report.h"

#include <gtest/gtest.h>

#include "tests/core/run_lists.h"

namespace {

BatchResult two_failures_of_three() {
    BatchResult result;
    FileOutcome a = ended_as(FileEnd::Failed, "/m/a.mp3");
    a.reason = {ReasonKind::Engine};
    FileOutcome c = ended_as(FileEnd::Failed, "/m/c.mp3");
    c.reason = {ReasonKind::NoAudio};
    result.files = {a, ended_as(FileEnd::Decoded, "/m/b.mp3"), c};
    return result;
}

}  // namespace

TEST(EndReport, FailuresBecomeASectionUnderTheMessagesFirstParagraph) {
    const BatchResult result = two_failures_of_three();
    BatchState state;
    const EndReport report = end_report(result, finish_batch(result, state, false));
    // The headline alone: the sections say which files.
    EXPECT_EQ(report.summary, "Decoded 1 of 3 files.");
    ASSERT_EQ(report.sections.size(), 1u);
    EXPECT_EQ(report.sections[0].heading, FAILED_HEADING);
    EXPECT_EQ(report.sections[0].rows,
              (std::vector<ReportRow>{{"/m/a.mp3", "decoding failed"},
                                      {"/m/c.mp3", "no MPEG audio found"}}));
    EXPECT_EQ(report_row_count(report), 2u);

    EXPECT_EQ(report_text(report, 1),
              "Decoded 1 of 3 files.\n\n"
              "/m/a.mp3: decoding failed\n... and 1 more");
    EXPECT_EQ(report_text(report, 5),
              "Decoded 1 of 3 files.\n\n"
              "/m/a.mp3: decoding failed\n/m/c.mp3: no MPEG audio found");
}

TEST(EndReport, SuccessSaysItsSentenceAloneACancelNamesWhatItLeft) {
    BatchResult done{
        {ended_as(FileEnd::Decoded, "/m/a.mp3"), ended_as(FileEnd::Decoded, "/m/b.mp3")}};
    BatchState state;
    EndReport report = end_report(done, finish_batch(done, state, false));
    EXPECT_EQ(report.summary, "Decoded all files successfully.");
    EXPECT_TRUE(report.sections.empty());
    EXPECT_EQ(report_text(report, 5), "Decoded all files successfully.");

    // A cancelled run still names what went wrong before it, and the file it cut short.
    BatchResult stopped = two_failures_of_three();
    stopped.stopped = true;
    stopped.files[1] = ended_as(FileEnd::Partial, "/m/b.mp3");
    stopped.files[1].reason = {ReasonKind::Stopped};
    stopped.files.push_back(ended_as(FileEnd::NotStarted, "/m/d.mp3"));
    stopped.files.back().reason = {ReasonKind::Cancelled};
    state.cancelRequested = 1;
    report = end_report(stopped, finish_batch(stopped, state, false));
    EXPECT_EQ(report.summary, "Decoding files aborted by user.");
    ASSERT_EQ(report.sections.size(), 3u);
    EXPECT_EQ(report.sections[0].heading, FAILED_HEADING);
    // In the files' order, whatever order they ended in.
    EXPECT_EQ(report.sections[0].rows[0].path, "/m/a.mp3");
    EXPECT_EQ(report.sections[0].rows.size(), 2u);
    EXPECT_EQ(report.sections[1].heading, PARTIAL_HEADING);
    EXPECT_EQ(report.sections[1].rows,
              (std::vector<ReportRow>{{"/m/b.mp3", "kept with what was decoded"}}));
    EXPECT_EQ(report.sections[2].heading, NOT_STARTED_HEADING);
    EXPECT_EQ(run_counts_text(run_counts(stopped)),
              "0 decoded, 2 failed, 1 partial, 1 not started.");
}

TEST(RefusalReport, CountsAndNamesTheRefusedFilesWithTheListedOnes) {
    EXPECT_TRUE(refusal_report({}).summary.empty());
    EXPECT_EQ(report_row_count(refusal_report({})), 0u);

    EndReport one = refusal_report({{"/b/A.MP3", "/a/a.mp3"}});
    EXPECT_EQ(one.summary, "1 file was not added: a file of the same name is already listed.");
    ASSERT_EQ(one.sections.size(), 1u);
    EXPECT_EQ(one.sections[0].heading, NOT_ADDED_HEADING);
    EXPECT_EQ(one.sections[0].rows,
              (std::vector<ReportRow>{{"/b/A.MP3", "same name as /a/a.mp3"}}));

    // The same file again is simply listed already.
    EndReport two = refusal_report({{"/b/a.mp3", "/a/a.mp3"}, {"/a/c.mp3", "/a/c.mp3"}});
    EXPECT_EQ(two.summary, "2 files were not added: files of the same names are already listed.");
    ASSERT_EQ(report_row_count(two), 2u);
    EXPECT_EQ(two.sections[0].rows[1].reason, "already listed");
}

// The end of a run as a summary and sections of files with reasons, and its short text.
#include "app/core/end_report.h"

#include <gtest/gtest.h>

namespace {

BatchResult two_failures_of_three() {
    BatchResult result;
    result.attempted = 3;
    result.failed = {{"/m/a.mp3", DECODE_FAILED_REASON}, {"/m/c.mp3", "no MPEG audio found"}};
    return result;
}

}  // namespace

TEST(EndReport, FailuresBecomeASectionUnderTheMessagesFirstParagraph) {
    const BatchResult result = two_failures_of_three();
    BatchState state;
    const EndReport report = end_report(result, finish_batch(result, state, false));
    EXPECT_EQ(report.summary, "Decoded 1 of 3 files. 2 files could not be decoded:");
    ASSERT_EQ(report.sections.size(), 1u);
    EXPECT_EQ(report.sections[0].heading, FAILED_HEADING);
    EXPECT_EQ(report.sections[0].rows,
              (std::vector<ReportRow>{{"/m/a.mp3", "decoding failed"},
                                      {"/m/c.mp3", "no MPEG audio found"}}));
    EXPECT_EQ(report_row_count(report), 2u);

    EXPECT_EQ(report_text(report, 1),
              "Decoded 1 of 3 files. 2 files could not be decoded:\n\n"
              "/m/a.mp3: decoding failed\n... and 1 more");
    EXPECT_EQ(report_text(report, 5),
              "Decoded 1 of 3 files. 2 files could not be decoded:\n\n"
              "/m/a.mp3: decoding failed\n/m/c.mp3: no MPEG audio found");
}

TEST(EndReport, SuccessAndCancelSayOnlyTheirSentence) {
    BatchResult done;
    done.attempted = 2;
    BatchState state;
    EndReport report = end_report(done, finish_batch(done, state, false));
    EXPECT_EQ(report.summary, "Decoded all files successfully.");
    EXPECT_TRUE(report.sections.empty());
    EXPECT_EQ(report_text(report, 5), "Decoded all files successfully.");

    BatchResult stopped = two_failures_of_three();
    stopped.lastResult = DECODE_ABORTED;
    state.cancelRequested = 1;
    report = end_report(stopped, finish_batch(stopped, state, false));
    EXPECT_EQ(report.summary, "Decoding files aborted by user.");
    EXPECT_TRUE(report.sections.empty());
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

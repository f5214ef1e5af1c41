// The per-file record of a run: the events the worker loop sends for each file, and the texts
// the list shows for them.
#include "app/core/file_status.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "app/core/end_report.h"
#include "tests/core/run_lists.h"
#include "tests/support/temp_dir.h"

namespace {

// Every per-file event in order, as "start k", "k: done of total KiB", "end k: result".
struct EventObserver : RunObserver {
    void started(std::size_t index) override { events.push_back("start " + std::to_string(index)); }
    void progressed(const RunProgress& progress) override {
        for (const RunningFile& file : progress.running) {
            events.push_back(std::to_string(file.index) + ": " + std::to_string(file.doneKiB) +
                             " of " + std::to_string(file.totalKiB));
        }
    }
    void ended(std::size_t index, const FileOutcome& outcome) override {
        events.push_back("end " + std::to_string(index) + ": " +
                         std::to_string(result_code(outcome)));
        outcomes.push_back(outcome);
    }
    std::vector<std::string> events;
    std::vector<FileOutcome> outcomes;
};

DecodeStats stats(std::uint64_t ms, std::int32_t millibel, std::uint32_t clipped) {
    DecodeStats s = {};
    s.frames_decoded = ms / 26;
    s.duration_ms = ms;
    s.peak_millibel = millibel;
    s.has_peak = 1;
    s.clipped_samples = clipped;
    return s;
}

}  // namespace

TEST(FileStatus, ARunTellsEachFileItsStartProgressAndEndWithTheEnginesFigures) {
    begin_batch(test_run(), {});
    EventObserver sink;
    const std::vector<BatchFile> files = {{"a.mp3", "/m/"}, {"b.mp3", "/m/"}};
    // A stand-in engine: a.mp3 reports 0, 1/3 (twice: told once), 2/3 and a little past the
    // end, then fills in its figures; b.mp3 fails at once.
    auto decode = [](const DecodeRequest& request) {
        if (std::string(request.input_path) == "/m/b.mp3") {
            return DECODE_FAILED;
        }
        for (int done : {0, 100, 100, 200, 310}) {
            request.progress(300, done);
        }
        *request.stats = stats(182'400, -30, 7);
        return DECODE_OK;
    };
    TempDir out;  // each decode writes a temporary file there first
    const BatchResult result = run_inline(files, BatchOptions{out.path()}, decode, &sink);

    // Each file shows as soon as it starts; b.mp3 never reports, and stands at its
    // predecessor's total, which the batch bar credits it with.
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"start 0", "0: 0 of 0", "0: 0 of 300", "0: 100 of 300",
                                        "0: 200 of 300", "0: 310 of 300", "end 0: 0", "start 1",
                                        "1: 0 of 300", "end 1: 4"}));
    // The row's per mille: past the end it stays below 1000 until the file's end says done.
    EXPECT_EQ(running_per_mille(0, 0), 0);
    EXPECT_EQ(running_per_mille(300, 0), 0);
    EXPECT_EQ(running_per_mille(300, 100), 333);
    EXPECT_EQ(running_per_mille(300, 200), 666);
    EXPECT_EQ(running_per_mille(300, 300), 999);
    EXPECT_EQ(running_per_mille(300, 310), 999);
    ASSERT_EQ(sink.outcomes.size(), 2u);
    EXPECT_EQ(sink.outcomes[0].stats.duration_ms, 182'400u);
    EXPECT_EQ(sink.outcomes[0].stats.clipped_samples, 7u);
    EXPECT_EQ(listed(result, FileEnd::Failed).size(), 1u);

    // From the outcomes to the column: 182.4 s is 3:02 rounded down, -30 mB is -0.3 dB.
    EXPECT_EQ(status_text(ended_status(sink.outcomes[0], 1000)), "done 3:02, -0.3 dB, 7 clipped");
    // The stand-in failed a file that is not there: the row says what is wrong with it now.
    const FileStatus failed = ended_status(sink.outcomes[1], 0);
    EXPECT_EQ(status_text(failed), "failed: the input vanished");
    // The stand-in wrote no lines: the tooltip says the reason.
    EXPECT_EQ(status_details(failed), "failed: the input vanished");
}

TEST(FileStatus, TextsOfEveryState) {
    FileStatus status;
    EXPECT_EQ(status_text(status), "waiting");
    status.state = FileState::Measuring;
    EXPECT_EQ(status_text(status), "measuring loudness");
    status.state = FileState::Measured;
    EXPECT_EQ(status_text(status), "measured, waiting");
    status.state = FileState::Decoding;
    status.perMille = 427;
    EXPECT_EQ(status_text(status), "decoding 42%");  // rounded down: never 100 % before the end

    FileOutcome stopped;
    stopped.end = FileEnd::Partial;
    stopped.output = "/out/a.wav";
    EXPECT_EQ(status_text(ended_status(stopped, 427)), "stopped at 42%");
    // Removed so that a resumed run decodes it again: the row says so.
    stopped.output.clear();
    stopped.reason = {ReasonKind::StoppedRemoved};
    EXPECT_EQ(status_text(ended_status(stopped, 427)), "stopped at 42%, removed");
    EXPECT_EQ(status_details(ended_status(stopped, 427)),
              "stopped at 42%, removed\nits partial WAV file was removed");
    FileOutcome notStarted;
    notStarted.reason = {ReasonKind::Cancelled};
    EXPECT_EQ(status_text(ended_status(notStarted, 0)), "not started");

    FileOutcome done;
    done.end = FileEnd::Decoded;
    done.stats = stats(3'723'000, 0, 0);  // one hour, two minutes, three seconds at full scale
    EXPECT_EQ(status_text(ended_status(done, 990)), "done 1:02:03, 0.0 dB, 0 clipped");
    done.stats.has_peak = 0;  // all zero samples
    EXPECT_EQ(status_text(ended_status(done, 990)), "done 1:02:03, -inf dB, 0 clipped");
    // Kept beside an existing WAV file: the row names the new file, the tooltip its path.
    done.output = "/out/b (2).wav";
    done.renamed = true;
    EXPECT_EQ(status_text(ended_status(done, 990)),
              "done 1:02:03, -inf dB, 0 clipped, as b (2).wav");
    EXPECT_EQ(status_details(ended_status(done, 990)),
              "done 1:02:03, -inf dB, 0 clipped, as b (2).wav\nwritten as /out/b (2).wav beside "
              "the existing WAV file");

    // A full disk: the system's words, not "decoding failed".
    FileOutcome full;
    full.end = FileEnd::Failed;
    full.reason = {ReasonKind::Output, ENOSPC, {}};
    EXPECT_EQ(status_text(ended_status(full, 0)), "failed: No space left on device");

    // Never given to the decoder: refused, with its reason, not failed.
    FileOutcome refused;
    refused.end = FileEnd::Refused;
    refused.reason = {ReasonKind::Text, 0,
                      "the output /m/a.wav is the input file itself; not decoded"};
    EXPECT_EQ(ended_status(refused, 0).state, FileState::Refused);
    EXPECT_EQ(status_text(ended_status(refused, 0)),
              "refused: the output /m/a.wav is the input file itself; not decoded");

    // Engine lines, when a worker caught them, go to the tooltip instead of the reason.
    FileOutcome failed;
    failed.end = FileEnd::Failed;
    failed.reason = {ReasonKind::NoAudio};
    failed.messages = {"x.mp3: no MPEG audio frame found", "x.mp3: nothing written"};
    EXPECT_EQ(status_details(ended_status(failed, 0)),
              "failed: no MPEG audio found\nx.mp3: no MPEG audio frame found\n"
              "x.mp3: nothing written");

    // The plan's verdicts: a skip says why in a word (the whole sentence in the tooltip), a
    // failure before decoding gives its reason.
    PlannedFile skip{{"a.mp3", "/m/"}, PlanAction::Skip, "the WAV file exists", false};
    EXPECT_EQ(status_text(planned_status(skip)), "skipped: exists");
    EXPECT_EQ(status_details(planned_status(skip)), "skipped: exists\nthe WAV file exists");
    PlannedFile fail{{"b.mp3", "/m/"}, PlanAction::Fail, "same WAV file as /n/b.mp3", false};
    EXPECT_EQ(status_text(planned_status(fail)), "failed: same WAV file as /n/b.mp3");
    PlannedFile decode{{"c.mp3", "/m/"}, PlanAction::Decode, "", false};
    EXPECT_EQ(planned_status(decode).state, FileState::Waiting);
}

TEST(FileStatus, PeakInTenthsOfADecibelRoundedHalfAwayFromZero) {
    // Millibels are hundredths of a dB: -25 mB is -0.25 dB, shown -0.3; -24 shows -0.2.
    EXPECT_EQ(peak_text(stats(1, -25, 0)), "-0.3 dB");
    EXPECT_EQ(peak_text(stats(1, -24, 0)), "-0.2 dB");
    EXPECT_EQ(peak_text(stats(1, -4, 0)), "0.0 dB");  // not "-0.0"
    EXPECT_EQ(peak_text(stats(1, -1234, 0)), "-12.3 dB");
    EXPECT_EQ(peak_text(stats(1, -9604, 0)), "-96.0 dB");
}

TEST(FileStatus, RetryTakesOnlyTheFailedRows) {
    std::vector<FileStatus> rows(7);
    rows[0].state = FileState::Done;
    rows[1].state = FileState::Failed;
    rows[2].state = FileState::Skipped;
    rows[3].state = FileState::Stopped;  // cancelled, not failed: Decode All takes it again
    rows[5].state = FileState::Failed;
    rows[6].state = FileState::Refused;  // a retry would meet the same refusal
    EXPECT_EQ(failed_rows(rows), (std::vector<int>{1, 5}));
    EXPECT_TRUE(failed_rows(std::vector<FileStatus>(3)).empty());
}

TEST(FileStatus, CountLineUnderTheList) {
    EXPECT_EQ(list_count_text(0, 0), "No files");
    EXPECT_EQ(list_count_text(1, 31'457), "1 file, 30.7 kB");  // 31457 / 1024 = 30.72
    // 54.95 MB: 54.95 * 1048576 = 57'619'251.2 bytes.
    EXPECT_EQ(list_count_text(12, 57'619'252), "12 files, 54.95 MB");
}

TEST(FileStatus, EndMessageCountsEachWayAndStaysSmall) {
    BatchResult result{
        {ended_as(FileEnd::Decoded, "/m/b.mp3"), ended_as(FileEnd::Skipped, "/m/s.mp3"),
         ended_as(FileEnd::Failed, "/m/a.mp3", "decoding failed"),
         ended_as(FileEnd::Decoded, "/m/c.mp3"), ended_as(FileEnd::Skipped, "/m/t.mp3"),
         ended_as(FileEnd::Decoded, "/m/d.mp3")}};
    BatchState state;
    const BatchEnd end = finish_batch(result, state, false);
    const EndReport report = counted_end_report(result, end);
    EXPECT_EQ(report.summary, "3 decoded, 2 skipped, 1 failed.");
    ASSERT_EQ(report.sections.size(), 2u);  // the files themselves are in the sections
    EXPECT_EQ(report.sections[0].rows.size(), 1u);

    RunCounts counts;
    counts.decoded = 0;
    counts.partial = 2;
    EXPECT_EQ(run_counts_text(counts), "0 decoded, 2 partial.");

    // A run without failures keeps its sentence.
    BatchResult fine{{ended_as(FileEnd::Decoded, "/m/a.mp3")}};
    EXPECT_EQ(counted_end_report(fine, finish_batch(fine, state, false)).summary,
              "Decoded all files successfully.");
}

TEST(FileStatus, EngineLinesLoseTheBannerAndEmptyLines) {
    const std::string banner = decode_banner();
    EXPECT_EQ(
        message_lines(banner + "     Title: Song\n            Second line\n\n5 frames\n"),
        (std::vector<std::string>{"     Title: Song", "            Second line", "5 frames"}));
    // A banner with nothing after it on its line leaves no line; a banner-like text later in
    // a line stays.
    EXPECT_EQ(message_lines(banner + "\nx " + banner), (std::vector<std::string>{"x " + banner}));
}

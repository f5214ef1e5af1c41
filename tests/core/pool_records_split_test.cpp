// The records between the pool's parent and a worker, fed a byte at a time: every field
// survives the trip, a record cut anywhere is waited for rather than misread, and bytes that
// are no record of ours are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "app/core/pool_records.h"

namespace {

FileOutcome sample_outcome() {
    FileOutcome outcome;
    outcome.end = FileEnd::Failed;
    outcome.reason = {ReasonKind::Output, 27, "File too large"};  // EFBIG on Linux
    outcome.output = "/o/t (3).wav";
    outcome.engineRan = true;
    outcome.stats = {};
    outcome.stats.frames_decoded = 1234;
    outcome.stats.duration_ms = 5678;
    outcome.stats.peak_millibel = -300;
    outcome.stats.has_peak = 1;
    outcome.stats.clipped_samples = 7;
    outcome.stats.gain_db = 5.25;
    outcome.stats.warnings = WARNING_ID3_CHUNK_LEFT_OUT;
    return outcome;
}

TEST(PoolRecordSplits, NewsSplitAtEveryByteIsTakenOnlyWholeWithEveryField) {
    const std::string stream =
        encode_progress(100, 42) + encode_end(sample_outcome(), "line one\nline two\n");
    std::size_t records = 0;
    std::string inbox;
    std::vector<WorkerNews> taken;
    // One byte at a time, as a socket may deliver it: every shorter cut is Incomplete and
    // leaves the offset alone.
    for (char byte : stream) {
        inbox += byte;
        std::size_t offset = 0;
        WorkerNews news{};
        RecordTake take = take_news(inbox, offset, news);
        ASSERT_NE(take, RecordTake::Invalid) << inbox.size();
        if (take == RecordTake::Incomplete) {
            EXPECT_EQ(offset, 0u);
            continue;
        }
        ++records;
        taken.push_back(news);
        inbox.erase(0, offset);
    }
    ASSERT_EQ(records, 2u);
    EXPECT_TRUE(inbox.empty());
    EXPECT_FALSE(taken[0].ended);
    EXPECT_EQ(taken[0].totalKiB, 100);
    EXPECT_EQ(taken[0].doneKiB, 42);
    const FileOutcome& end = taken[1].outcome;
    EXPECT_TRUE(taken[1].ended);
    EXPECT_EQ(end.end, FileEnd::Failed);
    EXPECT_EQ(end.reason, (Reason{ReasonKind::Output, 27, "File too large"}));
    EXPECT_EQ(taken[1].messages, "line one\nline two\n");
    EXPECT_EQ(end.output, "/o/t (3).wav");
    EXPECT_TRUE(end.engineRan);
    EXPECT_EQ(end.stats.frames_decoded, 1234u);
    EXPECT_EQ(end.stats.duration_ms, 5678u);
    EXPECT_EQ(end.stats.peak_millibel, -300);
    EXPECT_EQ(end.stats.has_peak, 1);
    EXPECT_EQ(end.stats.clipped_samples, 7u);
    EXPECT_EQ(end.stats.gain_db, 5.25);
    EXPECT_EQ(end.stats.warnings, WARNING_ID3_CHUNK_LEFT_OUT);
}

TEST(PoolRecordSplits, AJobSplitAtEveryByteCarriesItsFileAndPolicy) {
    BatchFile file{"t.mp3", "/in/", "/in/", "/o/t (2).wav", true, ExistingPolicy::Rename};
    const std::string bytes = encode_job(17, file) + encode_job(18, {"u.mp3", "/in/"});
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        std::string inbox = bytes.substr(0, cut);
        std::size_t offset = 0;
        PoolJob job{};
        const RecordTake take = take_job(inbox, offset, job);
        const std::size_t first = encode_job(17, file).size();
        ASSERT_EQ(take, cut < first ? RecordTake::Incomplete : RecordTake::Whole) << cut;
        if (take == RecordTake::Whole) {
            EXPECT_EQ(offset, first);
            EXPECT_EQ(job.index, 17u);
            EXPECT_EQ(job.file.name, "t.mp3");
            EXPECT_EQ(job.file.folder, "/in/");
            EXPECT_EQ(job.file.root, "/in/");
            EXPECT_EQ(job.file.output, "/o/t (2).wav");
            EXPECT_EQ(job.file.existing, ExistingPolicy::Rename);
        } else {
            EXPECT_EQ(offset, 0u);
        }
    }
}

TEST(PoolRecordSplits, UnknownKindsAndAbsurdSizesAreProtocolErrors) {
    std::size_t offset = 0;
    WorkerNews news{};
    PoolJob job{};
    // A kind of 9, then enough bytes for any record.
    std::string unknown("\x09\0\0\0", 4);
    unknown += std::string(64, 'x');
    EXPECT_EQ(take_news(unknown, offset, news), RecordTake::Invalid);
    EXPECT_EQ(take_job(unknown, offset, job), RecordTake::Invalid);
    // A job sent where news is expected, and the other way round.
    EXPECT_EQ(take_news(encode_job(1, {"a.mp3", "/"}), offset, news), RecordTake::Invalid);
    EXPECT_EQ(take_job(encode_progress(1, 1), offset, job), RecordTake::Invalid);
    // An end record whose reason claims 4 GiB: refused at once, not waited for.
    // The reason's size field lies just before its text.
    std::string end = encode_end(sample_outcome(), "");
    const std::size_t reasonSize = end.find("File too large") - 4;
    std::memset(end.data() + reasonSize, 0xFF, 4);
    EXPECT_EQ(take_news(end, offset, news), RecordTake::Invalid);
    // A policy out of range.
    std::string badPolicy = encode_job(1, {"a.mp3", "/"});
    badPolicy[badPolicy.size() - 4] = 7;
    EXPECT_EQ(take_job(badPolicy, offset, job), RecordTake::Invalid);
    EXPECT_EQ(offset, 0u);
}

}  // namespace

// The records between the pool and its workers: an end record carries a file's whole outcome,
// read back only once every byte of it has come.
#include "app/core/pool_records.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(PoolRecords, AnEndRecordCarriesTheWholeOutcomeWhereverTheStreamIsCut) {
    FileOutcome sent;
    sent.end = FileEnd::Failed;
    sent.reason = {ReasonKind::Output, ENOSPC, "cannot create a file in /out"};
    sent.output = "/out/a (2).wav";
    sent.engineRan = true;
    sent.stats.frames_decoded = 1234;
    sent.stats.duration_ms = 5678;
    sent.stats.peak_millibel = -300;
    sent.stats.has_peak = 1;
    sent.stats.clipped_samples = 7;
    sent.stats.output_error = ENOSPC;
    const std::string stream = encode_progress(300, 100) + encode_end(sent, "line one\nline two\n");

    // Fed one cut at a time, as a socket may deliver it: nothing is taken before its last
    // byte, and both records come out whole wherever the cut falls.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        std::string buffer = stream.substr(0, cut);
        std::size_t offset = 0;
        std::vector<WorkerNews> taken;
        WorkerNews news{};
        while (take_news(buffer, offset, news) == RecordTake::Whole) {
            taken.push_back(news);
        }
        buffer += stream.substr(cut);
        while (take_news(buffer, offset, news) == RecordTake::Whole) {
            taken.push_back(news);
        }
        ASSERT_EQ(taken.size(), 2u) << cut;
        EXPECT_EQ(offset, stream.size()) << cut;
        EXPECT_FALSE(taken[0].ended);
        EXPECT_EQ(taken[0].doneKiB, 100);
        const FileOutcome& got = taken[1].outcome;
        EXPECT_TRUE(taken[1].ended);
        EXPECT_EQ(got.end, FileEnd::Failed);
        EXPECT_EQ(got.reason, sent.reason);
        EXPECT_EQ(reason_text(got.reason), "cannot create a file in /out: No space left on device");
        EXPECT_EQ(got.output, "/out/a (2).wav");
        EXPECT_TRUE(got.engineRan);
        EXPECT_EQ(got.stats.frames_decoded, 1234u);
        EXPECT_EQ(got.stats.clipped_samples, 7u);
        EXPECT_EQ(got.stats.output_error, ENOSPC);
        EXPECT_EQ(taken[1].messages, "line one\nline two\n");
    }

    // An end that names no end this program knows fails the file rather than pass for one.
    std::string odd = encode_end(sent, "");
    const std::int32_t unknown = 99;
    std::memcpy(odd.data() + sizeof(std::uint32_t), &unknown, sizeof unknown);
    std::size_t offset = 0;
    WorkerNews news{};
    ASSERT_EQ(take_news(odd, offset, news), RecordTake::Whole);
    EXPECT_EQ(news.outcome.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(news.outcome.reason), "decoding failed");
}

}  // namespace

// Where a decoded file lands when the folder changes during its decode: skip and rename decide
// again when the file is put in place and never replace; a stopped file never replaces an
// older one; temporary files of killed writers are removed, live ones never; numbered names
// always fit the file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include "app/core/output_name.h"
#include "app/core/output_plan.h"
#include "app/core/partial_mark.h"
#include "app/core/safe_output.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

// A WAV file with no chunk yet: what a stopped decode needs to be marked.
const Bytes EMPTY_WAV = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};

class Placement : public testing::Test {
protected:
    DecodeRequest request(const std::string& output) {
        output_ = output;
        DecodeRequest r;
        decode_request_init(&r);
        r.input_path = input_.c_str();
        r.output_path = output_.c_str();
        return r;
    }

    // Writes bytes to its temporary file, runs meanwhile (the other program's doing), ends
    // with result.
    DecodeFunction writing(const Bytes& bytes, std::int32_t result,
                           std::function<void()> meanwhile = {}) {
        return [bytes, result, meanwhile](const DecodeRequest& r) {
            write_file_bytes(r.output_path, bytes);
            if (meanwhile) {
                meanwhile();
            }
            return result;
        };
    }

    TempDir dir;
    std::string input_ = dir.file("t.mp3");
    std::string output_;
};

TEST_F(Placement, SkipNeverReplacesAFileThatAppearedDuringTheDecode) {
    const std::string out = dir.file("t.wav");
    FileOutcome outcome = decode_into_place(
        request(out), writing({'n', 'e', 'w'}, DECODE_OK, [&] { write_file_bytes(out, {'B'}); }),
        ExistingPolicy::Skip);
    EXPECT_EQ(outcome.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(outcome.reason),
              "a WAV file of that name appeared during the run; it is left as it was");
    EXPECT_TRUE(outcome.output.empty());
    EXPECT_EQ(read_file_bytes(out), (Bytes{'B'}));
    EXPECT_EQ(folder_entries(dir.path()), (Names{"t.wav"}));  // no temporary file left

    // Nothing there: placed.
    FileOutcome placed = decode_into_place(request(dir.file("u.wav")), writing({'u'}, DECODE_OK),
                                           ExistingPolicy::Skip);
    EXPECT_FALSE(placed.output.empty());
    EXPECT_EQ(placed.output, dir.file("u.wav"));
    EXPECT_EQ(read_file_bytes(dir.file("u.wav")), (Bytes{'u'}));
}

TEST_F(Placement, SkipReplacesOnlyThePartialFileACancelledRunLeft) {
    const std::string out = dir.file("t.wav");
    FileOutcome stopped = decode_into_place(request(out), writing(EMPTY_WAV, DECODE_ABORTED));
    ASSERT_FALSE(stopped.output.empty());
    EXPECT_TRUE(is_partial_wav(out));
    // The resumed run decodes it again: the plan does not skip it, the placement replaces it.
    BatchOptions options;
    options.outputFolder = dir.path();
    options.existing = ExistingPolicy::Skip;
    std::vector<PlannedFile> plan = plan_outputs({{"t.mp3", dir.path() + "/"}}, options, false);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].action, PlanAction::Decode);
    FileOutcome resumed = decode_into_place(
        request(out), writing({'w', 'h', 'o', 'l', 'e'}, DECODE_OK), ExistingPolicy::Skip);
    EXPECT_EQ(resumed.end, FileEnd::Decoded);
    EXPECT_EQ(read_file_bytes(out), (Bytes{'w', 'h', 'o', 'l', 'e'}));
    EXPECT_FALSE(is_partial_wav(out));
    // A finished file is skipped as before.
    plan = plan_outputs({{"t.mp3", dir.path() + "/"}}, options, false);
    EXPECT_EQ(plan[0].action, PlanAction::Skip);
}

TEST_F(Placement, RenameTakesTheNextFreeNumberWhenThePlannedOneWasTaken) {
    write_file_bytes(dir.file("t.wav"), {'A'});
    const std::string planned = dir.file("t (2).wav");
    FileOutcome outcome = decode_into_place(
        request(planned),
        writing({'n', 'e', 'w'}, DECODE_OK, [&] { write_file_bytes(planned, {'B'}); }),
        ExistingPolicy::Rename);
    EXPECT_EQ(outcome.end, FileEnd::Decoded);
    EXPECT_FALSE(outcome.output.empty());
    EXPECT_EQ(outcome.output, dir.file("t (3).wav"));
    EXPECT_EQ(read_file_bytes(dir.file("t.wav")), (Bytes{'A'}));
    EXPECT_EQ(read_file_bytes(planned), (Bytes{'B'}));
    EXPECT_EQ(read_file_bytes(dir.file("t (3).wav")), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(folder_entries(dir.path()), (Names{"t (2).wav", "t (3).wav", "t.wav"}));
}

TEST_F(Placement, AStoppedFileIsMarkedAndNeverReplacesAnything) {
    const std::string out = dir.file("t.wav");
    // Another program writes the name while the decode runs; the stopped file is dropped.
    FileOutcome stopped = decode_into_place(
        request(out), writing(EMPTY_WAV, DECODE_ABORTED, [&] { write_file_bytes(out, {'B'}); }));
    EXPECT_EQ(stopped.end, FileEnd::Partial);
    EXPECT_TRUE(stopped.output.empty());
    EXPECT_EQ(reason_text(stopped.reason), "the older WAV file was kept");
    EXPECT_EQ(read_file_bytes(out), (Bytes{'B'}));
    EXPECT_EQ(folder_entries(dir.path()), (Names{"t.wav"}));
    // An empty stopped file (cancelled before its header) is no WAV: nothing is kept.
    FileOutcome empty = decode_into_place(request(dir.file("e.wav")), writing({}, DECODE_ABORTED));
    EXPECT_TRUE(empty.output.empty());
    EXPECT_EQ(folder_entries(dir.path()), (Names{"t.wav"}));

    // A mark on a file with an odd last chunk: the pad byte first, then the mark, sizes right.
    const Bytes odd = {'R', 'I', 'F', 'F', 15, 0, 0, 0, 'W', 'A', 'V', 'E',
                       'x', 'y', 'z', 'w', 3,  0, 0, 0, 1,   2,   3};
    FileOutcome marked =
        decode_into_place(request(dir.file("o.wav")), writing(odd, DECODE_ABORTED));
    ASSERT_FALSE(marked.output.empty());
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(read_file_bytes(dir.file("o.wav")), &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].id, "xyzw");
    EXPECT_EQ(chunks[1].id, "part");
}

TEST_F(Placement, TemporaryFilesOfKilledWritersGoLiveOnesStay) {
    const std::string out = dir.file("t.wav");
    write_file_bytes(dir.file(".t.wav.AAAAAA"), {'s', 't', 'a', 'l', 'e'});
    write_file_bytes(dir.file(".t.wav.BBBBBB"), {'l', 'i', 'v', 'e'});
    write_file_bytes(dir.file(".u.wav.CCCCCC"), {'o', 't', 'h', 'e', 'r'});
    // Another run's writer holds its file under a lock, as decode_into_place does.
    int live = open(dir.file(".t.wav.BBBBBB").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_NE(live, -1);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(live, F_OFD_SETLK, &lock), 0);
    FileOutcome outcome = decode_into_place(request(out), writing({'n'}, DECODE_OK));
    EXPECT_FALSE(outcome.output.empty());
    EXPECT_EQ(folder_entries(dir.path()), (Names{".t.wav.BBBBBB", ".u.wav.CCCCCC", "t.wav"}));
    close(live);
    remove_stale_temporaries(out);
    EXPECT_EQ(folder_entries(dir.path()), (Names{".u.wav.CCCCCC", "t.wav"}));
}

TEST(NumberedNames, FitTheLongestNameAtACharacterBoundary) {
    std::string stem;
    for (int i = 0; i < 83; ++i) {
        stem += "\xE6\x9B\xB2";  // 曲, three bytes: 249 bytes of title
    }
    const std::string path = "/o/" + stem + ".wav";
    const std::string numbered = numbered_file_path(path, 2, 255);
    const std::string name = numbered.substr(3);
    EXPECT_LE(name.size(), 255u);
    // 255 - " (2).wav" leaves 247 bytes, cut back to 246: 82 whole characters.
    EXPECT_EQ(name, stem.substr(0, 246) + " (2).wav");
    EXPECT_EQ(numbered_file_path("/o/v1.2/song.wav", 12, 255), "/o/v1.2/song (12).wav");
    EXPECT_EQ(numbered_file_path("/o/noext", 3, 255), "/o/noext (3)");

    int n = 0;
    EXPECT_EQ(unnumbered_file_path("/o/t (12).wav", &n), "/o/t.wav");
    EXPECT_EQ(n, 12);
    EXPECT_EQ(unnumbered_file_path("/o/t (1).wav", &n), "/o/t (1).wav");
    EXPECT_EQ(n, 1);
    EXPECT_EQ(unnumbered_file_path("/o/t (x).wav", &n), "/o/t (x).wav");
    EXPECT_EQ(unnumbered_file_path("/o (2)/t.wav", &n), "/o (2)/t.wav");
}

TEST(NumberedNames, RenamingALongNameEndsWithANameTheSystemTakes) {
    TempDir dir;
    std::string stem;
    for (int i = 0; i < 83; ++i) {
        stem += "\xE6\x9B\xB2";
    }
    write_file_bytes(dir.file(stem + ".wav"), {'A'});
    BatchOptions options;
    options.outputFolder = dir.path();
    options.existing = ExistingPolicy::Rename;
    std::vector<PlannedFile> plan =
        plan_outputs({{stem + ".mp3", dir.path() + "/"}}, options, false);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].action, PlanAction::Decode);
    EXPECT_EQ(plan[0].file.output, dir.file(stem.substr(0, 246) + " (2).wav"));
}

}  // namespace

// The batch under faults: files that vanish or shrink after measuring, an output that
// cannot be written. Every failure is in the result; the other files are decoded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/batch.h"
#include "tests/core/run_lists.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

class BatchFaults : public testing::Test {
protected:
    void SetUp() override { begin_batch(test_run(), {}); }

    BatchResult run(const std::vector<BatchFile>& files, const std::string& outputFolder) {
        BatchOptions options;
        options.outputFolder = outputFolder;
        testing::internal::CaptureStderr();
        BatchResult result = run_inline(files, options);
        messages = testing::internal::GetCapturedStderr();
        // The engine's lines, caught with each file.
        for (const FileOutcome& file : result.files) {
            for (const std::string& line : file.messages) {
                messages += line + "\n";
            }
        }
        return result;
    }

    std::string messages;
};

TEST_F(BatchFaults, InputsThatVanishOrShrinkAfterMeasuring) {
    TempDir in;
    TempDir out;
    write_file_bytes(in.file("gone.mp3"), read_file_bytes(fixture_path("short.mp3")));
    std::vector<unsigned char> bytes = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    write_file_bytes(in.file("shrunk.mp3"), bytes);
    std::string folder = in.path() + "/";
    begin_batch(test_run(), {{"gone.mp3", folder}, {"shrunk.mp3", folder}});
    EXPECT_EQ(test_run().batchTotalKiB, 2135u / 1024 + 48483u / 1024);

    unlink(in.file("gone.mp3").c_str());
    // Ten whole frames stay (the fixture's first ten frames: 9 padded, 1 not, see its notes).
    bytes.resize(4180);
    write_file_bytes(in.file("shrunk.mp3"), bytes);

    write_file_bytes(out.file("gone.wav"), {'o', 'l', 'd'});  // from an earlier run
    BatchResult result = run({{"gone.mp3", folder}, {"shrunk.mp3", folder}}, out.path());
    // The reason is the input's own, not the engine's "decoding failed".
    EXPECT_EQ(listed(result, FileEnd::Failed),
              (std::vector<Listed>{{in.file("gone.mp3"), "the input vanished"}}));
    // No output of the vanished input: the older file stays, and nothing else is left.
    EXPECT_EQ(read_file_bytes(out.file("gone.wav")), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(folder_entries(out.path()), (std::vector<std::string>{"gone.wav", "shrunk.wav"}));
    EXPECT_NE(messages.find(in.file("gone.mp3") + ": No such file or directory"), std::string::npos)
        << messages;
    ParsedWav shrunk = parse_wav_file(out.file("shrunk.wav"));
    ASSERT_TRUE(shrunk.ok) << shrunk.error;
    EXPECT_GT(shrunk.data_size, 0u);
    EXPECT_LE(shrunk.data_size, 10u * 1152 * 4);
}

TEST_F(BatchFaults, UnwritableOutputsFailTheirFilesOnly) {
    TempDir out;
    // One WAV name is a link to the full device: the link is replaced, never written through.
    ASSERT_EQ(symlink("/dev/full", out.file("stereo_44k_128.wav").c_str()), 0);
    write_file_bytes(out.file("keep.txt"), {'k', 'e', 'e', 'p'});
    std::string folder = fixture_path("");
    BatchResult result = run({{"stereo_44k_128.mp3", folder}, {"short.mp3", folder}}, out.path());
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    EXPECT_FALSE(result.stopped);
    struct stat info {};
    ASSERT_EQ(lstat(out.file("stereo_44k_128.wav").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(parse_wav_file(out.file("stereo_44k_128.wav")).data_size, 116u * 1152 * 4);
    EXPECT_TRUE(parse_wav_file(out.file("short.wav")).ok);
    EXPECT_EQ(read_file_bytes(out.file("keep.txt")),
              (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));

    // An output "folder" that is a plain file passes the folder check but no file can be
    // written below it: every file fails with the reason, the plain file stays as it was.
    write_file_bytes(out.file("plain"), {'p'});
    result = run({{"short.mp3", folder}, {"tagged.mp3", folder}}, out.file("plain"));
    ASSERT_EQ(listed(result, FileEnd::Failed).size(), 2u);
    EXPECT_EQ(listed(result, FileEnd::Failed)[0].reason,
              "cannot create a file in " + out.file("plain") + ": Not a directory");
    EXPECT_EQ(read_file_bytes(out.file("plain")), (std::vector<unsigned char>{'p'}));
}

}  // namespace

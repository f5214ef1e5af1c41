#include "app/core/output_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/file_list.h"
#include "tests/core/run_lists.h"
#include "tests/support/temp_dir.h"

namespace {

void put(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    write_file_bytes(path, {1, 2, 3});
}

BatchOptions options_for(const std::string& out, bool keep, ExistingPolicy existing) {
    BatchOptions options;
    options.outputFolder = out;
    options.keepFolders = keep;
    options.existing = existing;
    return options;
}

TEST(OutputPlan, KeptFoldersStartWithTheAddedFoldersOwnName) {
    const BatchFile deep{"01 - Intro.mp3", "/music/Library/Artist/Album/", "/music/Library/"};
    EXPECT_EQ(relative_output_path(deep, false), "01 - Intro.wav");
    EXPECT_EQ(relative_output_path(deep, true), "Library/Artist/Album/01 - Intro.wav");
    // Straight in the added folder; a folder given with extra slashes; a file by itself.
    EXPECT_EQ(relative_output_path({"a.mp2", "rel/Album/", "rel/Album/"}, true), "Album/a.wav");
    EXPECT_EQ(relative_output_path({"a.mp3", "Album///sub/", "Album///"}, true), "Album/sub/a.wav");
    EXPECT_EQ(relative_output_path({"a.mp3", "/music/", ""}, true), "a.wav");
    // The root has no name of its own: its tree goes straight into the output folder.
    EXPECT_EQ(relative_output_path({"a.mp3", "/x/", "/"}, true), "x/a.wav");

    // "." stands for the folder it is.
    TempDir dir;
    std::string named = dir.file("Named");
    mkdir(named.c_str(), 0755);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(named.c_str()), 0);
    std::string relative = relative_output_path({"a.mp3", "./CD 1/", "./"}, true);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(relative, "Named/CD 1/a.wav");

    EXPECT_EQ(planned_output_path(deep, options_for("/out", true, ExistingPolicy::Overwrite)),
              "/out/Library/Artist/Album/01 - Intro.wav");
    EXPECT_EQ(numbered_output_path("/o/v1.2/song.wav", 2), "/o/v1.2/song (2).wav");
    EXPECT_EQ(numbered_output_path("/o/v1.2/noext", 3), "/o/v1.2/noext (3)");
}

TEST(OutputPlan, SkipAndRenameLookAtTheDiskAndAtEarlierFiles) {
    TempDir dir;
    const std::string out = dir.file("out");
    put(out + "/a.wav");
    put(out + "/a (2).wav");
    const std::vector<BatchFile> files = {
        {"a.mp3", "/in/", ""},      // exists, and so does its (2)
        {"a (3).mp3", "/in/", ""},  // the name a's renaming would take next
        {"b.mp3", "/in/", ""},      // free
    };
    auto skip = plan_outputs(files, options_for(out, false, ExistingPolicy::Skip), true);
    ASSERT_EQ(skip.size(), 3u);
    EXPECT_EQ(skip[0].action, PlanAction::Skip);
    EXPECT_EQ(skip[0].reason, "the WAV file exists");
    EXPECT_EQ(skip[1].action, PlanAction::Decode);
    EXPECT_EQ(skip[2].action, PlanAction::Decode);
    EXPECT_EQ(files_to_decode(skip).size(), 2u);
    // The run's two outcomes go where the plan lists their files, the skipped one first.
    BatchResult result{
        {ended_as(FileEnd::Decoded, "/in/a (3).mp3"), ended_as(FileEnd::Decoded, "/in/b.mp3")}};
    add_plan_outcome(skip, result);
    EXPECT_EQ(paths(result, FileEnd::Skipped), std::vector<std::string>{"/in/a.mp3"});
    ASSERT_EQ(result.files.size(), 3u);
    EXPECT_EQ(result.files[0].output, out + "/a.wav");  // the WAV file that is there
    EXPECT_EQ(result.files[1].input, "/in/a (3).mp3");
    EXPECT_EQ(attempted(result), 2);

    auto rename = plan_outputs(files, options_for(out, false, ExistingPolicy::Rename), true);
    EXPECT_EQ(rename[0].file.output, out + "/a (3).wav");
    EXPECT_TRUE(rename[0].renamed);
    EXPECT_EQ(rename[0].reason, out + "/a.wav exists");
    // Its own name was given away a moment ago, so it is kept beside that one.
    EXPECT_EQ(rename[1].file.output, out + "/a (3) (2).wav");
    EXPECT_EQ(rename[2].file.output, out + "/b.wav");
    EXPECT_FALSE(rename[2].renamed);

    auto overwrite = plan_outputs(files, options_for(out, false, ExistingPolicy::Overwrite), true);
    EXPECT_EQ(overwrite[0].file.output, out + "/a.wav");
    EXPECT_EQ(files_to_decode(overwrite).size(), 3u);

    // A dangling link is a taken name too: skipped, never written through.
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), (out + "/b.wav").c_str()), 0);
    EXPECT_EQ(plan_outputs(files, options_for(out, false, ExistingPolicy::Skip), true)[2].action,
              PlanAction::Skip);
}

TEST(OutputPlan, FoldersAreMadeOnlyForARealRunAndAFileInTheWayFails) {
    TempDir dir;
    const std::string out = dir.file("out");
    mkdir(out.c_str(), 0755);
    const std::vector<BatchFile> files = {
        {"x.mp3", "/in/Lib/Album/", "/in/Lib/"},
        {"y.mp3", "/in/Lib/Album/", "/in/Lib/"},
        {"z.mp3", "/in/Lib/Blocked/", "/in/Lib/"},
        {"X.MP3", "/in/Lib/ALBUM/", "/in/Lib/"},  // Album/x.wav on a FAT drive
    };
    put(out + "/Lib/Blocked");  // a plain file where a folder has to go
    const BatchOptions options = options_for(out, true, ExistingPolicy::Overwrite);

    auto dry = plan_outputs(files, options, false);
    struct stat info {};
    EXPECT_NE(stat((out + "/Lib/Album").c_str(), &info), 0);
    EXPECT_EQ(dry[0].action, PlanAction::Decode);

    auto plan = plan_outputs(files, options, true);
    EXPECT_EQ(stat((out + "/Lib/Album").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(plan[0].action, PlanAction::Decode);
    EXPECT_EQ(plan[1].action, PlanAction::Decode);
    EXPECT_EQ(plan[2].action, PlanAction::Fail);
    EXPECT_EQ(plan[2].reason, out + "/Lib/Blocked exists, but is not a folder");
    EXPECT_EQ(dry[2].action, PlanAction::Fail);  // seen without making anything
    EXPECT_EQ(plan[3].action, PlanAction::Fail);
    EXPECT_EQ(plan[3].reason, "same WAV file as /in/Lib/Album/x.mp3");

    BatchResult result{{ended_as(FileEnd::Decoded, input_path(plan[0].file)),
                        ended_as(FileEnd::Decoded, input_path(plan[1].file))}};
    add_plan_outcome(plan, result);
    EXPECT_EQ(attempted(result), 4);
    ASSERT_EQ(listed(result, FileEnd::Failed).size(), 2u);
    EXPECT_EQ(listed(result, FileEnd::Failed)[0].path, "/in/Lib/Blocked/z.mp3");
}

TEST(OutputPlan, TheListComparesWavPathsWhenTheTreeIsKept) {
    TempDir dir;
    for (const char* path :
         {"Lib/A/01 - Intro.mp3", "Lib/B/01 - Intro.mp3", "Lib/B/01 - INTRO.mp2", "Lib/B/02.mp3"}) {
        put(dir.file(path));
    }
    FileList list;
    list.addPath(dir.file("Lib"));
    EXPECT_EQ(list.rowCount(), 3);  // flat: the second "01 - Intro.mp3" is refused
    list.clear();
    list.setKeepFolders(true);
    list.addPath(dir.file("Lib"));
    ASSERT_EQ(list.rowCount(), 3);  // B's .mp2 and .mp3 would write one WAV file
    EXPECT_EQ(list.row(0).root, dir.file("Lib/"));
    EXPECT_EQ(list.row(1).folder, dir.file("Lib/B/"));
    EXPECT_EQ(list.row(1).name, "01 - INTRO.mp2");
    // The same file added by itself goes to the output folder's top: no duplicate.
    EXPECT_TRUE(list.addFileRow(dir.file("Lib/A/01 - Intro.mp3")));
    EXPECT_EQ(list.row(3).root, "");
    EXPECT_FALSE(list.addFileRow(dir.file("Lib/B/01 - Intro.mp3")));

    // Back to flat: the rows stay, and a new file of a listed name is refused again.
    list.setKeepFolders(false);
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_FALSE(list.addFileRow(dir.file("Lib/B/02.mp3")));
}

TEST(OutputPlan, SkippedFilesAreNamedInTheEndReportAndAreNoFailures) {
    BatchState state;
    BatchResult result{
        {ended_as(FileEnd::Skipped, "/in/a.mp3"), ended_as(FileEnd::Skipped, "/in/b.mp3")}};
    BatchEnd end = finish_batch(result, state, false);
    EXPECT_FALSE(end.failures);
    EXPECT_EQ(end.message,
              "No file needed decoding.\n\n2 files were skipped, their WAV files exist:\n\n"
              "/in/a.mp3\n/in/b.mp3");
    result.files.pop_back();
    result.files.push_back(ended_as(FileEnd::Decoded, "/in/d.mp3"));
    EXPECT_EQ(finish_batch(result, state, false).message,
              "Decoded all files successfully.\n\nThis file was skipped, its WAV file exists:\n\n"
              "/in/a.mp3");
    result.files.push_back(ended_as(FileEnd::Failed, "/in/c.mp3", "decoding failed"));
    end = finish_batch(result, state, false);
    EXPECT_TRUE(end.failures);
    EXPECT_NE(end.message.find(
                  "could not be decoded:\n\n/in/c.mp3: decoding failed\n\nThis file was skipped"),
              std::string::npos)
        << end.message;
    // A cancelled run says so, and what failed, but not what was skipped.
    state.cancelRequested = 1;
    result.stopped = true;
    EXPECT_EQ(finish_batch(result, state, false).message,
              "Decoding files aborted by user.\n\nThis file could not be decoded:\n\n/in/c.mp3: "
              "decoding failed");
}

TEST(OutputPlan, SkipModeRemovesOnlyACancelledFilesOutput) {
    TempDir dir;
    const std::string output = dir.file("partial.wav");
    DecodeRequest request;
    decode_request_init(&request);
    request.output_path = output.c_str();
    for (std::int32_t result : {DECODE_OK, DECODE_FAILED, DECODE_ABORTED}) {
        for (ExistingPolicy policy :
             {ExistingPolicy::Overwrite, ExistingPolicy::Skip, ExistingPolicy::Rename}) {
            DecodeFunction decode =
                output_decoder(options_for("", false, policy), [&](const DecodeRequest& r) {
                    write_file_bytes(r.output_path, {1});
                    return result;
                });
            EXPECT_EQ(decode(request), result);
            const bool removed = result == DECODE_ABORTED && policy == ExistingPolicy::Skip;
            EXPECT_EQ(file_exists(output), !removed) << result;
        }
    }
}

}  // namespace

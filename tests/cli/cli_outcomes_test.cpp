// What pelmora-cli tells about each file when things go wrong outside it: no worker process
// can start, the disk fills up, a file is kept beside an older one, a dry run meets a tree
// the run would refuse parts of. Each file's line, its JSON object and the end report say the
// same reason, and the exit status follows it.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::map<std::string, nlohmann::json> objects_by_input(const std::string& out) {
    std::map<std::string, nlohmann::json> objects;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        end = end == std::string::npos ? out.size() : end;
        nlohmann::json object =
            nlohmann::json::parse(out.substr(start, end - start), nullptr, false);
        EXPECT_TRUE(object.is_object()) << out.substr(start, end - start);
        if (object.is_object()) {
            objects[object.value("input", std::string())] = object;
        }
        start = end + 1;
    }
    return objects;
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// A fixture's frames many times over (MPEG frames concatenate): about 6 MiB of WAV per 12.
void write_long_input(const std::string& path, int copies) {
    std::vector<unsigned char> frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    std::vector<unsigned char> bytes;
    for (int i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    write_file_bytes(path, bytes);
}

// The command line as a user no account has, under a process limit: root is exempt from the
// limit, and the limit counts every process of the user, so a user other tests run as (such
// as nobody) would take its room. "ulimit -u 1" leaves no room for a worker beside the
// program itself, 2 room for one.
std::string as_unused_user_with_process_limit(int limit, const std::vector<std::string>& args) {
    uid_t unused = 60899;  // below the worker pool test's, so that the two never share one
    while (unused > 60000 && getpwuid(unused) != nullptr) {
        --unused;
    }
    const std::string id = std::to_string(unused);
    return "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups -- bash -c " +
           shell_quote("ulimit -u " + std::to_string(limit) + " && exec " + cli_command(args));
}

TEST(CliOutcomes, NoWorkerStartingFailsEveryFileWithTheReasonAndSomeDecodeEverything) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as another user under a process limit";
    }
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);  // the other user reads and writes here
    std::vector<std::string> inputs;
    for (const char* name : {"a", "b", "c"}) {
        inputs.push_back(dir.file(std::string(name) + ".mp3"));
        copy_fixture("short.mp3", inputs.back());
    }
    std::vector<std::string> args = {"--json", "--jobs", "2", "-o", dir.file("none")};
    args.insert(args.end(), inputs.begin(), inputs.end());
    RunResult none = run_shell(as_unused_user_with_process_limit(1, args), dir);
    EXPECT_EQ(none.status, 1) << none.err;
    const std::string reason =
        "no worker process could be started: Resource temporarily unavailable";
    EXPECT_FALSE(contains(none.err, "aborted by user")) << none.err;
    EXPECT_TRUE(contains(none.err, "pelmora-cli: " + inputs[0] + ": " + reason + "\n")) << none.err;
    EXPECT_TRUE(contains(none.err,
                         "pelmora-cli: Decoded 0 of 3 files. 3 files could not be "
                         "decoded:\n\n" +
                             inputs[0] + ": " + reason + "\n"))
        << none.err;
    auto objects = objects_by_input(none.out);
    ASSERT_EQ(objects.size(), 3u) << none.out;
    for (const std::string& input : inputs) {
        EXPECT_EQ(objects[input]["status"], "failed");
        EXPECT_EQ(objects[input]["reason"], reason);
        EXPECT_TRUE(objects[input]["output"].is_null());  // no file was left
    }
    EXPECT_TRUE(folder_entries(dir.file("none")).empty());

    // One worker starts, the second cannot: the one decodes every file, and the run says
    // once that it went on without the other.
    args[4] = dir.file("some");
    RunResult some = run_shell(as_unused_user_with_process_limit(2, args), dir);
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_TRUE(contains(some.err,
                         "Not every worker process could be started (Resource "
                         "temporarily unavailable); the others decoded the files."))
        << some.err;
    EXPECT_EQ(folder_entries(dir.file("some")),
              (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
}

// A tmpfs of 200 KiB takes the short file's 23 KiB but not the long one's 6 MiB.
class FullDisk {
public:
    explicit FullDisk(const std::string& path) : path_(path) {
        mkdir(path.c_str(), 0755);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=200k") == 0;
    }
    ~FullDisk() {
        if (mounted_) {
            umount2(path_.c_str(), MNT_DETACH);
        }
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST(CliOutcomes, AFullDiskIsNamedInTheLineTheJsonReasonAndTheEndReport) {
    TempDir dir;
    write_long_input(dir.file("long.mp3"), 12);
    copy_fixture("short.mp3", dir.file("short.mp3"));
    for (const char* jobs : {"1", "2"}) {
        const std::string out = dir.file(std::string("full") + jobs);
        FullDisk disk(out);
        if (!disk.mounted()) {
            GTEST_SKIP() << "needs root to mount a small tmpfs";
        }
        RunResult r = run_cli(
            {"--json", "--jobs", jobs, "-o", out, dir.file("long.mp3"), dir.file("short.mp3")},
            dir);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(
            contains(r.err, "pelmora-cli: " + dir.file("long.mp3") + ": No space left on device\n"))
            << jobs << r.err;
        EXPECT_TRUE(contains(r.err, "could not be decoded:\n\n" + dir.file("long.mp3") +
                                        ": No space left on device"))
            << jobs << r.err;
        auto objects = objects_by_input(r.out);
        EXPECT_EQ(objects[dir.file("long.mp3")]["reason"], "No space left on device");
        EXPECT_TRUE(objects[dir.file("long.mp3")]["output"].is_null());
        // Two at once share the full disk: the short file meets it too when its writes fall
        // before the long file's temporary is gone. One at a time, it never does.
        if (std::string(jobs) == "2" &&
            objects[dir.file("short.mp3")]["reason"] == "No space left on device") {
            EXPECT_TRUE(objects[dir.file("short.mp3")]["output"].is_null());
            EXPECT_TRUE(contains(r.err, dir.file("short.mp3") + ": No space left on device"))
                << r.err;
            EXPECT_TRUE(folder_entries(out).empty());
            continue;
        }
        EXPECT_EQ(objects[dir.file("short.mp3")]["output"], out + "/short.wav");
        EXPECT_EQ(folder_entries(out), (std::vector<std::string>{"short.wav"})) << jobs;
    }
}

TEST(CliOutcomes, KeepingBothNamesTheNewFileEverywhere) {
    TempDir dir;
    copy_fixture("short.mp3", dir.file("a.mp3"));
    copy_fixture("garbage.mp3", dir.file("b.mp3"));
    mkdir(dir.file("out").c_str(), 0755);
    write_file_bytes(dir.file("out/a.wav"), {'o', 'l', 'd'});
    for (const char* jobs : {"1", "2"}) {
        unlink(dir.file("out/a (2).wav").c_str());
        RunResult r = run_cli({"--json", "--existing", "rename", "--jobs", jobs, "-o",
                               dir.file("out"), dir.file("a.mp3"), dir.file("b.mp3")},
                              dir);
        EXPECT_EQ(r.status, 1) << r.err;  // b.mp3 holds no audio
        const std::string renamed = dir.file("out/a (2).wav");
        EXPECT_TRUE(contains(r.err, dir.file("a.mp3") + " -> " + renamed + " (kept both)\n"))
            << r.err;
        EXPECT_TRUE(contains(r.err, "kept beside an existing WAV file under a new name:\n\n" +
                                        dir.file("a.mp3") + " -> " + renamed))
            << r.err;
        auto objects = objects_by_input(r.out);
        EXPECT_EQ(objects[dir.file("a.mp3")]["output"], renamed);
        // A failed file left no WAV file: its output is null, its reason the engine's finding.
        EXPECT_EQ(objects[dir.file("b.mp3")]["status"], "failed");
        EXPECT_TRUE(objects[dir.file("b.mp3")]["output"].is_null());
        EXPECT_EQ(objects[dir.file("b.mp3")]["reason"], "no MPEG audio found");
        // Told once in its line, with the engine's finding that led to it beneath, and once
        // in the end report.
        const std::string failure = dir.file("b.mp3") + ": no MPEG audio found";
        EXPECT_TRUE(contains(
            r.err, "pelmora-cli: " + failure + "\n    error: frame 0: lost synchronization\n"))
            << r.err;
        std::size_t told = 0;
        for (std::size_t at = r.err.find(failure); at != std::string::npos;
             at = r.err.find(failure, at + 1)) {
            ++told;
        }
        EXPECT_EQ(told, 2u) << r.err;
        EXPECT_EQ(read_file_bytes(dir.file("out/a.wav")),
                  (std::vector<unsigned char>{'o', 'l', 'd'}));
    }
}

TEST(CliOutcomes, QuietSkipRunsListNoSkippedFiles) {
    TempDir dir;
    copy_fixture("short.mp3", dir.file("a.mp3"));
    copy_fixture("short.mp3", dir.file("b.mp3"));
    ASSERT_EQ(run_cli({"-q", "-o", dir.file("out"), dir.file("a.mp3")}, dir).status, 0);
    RunResult quiet = run_cli(
        {"-q", "--existing", "skip", "-o", dir.file("out"), dir.file("a.mp3"), dir.file("b.mp3")},
        dir);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    // Without -q the end report names them.
    RunResult told = run_cli(
        {"--existing", "skip", "-o", dir.file("out"), dir.file("a.mp3"), dir.file("b.mp3")}, dir);
    EXPECT_TRUE(contains(told.err, "2 files were skipped, their WAV files exist:\n\n" +
                                       dir.file("a.mp3") + "\n" + dir.file("b.mp3") + "\n"))
        << told.err;
}

TEST(CliOutcomes, ADryRunListsWhatTheRunWouldRefuseAndExitsAsItWould) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as another user, whom a folder can shut out";
    }
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string tree = dir.file("tree");
    mkdir(tree.c_str(), 0755);
    mkdir((tree + "/sub").c_str(), 0755);
    mkdir((tree + "/locked").c_str(), 0755);
    copy_fixture("short.mp3", tree + "/a.mp3");
    copy_fixture("short.mp3", tree + "/sub/a.mp3");  // the same WAV name as a.mp3
    copy_fixture("short.mp3", tree + "/locked/x.mp3");
    ASSERT_EQ(chmod((tree + "/locked").c_str(), 0), 0);
    ASSERT_EQ(symlink("nowhere.mp3", (tree + "/dangling.mp3").c_str()), 0);

    auto as_nobody = [&dir](const std::vector<std::string>& args) {
        return run_shell("runuser -u nobody -- " + cli_command(args), dir);
    };
    RunResult dry = as_nobody({"--dry-run", "-o", dir.file("out"), tree});
    EXPECT_EQ(dry.status, 1) << dry.out << dry.err;
    EXPECT_TRUE(
        contains(dry.out, tree + "/sub/a.mp3: would fail, same file name as " + tree + "/a.mp3\n"))
        << dry.out;
    EXPECT_TRUE(contains(dry.out, tree + "/locked: would fail, ")) << dry.out;
    EXPECT_TRUE(contains(dry.out, tree + "/dangling.mp3: would fail, ")) << dry.out;
    EXPECT_TRUE(contains(dry.out, tree + "/a.mp3 -> " + dir.file("out/a.wav") + "\n")) << dry.out;
    EXPECT_TRUE(contains(dry.out, "Dry run: 1 to decode, 0 to skip, 3 to fail; nothing written."))
        << dry.out;
    EXPECT_FALSE(file_exists(dir.file("out")));

    // The real run refuses the same three, and ends with the same status.
    RunResult real = as_nobody({"-o", dir.file("out"), tree});
    EXPECT_EQ(real.status, dry.status) << real.err;
    EXPECT_TRUE(contains(real.err, "3 files were found but not decoded")) << real.err;
    chmod((tree + "/locked").c_str(), 0755);
}

}  // namespace

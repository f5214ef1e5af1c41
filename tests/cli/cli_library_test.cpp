// pelmora-cli over a music library: the folder tree kept, existing WAV files overwritten,
// skipped or kept beside new ones, a cancelled run resumed, inputs from a list, dry runs, and
// the GNU parallel recipe of the README.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void make_folders_for(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
}

void copy_fixture(const std::string& fixture, const std::string& path) {
    make_folders_for(path);
    write_file_bytes(path, read_file_bytes(fixture_path(fixture)));
}

// Every regular file below root, by its path relative to root, with its bytes.
void collect_files(const std::string& root, const std::string& below,
                   std::map<std::string, std::vector<unsigned char>>& files) {
    DIR* dir = opendir((root + "/" + below).c_str());
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    for (const std::string& name : names) {
        std::string relative = below.empty() ? name : below + "/" + name;
        struct stat info {};
        lstat((root + "/" + relative).c_str(), &info);
        if (S_ISDIR(info.st_mode)) {
            collect_files(root, relative, files);
        } else {
            files[relative] = read_file_bytes(root + "/" + relative);
        }
    }
}

std::map<std::string, std::vector<unsigned char>> tree(const std::string& root) {
    std::map<std::string, std::vector<unsigned char>> files;
    collect_files(root, "", files);
    return files;
}

std::vector<std::string> names_of(const std::map<std::string, std::vector<unsigned char>>& files) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) {
        names.push_back(name);
    }
    return names;
}

// A library whose albums share track names, and one track beside the artists. The fixtures
// differ in channels, rate or length, so a WAV file written from the wrong input shows.
const std::vector<std::pair<std::string, std::string>> LIBRARY = {
    {"Artist A/Album 1/01 - Intro.mp3", "short.mp3"},
    {"Artist A/Album 1/02 - Song.mp3", "quiet.mp3"},
    {"Artist A/Album 2/01 - Intro.mp3", "tagged.mp3"},
    {"Artist B/Album 1/01 - Intro.mp3", "mono_22k.mp3"},
    {"Artist B/Album 1/10 - Outro.mp3", "layer2.mp3"},
    {"bonus.mp3", "stereo_44k_128.mp3"},
};

std::string make_library(const TempDir& dir) {
    for (const auto& [path, fixture] : LIBRARY) {
        copy_fixture(fixture, dir.file("Library/" + path));
    }
    return dir.file("Library");
}

std::string wav_name(std::string path) {
    return path.replace(path.rfind(".mp3"), 4, ".wav");
}

TEST(CliLibrary, KeepFoldersMirrorsTheTreeAndFlatOutputRefusesTheSameNames) {
    TempDir dir;
    std::string library = make_library(dir);
    RunResult kept = run_cli({"--keep-folders", "--no-dither", "-o", dir.file("kept"), library,
                              fixture_path("quiet.mp3")},
                             dir);
    ASSERT_EQ(kept.status, 0) << kept.err;
    auto written = tree(dir.file("kept"));
    std::vector<std::string> expected = {"Library/Artist A/Album 1/01 - Intro.wav",
                                         "Library/Artist A/Album 1/02 - Song.wav",
                                         "Library/Artist A/Album 2/01 - Intro.wav",
                                         "Library/Artist B/Album 1/01 - Intro.wav",
                                         "Library/Artist B/Album 1/10 - Outro.wav",
                                         "Library/bonus.wav",
                                         "quiet.wav"};  // given by itself: no folder
    EXPECT_EQ(names_of(written), expected);
    // Each WAV file holds its own input: the same bytes as that input decoded alone.
    for (const auto& [path, fixture] : LIBRARY) {
        std::string alone = dir.file("alone/" + fixture);
        ASSERT_EQ(run_cli({"--no-dither", "-o", alone, fixture_path(fixture)}, dir).status, 0);
        auto single = tree(alone);
        ASSERT_EQ(single.size(), 1u) << fixture;
        EXPECT_EQ(written["Library/" + wav_name(path)], single.begin()->second) << path;
    }
    EXPECT_TRUE(contains(kept.err, "Decoded all files successfully.")) << kept.err;

    // Flat, as before: each later "01 - Intro.mp3" is refused with both paths named.
    RunResult flat = run_cli({"--no-dither", "-o", dir.file("flat"), library}, dir);
    for (const char* album : {"Artist A/Album 2", "Artist B/Album 1"}) {
        EXPECT_TRUE(contains(flat.err, "skipping " + library + "/" + album +
                                           "/01 - Intro.mp3: same file name as " + library +
                                           "/Artist A/Album 1/01 - Intro.mp3"))
            << flat.err;
    }
    EXPECT_EQ(names_of(tree(dir.file("flat"))),
              (std::vector<std::string>{"01 - Intro.wav", "02 - Song.wav", "10 - Outro.wav",
                                        "bonus.wav"}));

    // Kept folders still refuse two inputs of one WAV path, in any letter case.
    copy_fixture("layer2.mp3", dir.file("Library/Artist A/Album 1/01 - INTRO.mp2"));
    RunResult clash =
        run_cli({"--keep-folders", "--dry-run", "-o", dir.file("kept"), library}, dir);
    EXPECT_TRUE(contains(clash.err, "skipping " + library +
                                        "/Artist A/Album 1/01 - Intro.mp3: same WAV file as " +
                                        library + "/Artist A/Album 1/01 - INTRO.mp2"))
        << clash.err;
}

TEST(CliLibrary, ExistingFilesAreOverwrittenSkippedOrKeptBeside) {
    TempDir dir;
    std::string library = make_library(dir);
    std::string out = dir.file("out");
    std::vector<std::string> args = {"--keep-folders", "--no-dither", "-o", out, library};
    ASSERT_EQ(run_cli(args, dir).status, 0);
    const auto first = tree(out);
    ASSERT_EQ(first.size(), LIBRARY.size());

    // Skip: nothing decoded, the marker left as it is, every input named as skipped.
    const std::string marked = out + "/Library/Artist A/Album 2/01 - Intro.wav";
    write_file_bytes(marked, {'m', 'a', 'r', 'k'});
    for (const char* jobs : {"1", "3"}) {
        std::vector<std::string> skip = {"--existing", "skip", "--jobs", jobs};
        skip.insert(skip.end(), args.begin(), args.end());
        RunResult r = run_cli(skip, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(contains(r.err, " -> ")) << r.err;  // no file reported decoded
        EXPECT_TRUE(contains(r.err,
                             "No file needed decoding.\n\n6 files were skipped, their "
                             "WAV files exist:\n\n" +
                                 library + "/Artist A/Album 1/01 - Intro.mp3\n"))
            << r.err;
        EXPECT_EQ(read_file_bytes(marked), (std::vector<unsigned char>{'m', 'a', 'r', 'k'}));
        EXPECT_EQ(tree(out).size(), LIBRARY.size());
    }

    // Only what is missing is decoded.
    ASSERT_EQ(unlink((out + "/Library/bonus.wav").c_str()), 0);
    std::vector<std::string> skip = {"--existing", "skip"};
    skip.insert(skip.end(), args.begin(), args.end());
    RunResult resumed = run_cli(skip, dir);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_TRUE(contains(resumed.err, library + "/bonus.mp3 -> " + out + "/Library/bonus.wav"))
        << resumed.err;
    EXPECT_TRUE(contains(resumed.err, "Decoded all files successfully.\n\n5 files were skipped"))
        << resumed.err;
    EXPECT_EQ(read_file_bytes(out + "/Library/bonus.wav"), first.at("Library/bonus.wav"));

    // Rename: the new file beside the old one under the next free number; (2) is taken here.
    write_file_bytes(out + "/Library/Artist B/Album 1/01 - Intro (2).wav", {'x'});
    std::vector<std::string> rename = {"--existing", "rename", "--jobs", "2"};
    rename.insert(rename.end(), args.begin(), args.end());
    RunResult renamed = run_cli(rename, dir);
    EXPECT_EQ(renamed.status, 0) << renamed.err;
    auto after = tree(out);
    EXPECT_EQ(after.size(), 2 * LIBRARY.size() + 1);
    EXPECT_EQ(read_file_bytes(marked), (std::vector<unsigned char>{'m', 'a', 'r', 'k'}));
    EXPECT_EQ(after["Library/Artist A/Album 2/01 - Intro (2).wav"],
              first.at("Library/Artist A/Album 2/01 - Intro.wav"));
    EXPECT_EQ(after["Library/Artist B/Album 1/01 - Intro (3).wav"],
              first.at("Library/Artist B/Album 1/01 - Intro.wav"));
    EXPECT_EQ(after["Library/bonus (2).wav"], first.at("Library/bonus.wav"));

    // Overwrite, the default, writes over the marker.
    ASSERT_EQ(run_cli(args, dir).status, 0);
    EXPECT_EQ(read_file_bytes(marked), first.at("Library/Artist A/Album 2/01 - Intro.wav"));

    RunResult bad = run_cli({"--existing", "keep", "-o", out, library}, dir);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(contains(bad.err, "--existing takes overwrite, skip or rename")) << bad.err;
}

// A long input made of one fixture's frames many times over (MPEG frames concatenate).
void write_long_input(const std::string& path, int copies) {
    std::vector<unsigned char> frames = read_file_bytes(fixture_path("stereo_44k_128.mp3"));
    std::vector<unsigned char> bytes;
    for (int i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), frames.begin(), frames.end());
    }
    make_folders_for(path);
    write_file_bytes(path, bytes);
}

// Starts the converter, waits until the watched file has grown past 200 kB (at most 10 s),
// sends SIGINT and returns the exit status.
int interrupt_run(const std::vector<std::string>& args, const std::string& watched,
                  const TempDir& dir) {
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(PELMORA_CLI)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(PELMORA_CLI, argv.data());
        _exit(127);
    }
    // Until it is finished the WAV file is written under a temporary name beside its own:
    // "." + its name + "." and six characters.
    const std::size_t slash = watched.rfind('/');
    const std::string folder = watched.substr(0, slash);
    const std::string prefix = "." + watched.substr(slash + 1) + ".";
    bool grown = false;
    for (int i = 0; i < 2000 && !grown; ++i) {
        for (const std::string& name : folder_entries(folder)) {
            struct stat info {};
            grown =
                grown || (name.rfind(prefix, 0) == 0 &&
                          stat((folder + "/" + name).c_str(), &info) == 0 && info.st_size > 200000);
        }
        usleep(5000);
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliLibrary, ACancelledSkipRunStartedAgainEndsLikeOneUninterruptedRun) {
    TempDir dir;
    std::string library = make_library(dir);
    // "Artist A/Album 1/03 - Long.mp3" plays for a minute and a half: the run is stopped
    // inside it.
    std::string longInput = dir.file("Library/Artist A/Album 1/03 - Long.mp3");
    write_long_input(longInput, 30);
    std::string whole = dir.file("whole");
    ASSERT_EQ(run_cli({"--keep-folders", "--no-dither", "-o", whole, library}, dir).status, 0);
    const auto expected = tree(whole);
    ASSERT_EQ(expected.size(), LIBRARY.size() + 1);

    for (const char* jobs : {"1", "2"}) {
        std::string out = dir.file(std::string("resumed") + jobs);
        std::vector<std::string> args = {"--keep-folders", "--existing", "skip", "--no-dither",
                                         "--jobs",         jobs,         "-o",   out,
                                         library};
        std::string partial = out + "/Library/Artist A/Album 1/03 - Long.wav";
        ASSERT_EQ(interrupt_run(args, partial, dir), 130) << jobs;
        // The stopped file is gone; in one process the files before it are finished (with
        // two, the one beside it may have been stopped too).
        EXPECT_FALSE(file_exists(partial)) << jobs;
        if (std::string(jobs) == "1") {
            EXPECT_EQ(read_file_bytes(out + "/Library/Artist A/Album 1/01 - Intro.wav"),
                      expected.at("Library/Artist A/Album 1/01 - Intro.wav"));
        }
        EXPECT_LT(tree(out).size(), expected.size()) << jobs;

        RunResult again = run_cli(args, dir);
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_TRUE(contains(again.err, library + "/Artist A/Album 1/03 - Long.mp3 -> " + partial))
            << again.err;
        EXPECT_TRUE(contains(again.err, "skipped, its WAV file exists") ||
                    contains(again.err, "skipped, their WAV files exist"))
            << again.err;
        auto resumed = tree(out);
        EXPECT_EQ(names_of(resumed), names_of(expected)) << jobs;
        for (const auto& [name, bytes] : expected) {
            EXPECT_TRUE(resumed[name] == bytes) << jobs << ": " << name;
        }
    }
}

TEST(CliLibrary, FilesFromTakesLinesOrNulSeparatedPathsWithOddNames) {
    TempDir dir;
    // A blank, a line break and a byte that is no UTF-8 in the names.
    const std::vector<std::string> names = {"a b.mp3", "new\nline.mp3", "caf\xe9.mp3"};
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        copy_fixture(i == 1 ? "mono_22k.mp3" : "short.mp3", dir.file("in/" + names[i]));
        list += dir.file("in/" + names[i]) + '\0';
    }
    write_file_bytes(dir.file("list0"), std::vector<unsigned char>(list.begin(), list.end()));
    RunResult r = run_shell(cli_command({"--null", "--files-from", "-", "-o", dir.file("out")}) +
                                " < " + shell_quote(dir.file("list0")),
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_of(tree(dir.file("out"))),
              (std::vector<std::string>{"a b.wav", "caf\xe9.wav", "new\nline.wav"}));
    EXPECT_EQ(parse_wav_file(dir.file("out/new\nline.wav")).channels, 1u);
    EXPECT_TRUE(contains(r.err, "new\\nline.mp3 -> ")) << r.err;  // escaped on the way out

    // One a line from a file, after the arguments; blank lines are no paths.
    std::string lines = "\n" + dir.file("in/a b.mp3") + "\n\n";
    write_file_bytes(dir.file("lines"), std::vector<unsigned char>(lines.begin(), lines.end()));
    r = run_cli(
        {"--files-from", dir.file("lines"), "-o", dir.file("lined"), fixture_path("quiet.mp3")},
        dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_of(tree(dir.file("lined"))),
              (std::vector<std::string>{"a b.wav", "quiet.wav"}));

    r = run_cli({"--files-from", dir.file("no list"), "-o", dir.file("none")}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "no list: No such file or directory")) << r.err;
    EXPECT_FALSE(file_exists(dir.file("none")));
    r = run_cli({"--null", "-o", dir.file("none"), fixture_path("quiet.mp3")}, dir);
    EXPECT_EQ(r.status, 2);
}

TEST(CliLibrary, DryRunSaysWhatWouldHappenAndWritesNothing) {
    TempDir dir;
    std::string library = make_library(dir);
    std::string out = dir.file("out");
    RunResult fresh = run_cli({"--dry-run", "--keep-folders", "-o", out, library}, dir);
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_FALSE(file_exists(out));  // not even the output folder
    EXPECT_TRUE(contains(fresh.out, library + "/Artist B/Album 1/01 - Intro.mp3 -> " + out +
                                        "/Library/Artist B/Album 1/01 - Intro.wav\n"))
        << fresh.out;
    EXPECT_TRUE(contains(fresh.out,
                         "Dry run: 6 to decode, 0 to skip, 0 to fail; nothing "
                         "written.\n"))
        << fresh.out;

    ASSERT_EQ(run_cli({"--keep-folders", "-o", out, library + "/Artist B"}, dir).status, 0);
    const auto before = tree(out);
    for (const char* policy : {"skip", "rename", "overwrite"}) {
        RunResult r =
            run_cli({"--dry-run", "--existing", policy, "--keep-folders", "-o", out, library}, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(tree(out) == before) << policy;
        EXPECT_FALSE(file_exists(out + "/Library")) << policy;
        const std::string input = library + "/Artist B/Album 1/10 - Outro.mp3";
        const std::string output = out + "/Artist B/Album 1/10 - Outro.wav";
        std::string line = std::string(policy) == "skip"
                               ? input + " -> " + output + ": skipped, the WAV file exists\n"
                               : input + " -> " + output + "\n";
        if (std::string(policy) == "rename") {
            line = input + " -> " + out +
                   "/Artist B/Album 1/10 - Outro (2).wav (keeping both: " + output + " exists)\n";
        }
        RunResult b = run_cli(
            {"--dry-run", "--existing", policy, "--keep-folders", "-o", out, library + "/Artist B"},
            dir);
        EXPECT_TRUE(contains(b.out, line)) << b.out;
    }
}

TEST(CliLibrary, HelpNamesTheLibraryOptions) {
    TempDir dir;
    RunResult r = run_cli({"--help"}, dir);
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--keep-folders", "--existing", "overwrite", "skip", "rename",
                               "--files-from", "--null", "-0", "--dry-run"}) {
        EXPECT_TRUE(contains(r.out, option)) << option;
    }
}

// The README's recipe for spreading a library over machines, with two job slots on this one:
// the top-level entries of the library go to the jobs through --files-from, and the result
// must be what one run writes.
TEST(CliLibrary, GnuParallelRecipeWritesWhatOneRunWrites) {
    if (run_shell("command -v parallel >/dev/null", TempDir()).status != 0) {
        GTEST_SKIP() << "GNU parallel is not installed";
    }
    TempDir dir;
    make_library(dir);
    copy_fixture("rate_change.mp3", dir.file("Library/Artist C/only.mp3"));
    std::string one = dir.file("one");
    ASSERT_EQ(
        run_cli({"--keep-folders", "--no-dither", "-o", one, dir.file("Library")}, dir).status, 0);

    std::string shared = dir.file("shared");
    // HOME in the scratch folder: parallel keeps a little state there.
    std::string recipe =
        "cd " + shell_quote(dir.path()) + " && HOME=" + shell_quote(dir.path()) +
        " find Library -mindepth 1 -maxdepth 1 -print0 | HOME=" + shell_quote(dir.path()) +
        " parallel --will-cite --pipe --recend '\\0' -N 1 -j 2 " +
        shell_quote(cli_command({"--null", "--files-from", "-", "--keep-folders", "--existing",
                                 "skip", "--no-dither", "-o", shared + "/Library"}));
    RunResult r = run_shell(recipe, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    // Four top-level entries, each its own job: four end lines.
    std::size_t ends = 0;
    for (std::size_t at = r.err.find("Decoded all files successfully."); at != std::string::npos;
         at = r.err.find("Decoded all files successfully.", at + 1)) {
        ++ends;
    }
    EXPECT_EQ(ends, 4u) << r.err;
    auto expected = tree(one);
    ASSERT_EQ(expected.size(), LIBRARY.size() + 1);
    EXPECT_EQ(names_of(tree(shared)), names_of(expected));
    EXPECT_TRUE(tree(shared) == expected);

    // Started again (another machine joining late, say), it finds everything done.
    r = run_shell(recipe, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.err, " -> ")) << r.err;
    EXPECT_TRUE(tree(shared) == expected);
}

}  // namespace

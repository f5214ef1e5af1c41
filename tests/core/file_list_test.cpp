#include "app/core/file_list.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/temp_dir.h"

namespace {

void touch(const std::string& path, std::size_t bytes = 10) {
    write_file_bytes(path, std::vector<unsigned char>(bytes, 0));
}

struct Recorder : FileListReporter {
    void duplicate(const std::string& path, const std::string& listed) override {
        duplicates.push_back(path + " ~ " + listed);
    }
    void fileError(const std::string& path, const std::string&) override { errors.push_back(path); }
    std::vector<std::string> duplicates;
    std::vector<std::string> errors;
};

std::vector<std::string> names(const FileList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.rowCount(); ++i) {
        out.push_back(list.row(i).name);
    }
    return out;
}

TEST(FileList, AcceptsMpegAudioExtensionsInAnyCase) {
    TempDir dir;
    const std::vector<std::string> all = {"a.mp3", "B.MP3",     "c.mp3.bak",  "noext", "d.wav",
                                          "e.mp2", "F.Mp1",     "g.MPA",      "h.mp4", "i.mpga",
                                          ".mp3",  "j.mp3.mp2", "missing.mp3"};
    for (const std::string& name : all) {
        if (name != "missing.mp3") {
            touch(dir.file(name));
        }
    }
    FileList list;
    for (const std::string& name : all) {
        list.addPath(dir.file(name));
    }
    // ".mp3" is a hidden file's name, and its extension is ".mp3".
    EXPECT_EQ(names(list), (std::vector<std::string>{"a.mp3", "B.MP3", "e.mp2", "F.Mp1", "g.MPA",
                                                     ".mp3", "j.mp3.mp2"}));
    EXPECT_EQ(list.row(0).folder, dir.path() + "/");
    EXPECT_EQ(list.inputPath(1), dir.file("B.MP3"));
    // A dot in a folder name is no extension.
    mkdir(dir.file("x.mp3d").c_str(), 0755);
    touch(dir.file("x.mp3d/plain"));
    EXPECT_EQ(lower_extension(dir.file("x.mp3d/plain")), "");
}

TEST(FileList, RefusesASecondFileOfTheSameNameWhateverItsCase) {
    TempDir dir;
    mkdir(dir.file("one").c_str(), 0755);
    mkdir(dir.file("two").c_str(), 0755);
    touch(dir.file("one/song.mp3"));
    touch(dir.file("two/Song.MP3"));
    FileList list;
    Recorder recorder;
    list.setReporter(&recorder);
    list.addPath(dir.file("one/song.mp3"));
    list.addPath(dir.file("two/Song.MP3"));
    ASSERT_EQ(list.rowCount(), 1);
    ASSERT_EQ(recorder.duplicates.size(), 1u);
    EXPECT_EQ(recorder.duplicates[0], dir.file("two/Song.MP3") + " ~ " + dir.file("one/song.mp3"));

    // After the first row is removed, its name is free again.
    list.removeRows({0});
    list.addPath(dir.file("two/Song.MP3"));
    EXPECT_EQ(list.rowCount(), 1);

    list.setDropSettings(DEFAULT_DROP_FLAGS | NO_DUPLICATE_CHECK, {".mp3"});
    list.addPath(dir.file("one/song.mp3"));
    EXPECT_EQ(list.rowCount(), 2);
}

TEST(FileList, ExpandsFoldersRecursively) {
    TempDir dir;
    mkdir(dir.file("music").c_str(), 0755);
    mkdir(dir.file("music/deep").c_str(), 0755);
    mkdir(dir.file("music/deep/deeper").c_str(), 0755);
    touch(dir.file("music/top.mp3"));
    touch(dir.file("music/cover.jpg"));
    touch(dir.file("music/deep/mid.mp3"));
    touch(dir.file("music/deep/deeper/low.MP3"));
    FileList list;
    list.addPath(dir.file("music"));
    std::vector<std::string> got = names(list);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"low.MP3", "mid.mp3", "top.mp3"}));

    FileList files_only;
    files_only.setDropSettings(ACCEPT_FILES | FILTER_BY_EXTENSION, {".mp3"});
    files_only.addPath(dir.file("music"));  // not a file, not expanded
    EXPECT_EQ(files_only.rowCount(), 0);
}

TEST(FileList, DropsFollowSymbolicLinksAndCanGoToACallback) {
    TempDir dir;
    touch(dir.file("real.mp3"));
    ASSERT_EQ(symlink(dir.file("real.mp3").c_str(), dir.file("link.mp3").c_str()), 0);
    FileList list;
    list.dropPaths({dir.file("link.mp3")});
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.row(0).name, "real.mp3");

    FileList with_callback;
    EXPECT_FALSE(with_callback.setDropSettings(DEFAULT_DROP_FLAGS | USE_CALLBACK, {".mp3"}));
    std::vector<int> kinds;
    EXPECT_TRUE(with_callback.setDropSettings(
        DEFAULT_DROP_FLAGS | USE_CALLBACK, {".mp3"},
        [&](const std::string&, int kind) { kinds.push_back(kind); }));
    with_callback.dropPaths({dir.file("real.mp3"), dir.path(), dir.file("none.mp3")});
    EXPECT_EQ(kinds, (std::vector<int>{PATH_FILE, PATH_FOLDER}));
    EXPECT_EQ(with_callback.rowCount(), 0);
}

// Folders and files come in one name order, numbers by value, whatever order the file system
// keeps (written here in reverse so that creation order cannot pass for it).
TEST(FileList, FoldersAreListedInNameOrderWithNumbersByValue) {
    TempDir dir;
    for (const char* folder : {"lib", "lib/Disc 10", "lib/disc 2", "lib/disc 2/b"}) {
        mkdir(dir.file(folder).c_str(), 0755);
    }
    for (const char* name :
         {"lib/track 10.mp3", "lib/Track 9.mp3", "lib/track 1.mp3", "lib/disc 2/b/03.mp3",
          "lib/disc 2/10 z.mp3", "lib/disc 2/2 y.mp3", "lib/Disc 10/1 x.mp3", "lib/a.mp3"}) {
        touch(dir.file(name));
    }
    FileList list;
    list.addPath(dir.file("lib"));
    EXPECT_EQ(names(list),
              (std::vector<std::string>{"a.mp3", "2 y.mp3", "10 z.mp3", "03.mp3", "1 x.mp3",
                                        "track 1.mp3", "Track 9.mp3", "track 10.mp3"}));
    EXPECT_EQ(list.inputPath(3), dir.file("lib/disc 2/b/03.mp3"));
}

// Runs a scan in a child process, so that a loop fails the test instead of hanging it; the
// child writes the listed paths, one a line, and the errors after a line "--".
std::string scan_in_child(const std::string& path, bool drop_root) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "pipe failed";
    }
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        alarm(20);
        if (drop_root && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(99);
        }
        FileList list;
        Recorder recorder;
        list.setReporter(&recorder);
        list.addPath(path);
        std::string text;
        for (int i = 0; i < list.rowCount(); ++i) {
            text += list.inputPath(i) + "\n";
        }
        text += "--\n";
        for (const std::string& error : recorder.errors) {
            text += error + "\n";
        }
        ssize_t ignored = write(fds[1], text.data(), text.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char block[4096];
    ssize_t got;
    while ((got = read(fds[0], block, sizeof block)) > 0) {
        text.append(block, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child failed: " + std::to_string(status);
    }
    return text;
}

TEST(FileList, ScansNeitherLoopNorLeaveTheFolderGiven) {
    TempDir dir;
    for (const char* folder : {"lib", "lib/album", "lib/real", "sibling"}) {
        mkdir(dir.file(folder).c_str(), 0755);
    }
    touch(dir.file("lib/album/a.mp3"));
    touch(dir.file("lib/real/r.mp3"));
    touch(dir.file("sibling/outside.mp3"));
    // Two links to their own folder once made the search run forever; ".." leads to the
    // siblings; an absolute link out; a link inside the tree to a folder seen by its own name.
    ASSERT_EQ(symlink(".", dir.file("lib/album/self1").c_str()), 0);
    ASSERT_EQ(symlink(".", dir.file("lib/album/self2").c_str()), 0);
    ASSERT_EQ(symlink("..", dir.file("lib/up").c_str()), 0);
    ASSERT_EQ(symlink("../..", dir.file("lib/album/upup").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("sibling").c_str(), dir.file("lib/out").c_str()), 0);
    ASSERT_EQ(symlink("real", dir.file("lib/zz-again").c_str()), 0);
    EXPECT_EQ(scan_in_child(dir.file("lib"), false),
              dir.file("lib/album/a.mp3") + "\n" + dir.file("lib/real/r.mp3") + "\n--\n");

    // A link inside the tree is followed when it is the first way to its folder.
    ASSERT_EQ(symlink("real", dir.file("lib/a-link").c_str()), 0);
    EXPECT_EQ(scan_in_child(dir.file("lib"), false),
              dir.file("lib/a-link/r.mp3") + "\n" + dir.file("lib/album/a.mp3") + "\n--\n");
}

// Root reads every folder, so the unreadable one is tried by a child that gives up root.
TEST(FileList, UnreadableSubfoldersAndBrokenLinksAreReported) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    for (const char* folder : {"lib", "lib/closed", "lib/open"}) {
        mkdir(dir.file(folder).c_str(), 0755);
    }
    touch(dir.file("lib/closed/hidden.mp3"));
    touch(dir.file("lib/open/seen.mp3"));
    ASSERT_EQ(chmod(dir.file("lib/closed").c_str(), 0), 0);
    ASSERT_EQ(symlink("gone.mp3", dir.file("lib/broken.mp3").c_str()), 0);
    ASSERT_EQ(symlink("gone.jpg", dir.file("lib/broken.jpg").c_str()), 0);  // not ours
    std::string result = scan_in_child(dir.file("lib"), true);
    chmod(dir.file("lib/closed").c_str(), 0755);
    EXPECT_EQ(result, dir.file("lib/open/seen.mp3") + "\n--\n" + dir.file("lib/broken.mp3") + "\n" +
                          dir.file("lib/closed") + "\n");
}

TEST(FileList, SizeTextInMebibytes) {
    EXPECT_EQ(size_text(1572864), "1.50 MB");
    // Below 1 MiB in kB: 3379 / 1024 = 3.30; 1048575 / 1024 = 1023.999 rounds to 1024.0.
    EXPECT_EQ(size_text(0), "0.0 kB");
    EXPECT_EQ(size_text(3379), "3.3 kB");
    EXPECT_EQ(size_text(1048575), "1024.0 kB");
    EXPECT_EQ(size_text(1048576), "1.00 MB");
    TempDir dir;
    touch(dir.file("x.mp3"), 1572864);
    FileList list;
    list.addPath(dir.file("x.mp3"));
    EXPECT_EQ(list.row(0).sizeText, "1.50 MB");
}

TEST(FileList, RemovingSelectedRowsSelectsTheRowsThatMoveUp) {
    TempDir dir;
    FileList list;
    for (const char* name : {"r0.mp3", "r1.mp3", "r2.mp3", "r3.mp3", "r4.mp3"}) {
        touch(dir.file(name));
        list.addPath(dir.file(name));
    }
    // Rows 1 and 3 of five go; the former rows 2 and 4, now at 1 and 2, are selected.
    SelectionAfterRemove after = list.removeRows({1, 3});
    EXPECT_EQ(names(list), (std::vector<std::string>{"r0.mp3", "r2.mp3", "r4.mp3"}));
    EXPECT_EQ(after.selected, (std::vector<int>{1, 2}));
    EXPECT_EQ(after.mark, 1);

    // Removing the last row leaves nothing to select in its place.
    after = list.removeRows({2});
    EXPECT_TRUE(after.selected.empty());
    EXPECT_EQ(after.mark, -1);

    list.clear();
    EXPECT_EQ(list.rowCount(), 0);
    list.addPath(dir.file("r0.mp3"));  // a cleared list takes the names again
    EXPECT_EQ(list.rowCount(), 1);
}

}  // namespace

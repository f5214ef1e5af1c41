#include "app/core/file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

TEST(FileList, AcceptsOnlyMp3ByLowerCasedExtension) {
    TempDir dir;
    for (const char* name : {"a.mp3", "B.MP3", "c.mp3.bak", "noext", "d.wav", ".mp3"}) {
        touch(dir.file(name));
    }
    FileList list;
    for (const char* name : {"a.mp3", "B.MP3", "c.mp3.bak", "noext", "d.wav", "missing.mp3"}) {
        list.addPath(dir.file(name));
    }
    EXPECT_EQ(names(list), (std::vector<std::string>{"a.mp3", "B.MP3"}));
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

TEST(FileList, SizeTextInMebibytes) {
    EXPECT_EQ(size_text(1572864), "1.50 MB");
    EXPECT_EQ(size_text(0), "0.00 MB");
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

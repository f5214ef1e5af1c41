#include "app/core/folder_text.h"

#include <gtest/gtest.h>

namespace {

TEST(FolderText, RelativeTextsAreTakenFromTheCurrentFolderAndTidied) {
    const FolderTextBase cli{"/home/ann/work", ""};
    EXPECT_EQ(resolve_folder_text("out", cli), "/home/ann/work/out");
    EXPECT_EQ(resolve_folder_text("./out/", cli), "/home/ann/work/out");
    EXPECT_EQ(resolve_folder_text("../music//wav/", cli), "/home/ann/music/wav");
    EXPECT_EQ(resolve_folder_text("", cli), "/home/ann/work");
    EXPECT_EQ(resolve_folder_text(".", cli), "/home/ann/work");
    // Without a home, "~" is a folder's name like any other.
    EXPECT_EQ(resolve_folder_text("~/x", cli), "/home/ann/work/~/x");
    // Absolute texts: the same tidying; ".." stops at the root.
    EXPECT_EQ(resolve_folder_text("/a/./b/../c/", cli), "/a/c");
    EXPECT_EQ(resolve_folder_text("//", cli), "/");
    EXPECT_EQ(resolve_folder_text("/../..", cli), "/");
    // Names the folder check judges reach it unchanged.
    EXPECT_EQ(resolve_folder_text("/a/b?c/ d.", cli), "/a/b?c/ d.");
    EXPECT_EQ(resolve_folder_text("/a/...", cli), "/a/...");
}

TEST(FolderText, TheHomeFolderAndTextsWithoutACurrentFolder) {
    const FolderTextBase window{"", "/home/bo"};
    EXPECT_EQ(resolve_folder_text("~", window), "/home/bo");
    EXPECT_EQ(resolve_folder_text("~/", window), "/home/bo");
    EXPECT_EQ(resolve_folder_text("~/Music/../WAV", window), "/home/bo/WAV");
    EXPECT_EQ(resolve_folder_text("/srv/wav/", window), "/srv/wav");
    // Only a leading "~" alone or before a slash names the home folder.
    EXPECT_EQ(resolve_folder_text("/x/~", window), "/x/~");
    // Nothing to take a relative text from: it stays as typed, for the check to refuse.
    EXPECT_EQ(resolve_folder_text("~bo/x", window), "~bo/x");
    EXPECT_EQ(resolve_folder_text("music/", window), "music/");
    EXPECT_EQ(resolve_folder_text("", window), "");
}

}  // namespace

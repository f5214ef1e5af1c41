#include "app/core/folder_check.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace {

struct ScriptedSink : FolderMessageSink {
    void warn(const std::string& text) override { warnings.push_back(text); }
    bool ask(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    bool answer = true;
    std::vector<std::string> warnings;
    std::vector<std::string> questions;
};

bool is_folder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Linux names: only '/' and NUL are excluded. The dot, space and punctuation refusals of
// another platform's rules are gone on purpose ("Live: 2003" and ".config" are real names).
TEST(FolderName, AnyNameWithoutSlashOrNul) {
    for (const char* good : {"Music", "Mus ic", "M\xC3\xBCsik", "2024-01-01T10:00", "Live: 2003",
                             ".config", "name ", " name", "name.", "\tx", "a?b", "a*b", "a<b>",
                             "a|b", "a\"b", "a\\b", "...", "\x1b[31m"}) {
        EXPECT_TRUE(is_valid_folder_name(good)) << good;
    }
    EXPECT_FALSE(is_valid_folder_name(""));
    EXPECT_FALSE(is_valid_folder_name("a/b"));
    EXPECT_FALSE(is_valid_folder_name(std::string_view("a\0b", 3)));
}

TEST(FolderPath, AbsolutePathsWithoutNulOnly) {
    EXPECT_EQ(make_folder_path("/", true), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/", false), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/home/music", true), FOLDER_OK);
    for (const char* good : {"/Music/", "//Music", "/a//b", "/a/./b", "/a/b /c", "/a/b?",
                             "/home/u/.config/x", "/m/2024-01-01T10:00/Live: 2003"}) {
        EXPECT_EQ(make_folder_path(good, true), FOLDER_OK) << good;
    }
    for (const char* bad : {"", "Music", "./Music", "~/Music"}) {
        EXPECT_EQ(make_folder_path(bad, true), FOLDER_INVALID) << bad;
    }
    EXPECT_EQ(make_folder_path(std::string_view("/a\0b", 4), true), FOLDER_INVALID);
    // The length limit counts bytes, slashes included.
    EXPECT_EQ(make_folder_path("/" + std::string(4094, 'a'), true), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/" + std::string(4095, 'a'), true), FOLDER_INVALID);
}

TEST(FolderPath, CreatesNamesOfOtherPlatformsAndTrailingSlashes) {
    TempDir dir;
    std::string path = dir.file(".config/2024-01-01T10:00/Live: 2003 /");
    EXPECT_EQ(make_folder_path(path, false), FOLDER_OK);
    EXPECT_TRUE(is_folder(dir.file(".config/2024-01-01T10:00/Live: 2003 ")));
    ScriptedSink sink;
    EXPECT_EQ(check_output_folder(dir.file("a?b//c*d/"), true, sink), FOLDER_OK);
    EXPECT_TRUE(is_folder(dir.file("a?b/c*d")));
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(CheckOutputFolder, InvalidTextsGetTheMessage) {
    ScriptedSink sink;
    EXPECT_EQ(check_output_folder("", true, sink), FOLDER_INVALID);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "The folder:\n\n\n\nis invalid. Please re-enter.");
    EXPECT_EQ(check_output_folder("Music", true, sink), FOLDER_INVALID);
    EXPECT_EQ(sink.warnings[1], "The folder:\n\nMusic\n\nis invalid. Please re-enter.");
    EXPECT_TRUE(sink.questions.empty());
}

TEST(CheckOutputFolder, OffersToCreateMissingLevels) {
    TempDir dir;
    ScriptedSink sink;
    std::string deeper = dir.file("New/Deeper");

    sink.answer = false;
    EXPECT_EQ(check_output_folder(deeper, true, sink), FOLDER_DECLINED);
    EXPECT_FALSE(is_folder(dir.file("New")));
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0], "The folder:\n\n" + deeper +
                                     "\n\ndoes not exist. Do you want the folder to be created?");

    sink.answer = true;
    EXPECT_EQ(check_output_folder(deeper, true, sink), FOLDER_OK);
    EXPECT_TRUE(is_folder(deeper));
    EXPECT_TRUE(sink.warnings.empty());

    // Without the offer a well-formed missing path passes silently.
    EXPECT_EQ(check_output_folder(dir.file("absent"), false, sink), FOLDER_OK);
    EXPECT_FALSE(is_folder(dir.file("absent")));

    // A link to a folder is that folder.
    ASSERT_EQ(symlink(deeper.c_str(), dir.file("link").c_str()), 0);
    EXPECT_EQ(check_output_folder(dir.file("link"), true, sink), FOLDER_OK);
    EXPECT_TRUE(sink.warnings.empty());
}

// An existing path that cannot take the files is refused before anything starts, with or
// without the offer to create.
TEST(CheckOutputFolder, RefusesAPathThatIsNoFolder) {
    TempDir dir;
    write_file_bytes(dir.file("plain"), {1});
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink(dir.file("plain").c_str(), dir.file("link").c_str()), 0);
    for (const char* name : {"plain", "fifo", "link", "plain/"}) {
        for (bool offer : {true, false}) {
            ScriptedSink sink;
            std::string path = dir.file(name);
            EXPECT_EQ(check_output_folder(path, offer, sink), FOLDER_NOT_A_FOLDER) << name;
            ASSERT_EQ(sink.warnings.size(), 1u) << name;
            EXPECT_EQ(sink.warnings[0], "The folder:\n\n" + path +
                                            "\n\nexists, but is not a folder. Please re-enter.");
            EXPECT_TRUE(sink.questions.empty());
        }
    }
    EXPECT_EQ(read_file_bytes(dir.file("plain")), std::vector<unsigned char>{1});
}

// Root may write anywhere, so the unwritable folder is tried by a child that gives up root.
TEST(CheckOutputFolder, RefusesAFolderThatIsNotWritable) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    std::string locked = dir.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(pipe_fds[0]);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(99);
        }
        ScriptedSink sink;
        int result = check_output_folder(locked, true, sink);
        std::string text = sink.warnings.empty() ? "" : sink.warnings[0];
        ssize_t ignored = write(pipe_fds[1], text.data(), text.size());
        (void)ignored;
        _exit(result);
    }
    close(pipe_fds[1]);
    std::string text;
    char block[512];
    ssize_t got;
    while ((got = read(pipe_fds[0], block, sizeof block)) > 0) {
        text.append(block, static_cast<std::size_t>(got));
    }
    close(pipe_fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), FOLDER_UNUSABLE);
    EXPECT_EQ(text,
              "The folder:\n\n" + locked +
                  "\n\ncannot be written to: Permission denied. Please choose another folder.");
}

TEST(CheckOutputFolder, UncreatableFolderIsReported) {
    TempDir dir;
    write_file_bytes(dir.file("file"), {1});
    ScriptedSink sink;
    std::string below_file = dir.file("file/sub");
    EXPECT_EQ(check_output_folder(below_file, true, sink), FOLDER_NOT_CREATED);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0],
              "The folder:\n\n" + below_file + "\n\ncannot be created. Please double check.");
}

}  // namespace

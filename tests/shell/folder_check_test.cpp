#include "app/core/folder_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

TEST(FolderName, PortableComponentRules) {
    EXPECT_TRUE(is_valid_folder_name("Music"));
    EXPECT_TRUE(is_valid_folder_name("Mus ic"));
    EXPECT_TRUE(is_valid_folder_name("M\xC3\xBCsik"));  // above 127 allowed
    for (const char* bad : {"", ".", "..", "name ", " name", "name.", "\tx", "a?b", "a*b", "a:b",
                            "a<b", "a>b", "a|b", "a\"b", "a\\b"}) {
        EXPECT_FALSE(is_valid_folder_name(bad)) << bad;
    }
}

TEST(FolderPath, AbsolutePathsOfValidComponentsOnly) {
    EXPECT_EQ(make_folder_path("/", true), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/", false), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/home/music", true), FOLDER_OK);
    for (const char* bad :
         {"", "Music", "./Music", "/Music/", "//Music", "/a//b", "/a/./b", "/a/b /c", "/a/b?"}) {
        EXPECT_EQ(make_folder_path(bad, true), FOLDER_INVALID) << bad;
    }
    EXPECT_EQ(make_folder_path("/" + std::string(4094, 'a'), true), FOLDER_OK);
    EXPECT_EQ(make_folder_path("/" + std::string(4095, 'a'), true), FOLDER_INVALID);
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

    // An existing plain file passes the check.
    write_file_bytes(dir.file("plain"), {1});
    EXPECT_EQ(check_output_folder(dir.file("plain"), true, sink), FOLDER_OK);
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

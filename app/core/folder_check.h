// Output-folder validation: well-formed absolute paths of portable folder names, with an
// offer to create a missing folder. Messages and the question go through a sink, so that the
// window shows them in message boxes and the command line answers them itself.
#pragma once

#include <string>
#include <string_view>

class FolderMessageSink {
public:
    virtual ~FolderMessageSink() = default;
    // A warning with an OK button.
    virtual void warn(const std::string& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask(const std::string& text) = 0;
};

constexpr int FOLDER_OK = 0;
constexpr int FOLDER_DECLINED = -1;
constexpr int FOLDER_INVALID = 1;
constexpr int FOLDER_NOT_CREATED = 2;

constexpr std::size_t FOLDER_PATH_MAX = 4095;

// One path component: not empty, no blank, tab or dot at either end, none of " * / : < > ? \ |.
bool is_valid_folder_name(std::string_view name);

// FOLDER_OK, FOLDER_INVALID or FOLDER_NOT_CREATED. In creating mode the missing levels are
// made one by one from the root; levels made before a failure stay.
int make_folder_path(std::string_view path, bool checkOnly);

// FOLDER_OK when the folder exists or was just created (or, without the offer, when the path
// is merely well formed), FOLDER_DECLINED, FOLDER_INVALID or FOLDER_NOT_CREATED; shows its
// own messages through sink.
int check_output_folder(const std::string& path, bool offerToCreate, FolderMessageSink& sink);

// The texts shown for FOLDER_INVALID and FOLDER_NOT_CREATED, and the question.
std::string folder_message(int result, const std::string& path);
std::string folder_question(const std::string& path);

// Output-folder validation: absolute paths under Linux's rules, with an offer to create a
// missing folder and a refusal, before anything starts, of a path that cannot take the files.
// Messages and the question go through a sink, so that the window shows them in message boxes
// and the command line answers them itself.
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
constexpr int FOLDER_NOT_A_FOLDER = 3;  // the path exists as something else
constexpr int FOLDER_UNUSABLE = 4;      // not writable, or not reachable

constexpr std::size_t FOLDER_PATH_MAX = 4095;

// One path component: not empty, no '/' and no NUL; every other byte is allowed.
bool is_valid_folder_name(std::string_view name);

// FOLDER_OK, FOLDER_INVALID or FOLDER_NOT_CREATED. The path must be absolute; empty components
// (repeated or trailing '/') are ignored. In creating mode the missing levels are made one by
// one from the root; levels made before a failure stay.
int make_folder_path(std::string_view path, bool checkOnly);

// FOLDER_OK when the folder exists (or was just created) and can take new files, or, without
// the offer, when a missing path is merely well formed; otherwise FOLDER_DECLINED or one of
// the failures above. Shows its own messages through sink.
int check_output_folder(const std::string& path, bool offerToCreate, FolderMessageSink& sink);

// The text shown for a failure; reason is the system's message where there is one.
std::string folder_message(int result, const std::string& path, const std::string& reason = {});
std::string folder_question(const std::string& path);

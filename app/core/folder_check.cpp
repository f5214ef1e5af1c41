#include "app/core/folder_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string replace_placeholder(const char* pattern, const std::string& path) {
    std::string text(pattern);
    std::size_t at = text.find("%s");
    text.replace(at, 2, path);
    return text;
}

bool is_folder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// FOLDER_OK for a folder we may create files in; reason gets the system's message otherwise.
// The effective ids decide, as they do when the files are opened.
int usable_folder(const std::string& path, std::string* reason) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *reason = std::strerror(errno);
        return FOLDER_UNUSABLE;
    }
    if (!S_ISDIR(info.st_mode)) {
        return FOLDER_NOT_A_FOLDER;
    }
    if (faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        *reason = std::strerror(errno);
        return FOLDER_UNUSABLE;
    }
    return FOLDER_OK;
}

}  // namespace

bool is_valid_folder_name(std::string_view name) {
    return !name.empty() &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

int make_folder_path(std::string_view path, bool checkOnly) {
    if (path.empty() || path.size() > FOLDER_PATH_MAX || path[0] != '/' ||
        path.find('\0') != std::string_view::npos) {
        return FOLDER_INVALID;
    }
    std::size_t start = 1;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start && !checkOnly) {
            std::string level(path.substr(0, end));
            mkdir(level.c_str(), 0777);  // failure (already there) is judged by the test below
            if (!is_folder(level)) {
                return FOLDER_NOT_CREATED;
            }
        }
        start = end + 1;
    }
    return checkOnly || is_folder("/") ? FOLDER_OK : FOLDER_NOT_CREATED;
}

std::string folder_message(int result, const std::string& path, const std::string& reason) {
    switch (result) {
        case FOLDER_INVALID:
            return replace_placeholder("The folder:\n\n%s\n\nis invalid. Please re-enter.", path);
        case FOLDER_NOT_A_FOLDER:
            return replace_placeholder(
                "The folder:\n\n%s\n\nexists, but is not a folder. Please re-enter.", path);
        case FOLDER_UNUSABLE:
            return replace_placeholder("The folder:\n\n%s\n\ncannot be written to: ", path) +
                   reason + ". Please choose another folder.";
        default:
            return replace_placeholder(
                "The folder:\n\n%s\n\ncannot be created. Please double check.", path);
    }
}

std::string folder_question(const std::string& path) {
    return replace_placeholder(
        "The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?", path);
}

int check_output_folder(const std::string& path, bool offerToCreate, FolderMessageSink& sink) {
    int result = make_folder_path(path, true);
    if (result != FOLDER_OK) {
        sink.warn(folder_message(result, path));
        return result;
    }
    // Without its trailing slashes a plain file is found as what it is, not as "missing".
    std::string bare = path;
    while (bare.size() > 1 && bare.back() == '/') {
        bare.pop_back();
    }
    struct stat info {};
    // lstat would call a link to a folder "not a folder"; stat follows it, as the files will.
    bool missing = stat(bare.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
    if (missing) {
        if (!offerToCreate) {
            return FOLDER_OK;
        }
        if (!sink.ask(folder_question(path))) {
            return FOLDER_DECLINED;
        }
        result = make_folder_path(path, false);
        if (result != FOLDER_OK) {
            sink.warn(folder_message(result, path));
            return result;
        }
    }
    std::string reason;
    result = usable_folder(bare, &reason);
    if (result != FOLDER_OK) {
        sink.warn(folder_message(result, path, reason));
    }
    return result;
}

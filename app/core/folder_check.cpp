#include "app/core/folder_check.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::string replace_placeholder(const char* pattern, const std::string& path) {
    std::string text(pattern);
    std::size_t at = text.find("%s");
    text.replace(at, 2, path);
    return text;
}

}  // namespace

bool is_valid_folder_name(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    auto edge = [](char c) { return c == '\t' || c == ' ' || c == '.'; };
    if (edge(name.front()) || edge(name.back())) {
        return false;
    }
    return name.find_first_of("\"*/:<>?\\|") == std::string_view::npos;
}

int make_folder_path(std::string_view path, bool checkOnly) {
    if (path.empty() || path.size() > FOLDER_PATH_MAX || path[0] != '/') {
        return FOLDER_INVALID;
    }
    if (path.size() == 1) {
        return checkOnly || exists("/") ? FOLDER_OK : FOLDER_NOT_CREATED;
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (!is_valid_folder_name(path.substr(start, end - start))) {
            return FOLDER_INVALID;  // also an empty component: "//" or a trailing "/"
        }
        if (!checkOnly) {
            std::string level(path.substr(0, end));
            mkdir(level.c_str(), 0777);  // failure (already there) is judged by the test below
            if (!exists(level)) {
                return FOLDER_NOT_CREATED;
            }
        }
        if (end == path.size()) {
            return FOLDER_OK;
        }
        start = end + 1;
    }
    return FOLDER_INVALID;
}

std::string folder_message(int result, const std::string& path) {
    return replace_placeholder(result == FOLDER_INVALID
                                   ? "The folder:\n\n%s\n\nis invalid. Please re-enter."
                                   : "The folder:\n\n%s\n\ncannot be created. Please double check.",
                               path);
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
    if (exists(path) || !offerToCreate) {
        return FOLDER_OK;
    }
    if (!sink.ask(folder_question(path))) {
        return FOLDER_DECLINED;
    }
    result = make_folder_path(path, false);
    if (result != FOLDER_OK) {
        sink.warn(folder_message(result, path));
    }
    return result;
}

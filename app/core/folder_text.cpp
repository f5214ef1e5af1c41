#include "app/core/folder_text.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

std::string without_dot_parts(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

}  // namespace

std::string resolve_folder_text(const std::string& text, const FolderTextBase& base) {
    std::string path = text;
    if (!base.home.empty() && (text == "~" || text.rfind("~/", 0) == 0)) {
        path = base.home + "/" + text.substr(1);
    }
    if (path.empty() || path[0] != '/') {
        if (base.current.empty()) {
            return text;
        }
        path = base.current + "/" + path;
    }
    return without_dot_parts(path);
}

std::string current_folder() {
    char* folder = getcwd(nullptr, 0);
    std::string result = folder != nullptr ? folder : "";
    std::free(folder);
    return result;
}

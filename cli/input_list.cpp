#include "cli/input_list.h"

#include <cerrno>
#include <cstdio>

#include "app/core/system_message.h"

bool read_input_list(const std::string& file, bool nulSeparated, std::vector<std::string>* paths,
                     std::string* message) {
    const bool standardInput = file == "-";
    std::FILE* in = standardInput ? stdin : std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        *message = file + ": " + errno_message(errno);
        return false;
    }
    const int end = nulSeparated ? '\0' : '\n';
    std::string path;
    int c;
    while ((c = std::getc(in)) != EOF) {
        if (c != end) {
            path += static_cast<char>(c);
        } else if (!path.empty()) {
            paths->push_back(path);
            path.clear();
        }
    }
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    if (!path.empty()) {
        paths->push_back(path);
    }
    if (!standardInput) {
        std::fclose(in);
    }
    if (failed) {
        *message =
            (standardInput ? std::string("standard input") : file) + ": " + errno_message(error);
        return false;
    }
    return true;
}

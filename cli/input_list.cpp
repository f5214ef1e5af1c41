#include "cli/input_list.h"

#include <cerrno>
#include <cstdio>

#include "app/core/system_message.h"

bool read_input_list(const std::string& file, bool nulSeparated, std::vector<std::string>* paths,
                     std::string* message) {
    const bool standardInput = file == "-";
    const std::string name = standardInput ? std::string("standard input") : file;
    std::FILE* in = standardInput ? stdin : std::fopen(file.c_str(), "rbe");
    if (in == nullptr) {
        *message = file + ": " + errno_message(errno);
        return false;
    }
    const int end = nulSeparated ? '\0' : '\n';
    std::vector<std::string> read;
    std::string path;
    std::size_t line = 1;
    std::size_t nulLine = 0;  // the first line holding a NUL byte, 0 when none
    auto take = [&] {
        // A list written on another system ends its lines in CR LF.
        if (!nulSeparated && !path.empty() && path.back() == '\r') {
            path.pop_back();
        }
        if (!path.empty()) {
            read.push_back(path);
        }
        path.clear();
        ++line;
    };
    int c;
    while ((c = std::getc(in)) != EOF) {
        if (c == end) {
            take();
        } else {
            // A NUL would cut the name the system sees short: another file than the one listed.
            if (c == '\0' && nulLine == 0) {
                nulLine = line;
            }
            path += static_cast<char>(c);
        }
    }
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    take();
    if (!standardInput) {
        std::fclose(in);
    }
    if (failed) {
        *message = name + ": " + errno_message(error);
        return false;
    }
    if (nulLine != 0) {
        *message = name + ": line " + std::to_string(nulLine) +
                   " holds a NUL byte; no file was decoded (--null reads NUL-separated lists)";
        return false;
    }
    paths->insert(paths->end(), read.begin(), read.end());
    return true;
}

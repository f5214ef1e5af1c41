#include "app/core/output_name.h"

#include <limits.h>
#include <unistd.h>

std::string output_file_name(std::string_view input_path) {
    std::string_view name = input_path;
    if (std::size_t slash = name.rfind('/'); slash != std::string_view::npos) {
        name = name.substr(slash + 1);
    }
    if (std::size_t dot = name.rfind('.');
        dot != std::string_view::npos && name.size() - dot <= 4) {
        name = name.substr(0, dot);
    }
    std::string result(name);
    result += ".wav";
    return result;
}

std::string output_file_path(std::string_view folder, std::string_view input_path) {
    std::string result(folder);
    result += '/';
    result += output_file_name(input_path);
    return result;
}

std::string numbered_file_path(std::string_view path, int n, std::size_t nameMax) {
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < start) {
        dot = path.size();
    }
    const std::string number = " (" + std::to_string(n) + ")";
    const std::string_view extension = path.substr(dot);
    std::size_t stemEnd = dot;
    const std::size_t fixed = number.size() + extension.size();
    if (dot - start + fixed > nameMax && nameMax > fixed) {
        stemEnd = start + (nameMax - fixed);
        // Never in the middle of a character: step back over UTF-8 continuation bytes.
        while (stemEnd > start && (static_cast<unsigned char>(path[stemEnd]) & 0xC0) == 0x80) {
            --stemEnd;
        }
    }
    std::string result(path.substr(0, stemEnd));
    result += number;
    result += extension;
    return result;
}

std::size_t longest_file_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? static_cast<std::size_t>(longest) : NAME_MAX;
}

std::string unnumbered_file_path(const std::string& path, int* n) {
    *n = 1;
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) {
        dot = path.size();
    }
    const std::size_t open = path.rfind(" (", dot);
    if (open == std::string::npos || open < start || dot < open + 4 || path[dot - 1] != ')') {
        return path;
    }
    int number = 0;
    for (std::size_t i = open + 2; i + 1 < dot; ++i) {
        if (path[i] < '0' || path[i] > '9' || number > 100000) {
            return path;
        }
        number = number * 10 + (path[i] - '0');
    }
    if (number < 2) {
        return path;
    }
    *n = number;
    return path.substr(0, open) + path.substr(dot);
}

#include "app/core/output_name.h"

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

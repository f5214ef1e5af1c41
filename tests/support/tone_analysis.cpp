#include "tests/support/tone_analysis.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/cli_process.h"

bool numpy_available() {
    return std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") == 0;
}

std::map<std::string, double> spectrum_figures(const std::vector<std::string>& arguments) {
    // Appended piece by piece: GCC 12 warns (-Wrestrict, wrongly) about "text" + string here.
    std::string command = "/usr/bin/python3 ";
    command += shell_quote(std::string(PELMORA_TEST_DATA) + "/../support/tone_analysis.py");
    for (const std::string& argument : arguments) {
        command += ' ';
        command += shell_quote(argument);
    }
    std::map<std::string, double> figures;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return figures;
    }
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pclose(pipe) != 0) {
        return {};
    }
    std::istringstream words(output);
    std::string word;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos) {
            figures[word.substr(0, equals)] = std::strtod(word.c_str() + equals + 1, nullptr);
        }
    }
    return figures;
}

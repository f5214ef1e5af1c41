#include "tests/support/cli_process.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string cli_command(const std::vector<std::string>& args) {
    std::string command = shell_quote(PELMORA_CLI);
    for (const std::string& arg : args) {
        command += " " + shell_quote(arg);
    }
    return command;
}

RunResult run_shell(const std::string& command, const TempDir& dir) {
    const std::string errPath = dir.file("stderr.txt");
    RunResult result;
    FILE* pipe = popen((command + " 2>" + shell_quote(errPath)).c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), got);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::vector<unsigned char> err = read_file_bytes(errPath);
    result.err.assign(err.begin(), err.end());
    return result;
}

RunResult run_cli(const std::vector<std::string>& args, const TempDir& dir) {
    return run_shell(cli_command(args), dir);
}

// Commands as a user runs them: pelmora-cli or a shell line as a child process, its exit
// status and its two streams.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

struct RunResult {
    int status = -1;  // the exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// text as one word for the shell, whatever bytes it holds.
std::string shell_quote(const std::string& text);
// The command line that runs pelmora-cli with args.
std::string cli_command(const std::vector<std::string>& args);
// Runs a shell command line; standard error is collected through a file in dir.
RunResult run_shell(const std::string& command, const TempDir& dir);
RunResult run_cli(const std::vector<std::string>& args, const TempDir& dir);

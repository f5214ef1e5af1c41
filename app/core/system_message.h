// System errors and signals as a user reads them, worded alike by the window and the command
// line.
#pragma once

#include <string>

// The text of an errno value, as strerror words it ("No such file or directory"); safe to
// call from several threads at once.
std::string errno_message(int error);

// "path: No such file or directory".
std::string path_error_message(const std::string& path, int error);

// "killed by signal 9 (Killed)".
std::string killed_by_signal_message(int signal);

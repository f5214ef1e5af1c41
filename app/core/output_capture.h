// Collects what the engine writes to standard error (and standard output, unless asked not
// to) during one decode, in a scratch file, so that it reaches a terminal only escaped.
#pragma once

#include <string>

class OutputCapture {
public:
    // Starts capturing. Without any scratch file the engine's lines are dropped rather than
    // sent to the terminal unescaped; finish then says so.
    explicit OutputCapture(bool standardOutputToo = true);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Restores the streams and returns what was written.
    std::string finish();

private:
    int file_ = -1;
    int savedOut_ = -1;
    int savedErr_ = -1;
    int lost_ = 0;  // the errno value when nothing could be collected
    bool active_ = false;
};

// Collects what the engine writes to standard output and standard error during one decode,
// in a scratch file under $TMPDIR.
#pragma once

#include <string>

class OutputCapture {
public:
    OutputCapture();  // starts capturing; a failure leaves the streams as they are
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Restores the streams and returns what was written.
    std::string finish();

private:
    int file_ = -1;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

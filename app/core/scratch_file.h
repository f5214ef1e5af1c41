// Nameless temporary files for collecting what a decode writes to its standard streams.
#pragma once

#include <string>

// A new file in $TMPDIR (/tmp when unset or empty), already unlinked so that nothing is left
// behind however the program ends; a file in memory when none can be made there. Opened
// close-on-exec. Returns its descriptor, or -1 with errno set.
int open_scratch_file();

// The whole content, read from the start without moving the file offset.
std::string read_scratch_file(int fd);

// Two-pass peak normalization of 8-bit and 16-bit PCM WAV files, in place.
#pragma once

constexpr int NORMALIZE_DONE = 0;
constexpr int NORMALIZE_CANNOT_OPEN = 1;    // or no buffer, or pass 1 failed; file unchanged
constexpr int NORMALIZE_WRITE_FAILED = 2;   // pass 2 stopped part-way; file partly rewritten
constexpr int NORMALIZE_NOTHING_TO_DO = 3;  // silence, or gain exactly 1.0; file unchanged
constexpr int NORMALIZE_NO_TABLE = 4;       // file unchanged

// An existing regular file is normalized as exactly that file; otherwise the path is a
// glob(3) pattern and every matching regular file is normalized in order, stopping at the
// first code other than 0 and 3; the last file's code is returned. When no regular file
// matches, "Could not find file %s.\n" goes to standard error and the code is 1.
int normalize_path(const char* path);
int normalize_file(const char* path);

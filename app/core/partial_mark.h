// The mark a WAV file stopped part way carries, so that a later run never takes it for a
// finished one: a private RIFF chunk after everything else, which WAV readers pass over.
#pragma once

#include <string>

// Appends the mark to the WAV file open for reading and writing on fd and updates the RIFF
// (or RF64) size. False with errno set when the file is no WAV file or a write fails.
bool mark_partial_wav(int fd);

// True when the regular file at path (not followed when a link) ends with the mark.
bool is_partial_wav(const std::string& path);

// Writing a file's WAV so that nothing already on disk is harmed: under a temporary name
// beside the final one, renamed over it only once finished.
#pragma once

#include "app/core/run_types.h"

// Refuses an output that is a folder or the input itself (the same device and inode, so also
// through a link) before anything is opened for writing. Otherwise decode (decode_file when
// empty) writes a new temporary file in the output's folder, normalization included, and the
// file is renamed to the output name when the decode ended or was stopped on request (unless
// the decode function removed the stopped file): a link at that name is replaced, never
// followed. A failure removes the temporary file and leaves
// an older file of the output name as it was. An output "-" or "" (standard output) is
// decoded as it is. request.stats, when set, receives the outcome's figures too. The outcome
// is decoded or partial with the final name as its output (none when the decode function
// removed a stopped file), failed with the specific reason (the system's error on the output
// or input side, the output folder gone, the WAV size limit, no audio), or refused.
FileOutcome decode_into_place(const DecodeRequest& request, const DecodeFunction& decode = {});

// The temporary name for an output: ".name.XXXXXX" in its folder, the name cut so that the
// whole stays within the longest file name; suffix holds the six characters.
std::string temporary_output_name(const std::string& output, const std::string& suffix);

// Removes the temporary file of the decode in progress, if any. Async-signal-safe, for a
// handler that ends the program at once.
void remove_unfinished_output();

// --json: one JSON object a line (JSON Lines) on standard output for each file as it ends,
// for scripts; everything meant for people goes to standard error.
#pragma once

#include <cstdio>
#include <string>

#include "app/core/file_outcome.h"

// Moves standard output aside: returns a stream on the original standard output (closed on
// exec, so workers never hold it) and points descriptor 1 at standard error, so that the
// engine's lines and anything else written there cannot mix with the objects. Null when the
// descriptors cannot be duplicated.
std::FILE* take_standard_output();

// The object of a file's end, without its line end: "decoded", "failed" (refused files too),
// "skipped" or "cancelled" (stopped part way); output is null when no WAV file was left,
// the engine's figures null when it never ran. Bytes that are not UTF-8 (paths are bytes)
// become U+FFFD, so any path gives valid JSON.
std::string json_file_line(const FileOutcome& outcome);

// Writes the line and flushes it, so a reader sees each file when it ends. Nothing when out
// is null, or for a file a cancel kept from starting.
void write_json_line(std::FILE* out, const FileOutcome& outcome);

// --json: one JSON object a line (JSON Lines) on standard output for each file as it ends,
// for scripts; everything meant for people goes to standard error.
#pragma once

#include <cstdio>
#include <string>

#include "engine/request.h"

// Moves standard output aside: returns a stream on the original standard output (closed on
// exec, so workers never hold it) and points descriptor 1 at standard error, so that the
// engine's lines and anything else written there cannot mix with the objects. Null when the
// descriptors cannot be duplicated.
std::FILE* take_standard_output();

// "decoded", "failed", "skipped" or "cancelled".
struct JsonFileEnd {
    const char* status;
    std::string input;
    std::string output;  // empty: none was planned (the input never got that far); null
    std::string reason;  // empty: null
    // What the engine reported, for a file it decoded; null: the figures are null, since the
    // file never reached the engine.
    const DecodeStats* stats;
};

// The object without its line end. Bytes that are not UTF-8 (paths are bytes) become U+FFFD,
// so any path gives valid JSON.
std::string json_file_line(const JsonFileEnd& end);

// Writes the line and flushes it, so a reader sees each file when it ends. Nothing when out
// is null.
void write_json_line(std::FILE* out, const JsonFileEnd& end);

// The status of a file the engine ran: cancelled when stopped on request, failed when there
// is a reason, decoded otherwise.
const char* decode_status(std::int32_t result, const std::string& reason);

// Running a batch from the command line: the files, where messages go, and the runner (the
// worker pool, with its inline worker or with worker processes).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/album_loudness.h"
#include "app/core/batch.h"
#include "app/core/cue_sheet.h"
#include "cli/cli_options.h"

struct CliRun {
    const CliOptions* options;
    BatchOptions batch;  // output folder and, with --window-options, the options
    std::vector<BatchFile> files;
    std::FILE* screen;  // the original standard error, for the display and our own lines
    bool interactive;   // a progress display on a terminal
    std::FILE* json;    // --json: the original standard output; null otherwise
    // --album: files not written (their WAV file is kept) that count towards their album.
    std::vector<BatchFile> measuredOnly = {};
    // Without --threads: the processors that files running in workers share, taking up those
    // that files ending free (run_worker_pool's tokens); 0 keeps each file's threads fixed.
    int sharedProcessors = 0;
};

// The requests of a run: the window's (fill_request) with --window-options, else the command
// line's engine options (make_request) for the same paths and play length.
RequestBuilder cli_requests(const CliRun& run);

// The line about a finished file: one per decoded file unless quiet, naming the WAV file it
// was written as (and its loudness, when measured), after the engine's lines with --verbose;
// a failed or refused one always, with the engine's messages of that file; a line per
// warning (decode_warning_texts) unless quiet.
// written: the temporary name the engine wrote, which its messages may name.
void report_file(const CliRun& run, const FileOutcome& outcome, const std::string& planned,
                 const std::string& written = {});

// The run's files, jobs at once: with 1 one after another in this process, else in that many
// worker processes; with --album each album is measured first (run_album_files). Expects the
// batch begun (begin_batch).
BatchResult run_files(CliRun& run, BatchState& state, int jobs);

// Ctrl-C, SIGTERM and SIGHUP: the first cancels the run (the current file is finished and
// kept), the second ends the program at once with 128 + its number and a line on screenFd.
// run must outlive the handler.
void install_interrupt_handler(int screenFd, BatchState& run);
int interrupt_count();
// The first of those signals, 0 before any.
int stop_signal();

// After a write to out (--json's standard output): a reader that has gone (EPIPE, with
// SIGPIPE ignored) stops the run as a cancel does, once.
void stop_if_reader_gone(std::FILE* out);
// Why such a run stopped, for its end message.
inline constexpr const char* READER_GONE = "standard output was closed by its reader";
bool reader_gone();

// How one file of a run ended, as one value: the kind of end, a reason (a kind, the system's
// error number where there is one, a detail) and the figures. The window's rows, the command
// line's lines, its JSON objects, the counts and the end report are all rendered from a list
// of these; none is parsed back out of another's text.
#pragma once

#include <string>
#include <vector>

#include "engine/request.h"

// Partial: stopped part way by a cancel (its WAV file kept with what was decoded, or removed);
// Refused: found but never given to the decoder (a duplicate, an unreadable folder, a broken
// link, an output that may not be written); NotStarted: the run was cancelled first.
enum class FileEnd { Decoded, Partial, Skipped, Failed, Refused, NotStarted };

enum class ReasonKind {
    None,
    Text,        // detail is the whole reason
    Engine,      // the decode failed; detail: the engine's own message, when there is one
    NoAudio,     // the input held no MPEG audio at all
    Output,      // the system refused writing the WAV file: error; detail says at what step
    Input,       // the system refused reading the input: error
    InputGone,   // the input vanished during the run
    NotRegular,  // the input is not a regular file (a FIFO, a device, a folder)
    OutputFolderGone,
    WavLimit,          // the WAV file would pass the size a RIFF header can state
    Worker,            // the worker process ended in the middle of the file; detail: how
    NoWorker,          // no worker process could be started: error
    Exists,            // skipped: the WAV file is there already
    Stopped,           // partial, kept with what was decoded
    StoppedRemoved,    // partial, and its WAV file removed so that a resumed run decodes it
    StoppedOlderKept,  // partial, not kept: a WAV file of the name was there, and stays
    Cancelled,         // not started
};

struct Reason {
    ReasonKind kind = ReasonKind::None;
    int error = 0;  // an errno value, 0 when the system gave none
    std::string detail = {};
    bool operator==(const Reason&) const = default;
};

// The reason as a person reads it: "No space left on device", "the input vanished", "cannot
// create a file in /out: Permission denied"; empty for ReasonKind::None.
std::string reason_text(const Reason& reason);

struct FileOutcome {
    FileEnd end = FileEnd::NotStarted;
    Reason reason = {};
    std::string input = {};
    // The WAV file left under its final name; empty when none was left (failed, refused,
    // skipped, a removed partial file).
    std::string output = {};
    bool renamed = false;  // "keep both": output is the new numbered name
    // What the engine reported; meaningful when engineRan.
    DecodeStats stats = {};
    bool engineRan = false;
    // What the engine printed about the file, one line each, when its output was caught.
    std::vector<std::string> messages = {};
};

// The engine's messages about a file as lines: split at line ends, without the decoder's
// banner and without empty lines.
std::vector<std::string> message_lines(const std::string& text);

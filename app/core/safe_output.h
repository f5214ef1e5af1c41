// Writing a file's WAV so that nothing already on disk is harmed: under a temporary name
// beside the final one, renamed over it only once finished.
#pragma once

#include <signal.h>

#include "app/core/run_types.h"

// Refuses an output that is a folder or the input itself (the same device and inode, so also
// through a link), and with Overwrite an existing file the user may not write, before
// anything is opened for writing. Otherwise decode (decode_file when empty) writes a new
// temporary file in the output's folder, normalization included, held under an exclusive lock
// while it is written. The finished file is put in place as existing says, decided at that
// moment: Overwrite renames over the name (a link there is replaced, never followed); Skip
// never replaces a file (but for a partial one a cancelled run left), and fails the file when
// one has appeared; Rename takes the planned name or the next free number, and
// outcome.output names the one taken. A file stopped on request is marked as partial
// (partial_mark.h) and put in place only where no file of the name exists; otherwise it is
// removed and the reason says the older file was kept. A failure removes the temporary file
// and leaves an older file of the output name as it was. An output "-" or "" (standard
// output) is decoded as it is. request.stats, when set, receives the outcome's figures too.
// The outcome is decoded or partial with the final name as its output (none when the stopped
// file was removed or not kept), failed with the specific reason (the system's error on the
// output or input side, the output folder gone, the WAV size limit, no audio), or refused.
FileOutcome decode_into_place(const DecodeRequest& request, const DecodeFunction& decode = {},
                              ExistingPolicy existing = ExistingPolicy::Overwrite);

// The reason for an existing WAV file that is not replaced, since the user may not write it.
inline constexpr const char* WRITE_PROTECTED_REASON = "the WAV file is write-protected";

// Removes the temporary files of output that no writer holds any more (left by a run or a
// worker that was killed); a live one of this or another run is never touched.
void remove_stale_temporaries(const std::string& output);

// The temporary name for an output: ".name.XXXXXX" in its folder, the name cut so that the
// whole stays within the longest file name; suffix holds the six characters.
std::string temporary_output_name(const std::string& output, const std::string& suffix);

// Removes the temporary file of the decode in progress, if any. Async-signal-safe, for a
// handler that ends the program at once.
void remove_unfinished_output();

// Holds back on this thread, while it lives, the signals whose handlers end the program at
// once (SIGINT, SIGTERM, SIGHUP): around a step that creates a file of ours, so that the file
// is known to the handler, or in place, before the handler can run.
class EndingSignalsHeld {
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t before_;
};

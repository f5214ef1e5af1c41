// What the list says about each file of a run: waiting, decoding, done with the engine's
// figures, skipped or failed with the reason, as texts a window shows in a column and a tooltip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/output_plan.h"
#include "app/core/run_types.h"

// Measuring: its loudness is being measured for its album's gain, before it is written;
// Measured: that is done, and it waits for the rest of its album.
// Stopped: the run was cancelled while the file was decoding; what it wrote is not whole, or
// was removed. Refused: never given to the decoder, since its output may not be written there
// (a folder of that name, the input itself). NotStarted: the run was cancelled before the
// file's turn.
enum class FileState {
    Waiting,
    Measuring,
    Measured,
    Decoding,
    Done,
    Stopped,
    Skipped,
    Failed,
    Refused,
    NotStarted
};

struct FileStatus {
    FileState state = FileState::Waiting;
    int perMille = 0;                        // how far a decoding or stopped file got
    std::string reason = {};                 // why it was skipped or failed
    DecodeStats stats = {};                  // a finished or stopped file's figures
    std::vector<std::string> messages = {};  // the engine's lines about the file, if caught
    std::string output = {};                 // a kept-both file's new name, else empty
    bool removed = false;                    // a stopped file whose partial WAV was removed
};

// A file the plan leaves alone (skipped, with a short why) or fails before decoding; a file
// to decode is waiting.
FileStatus planned_status(const PlannedFile& planned);

// How far a running file is, from the KiB figures its decode last reported: 999 at most, since
// a file is done only when its end says so; 0 before any total.
int running_per_mille(std::int32_t totalKiB, std::int32_t doneKiB);

// A decoded file's end; the per mille it had reached stays for a stopped one.
FileStatus ended_status(const FileOutcome& outcome, int perMille);

// "-0.3 dB" (tenths, rounded half away from zero), "-inf dB" for a silent output.
std::string peak_text(const DecodeStats& stats);

// "waiting", "measuring loudness", "decoding 42%", "done 3:02, -0.3 dB, 0 clipped" (", as NAME
// (2).wav" when kept beside an existing file), "stopped at 42%" (", removed"), "skipped: exists",
// "failed: No space left on device", "refused: the output … is the input file itself; not
// decoded", "not started".
std::string status_text(const FileStatus& status);

// The status text, then the whole new name of a kept-both file, then the engine's lines about
// the file, or the whole reason when none were caught.
std::string status_details(const FileStatus& status);

// The indices of the failed rows, increasing: what "Retry failed" decodes again. Refused rows
// are not among them: a retry would meet the same folder or the same input in the WAV file's
// place, which only the user can change.
std::vector<int> failed_rows(const std::vector<FileStatus>& statuses);

// "12 files, 54.95 MB", "1 file, 30.7 kB", "No files".
std::string list_count_text(std::size_t rows, std::uint64_t bytes);

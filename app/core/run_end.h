// The end of a run: what the window and the command line show and do, decided in one place
// from the run's outcomes.
#pragma once

#include <functional>
#include <string>

#include "app/core/run_types.h"

// What the end of a run shows and does; finish_batch is the one place that decides it, for
// the window and the command line alike.
struct BatchEnd {
    bool cancelled;       // the user stopped the run before its end
    int dialogResult;     // 2 cancelled, 1 otherwise
    std::string message;  // empty: no message box
    bool failures;        // files failed or were refused and the run was not cancelled: a warning
    bool openFolder;      // open the output folder now (when its box is checked)
    // A run not cancelled and without failed or refused files, with "exit when done": open
    // the folder, end.
    bool exitProgram;
    std::string summary = {};  // the message's headline alone, for a report with sections
};

// How the end message shows names: the command line escapes them for a terminal and leaves
// out the skipped files when quiet.
struct EndText {
    std::function<std::string(const std::string&)> name = {};  // empty: names as they are
    bool skippedLines = true;
};

// The message: "Decoded all files successfully." when every file found was decoded,
// "Decoding files aborted by user." for a cancelled run; else the counts. Any failed, refused,
// partial or kept-both files follow as lists, each with its reason, in the files' order.
// Linear in the number of files.
BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone,
                      const EndText& text = {});

// After the dialog's loop: a run that was not cancelled, with "exit when done", opens the
// folder and ends the program.
bool exit_after_run(const BatchState& state, bool exitWhenDone);

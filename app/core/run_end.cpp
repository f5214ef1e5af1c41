#include "app/core/run_end.h"

#include <cstdio>

#include "app/core/output_plan.h"

namespace {

std::string plural(std::size_t count, const char* one, const char* many) {
    return count == 1 ? std::string(one) : std::to_string(count) + many;
}

// The lists after a headline, each with its own head line, a blank line and one line per
// file, built in one pass over the files.
struct EndLists {
    std::vector<std::string> failed, refused, partial, renamed, skipped;
    std::size_t notStarted = 0;
};

EndLists end_lists(const BatchResult& result, const EndText& text) {
    auto name = [&text](const std::string& path) { return text.name ? text.name(path) : path; };
    EndLists lists;
    for (const FileOutcome& file : result.files) {
        const std::string line = name(file.input) + ": " + name(reason_text(file.reason));
        switch (file.end) {
            case FileEnd::Failed:
                lists.failed.push_back(line);
                break;
            case FileEnd::Refused:
                lists.refused.push_back(line);
                break;
            case FileEnd::Partial:
                lists.partial.push_back(line);
                break;
            case FileEnd::Skipped:
                if (text.skippedLines) {
                    lists.skipped.push_back(name(file.input));
                }
                break;
            case FileEnd::NotStarted:
                ++lists.notStarted;
                break;
            case FileEnd::Decoded:
                if (file.renamed) {
                    lists.renamed.push_back(name(file.input) + " -> " + name(file.output));
                }
                break;
        }
    }
    return lists;
}

void add_list(const std::string& head, const std::vector<std::string>& lines,
              const char*& separator, std::string& text) {
    if (lines.empty()) {
        return;
    }
    text += separator + head + ":\n";
    separator = "\n\n";
    for (const std::string& line : lines) {
        text += "\n" + line;
    }
}

void add_lists(const EndLists& lists, const char* separator, std::string& text) {
    add_list(plural(lists.failed.size(), "This file", " files") + " could not be decoded",
             lists.failed, separator, text);
    add_list(
        plural(lists.refused.size(), "This file was", " files were") + " found but not decoded",
        lists.refused, separator, text);
    add_list(plural(lists.partial.size(), "This file was", " files were") + " stopped part way",
             lists.partial, separator, text);
    if (lists.notStarted > 0) {
        text +=
            separator + plural(lists.notStarted, "One file was", " files were") + " not started.";
        separator = "\n\n";
    }
}

}  // namespace

BatchEnd finish_batch(const BatchResult& result, const BatchState& state, bool exitWhenDone,
                      const EndText& text) {
    BatchEnd end{false,
                 1,
                 {},
                 false,
                 state.cancelRequested != 0 || !exitWhenDone,
                 exit_after_run(state, exitWhenDone)};
    const EndLists lists = end_lists(result, text);
    std::size_t decoded = 0;
    std::size_t skipped = 0;
    for (const FileOutcome& file : result.files) {
        decoded += file.end == FileEnd::Decoded ? 1 : 0;
        skipped += file.end == FileEnd::Skipped ? 1 : 0;
    }
    const std::size_t found = result.files.size() - skipped;
    if (result.stopped && state.cancelRequested != 0) {
        end.cancelled = true;
        end.dialogResult = 2;
        end.message = state.stopCause.empty() ? std::string("Decoding files aborted by user.")
                                              : "Decoding files stopped: " + state.stopCause + ".";
        end.summary = end.message;
        add_lists(lists, "\n\n", end.message);
    } else if (decoded < found) {
        // Failures are said even when the program is about to exit: silence would report
        // them as success.
        char head[128];
        std::snprintf(head, sizeof head, "Decoded %zu of %zu files.", decoded, found);
        end.message = head;
        end.summary = head;
        add_lists(lists, " ", end.message);
        end.failures = true;
        // The window stays, so that the failed rows and Retry Failed are there to act on.
        end.exitProgram = false;
    } else if (!exitWhenDone) {
        end.message = decoded == 0 && skipped > 0 ? "No file needed decoding."
                                                  : "Decoded all files successfully.";
        end.summary = end.message;
    }
    if (!end.message.empty() && !result.notice.empty()) {
        end.message += "\n\n" + result.notice;
    }
    if (!end.message.empty() && !end.cancelled) {
        const char* separator = "\n\n";
        add_list(plural(lists.renamed.size(), "This file was", " files were") +
                     " kept beside an existing WAV file under a new name",
                 lists.renamed, separator, end.message);
        if (!lists.skipped.empty()) {
            end.message += "\n\n" + skipped_report(lists.skipped);
        }
    }
    return end;
}

bool exit_after_run(const BatchState& state, bool exitWhenDone) {
    return state.cancelRequested == 0 && exitWhenDone;
}

#include "cli/dry_run.h"

#include <string>

#include "cli/terminal_text.h"

int print_dry_run(const std::vector<FileOutcome>& before, const std::vector<PlannedFile>& plan,
                  std::FILE* out) {
    int decode = 0;
    int skip = 0;
    int fail = 0;
    for (const FileOutcome& file : before) {
        const std::string input = terminal_safe(file.input);
        const std::string reason = terminal_safe(reason_text(file.reason));
        if (file.end == FileEnd::Skipped) {
            ++skip;
            std::fprintf(out, "%s: skipped, %s\n", input.c_str(), reason.c_str());
        } else {
            ++fail;
            std::fprintf(out, "%s: would fail, %s\n", input.c_str(), reason.c_str());
        }
    }
    for (const PlannedFile& entry : plan) {
        const std::string input = terminal_safe(input_path(entry.file));
        const std::string output = terminal_safe(entry.file.output);
        switch (entry.action) {
            case PlanAction::Decode:
                ++decode;
                if (entry.renamed) {
                    std::fprintf(out, "%s -> %s (keeping both: %s)\n", input.c_str(),
                                 output.c_str(), terminal_safe(entry.reason).c_str());
                } else {
                    std::fprintf(out, "%s -> %s\n", input.c_str(), output.c_str());
                }
                break;
            case PlanAction::Skip:
                ++skip;
                std::fprintf(out, "%s -> %s: skipped, %s\n", input.c_str(), output.c_str(),
                             terminal_safe(entry.reason).c_str());
                break;
            case PlanAction::Fail:
                ++fail;
                std::fprintf(out, "%s: would fail, %s\n", input.c_str(),
                             terminal_safe(entry.reason).c_str());
                break;
        }
    }
    std::fprintf(out, "Dry run: %d to decode, %d to skip, %d to fail; nothing written.\n", decode,
                 skip, fail);
    std::fflush(out);
    return fail;
}

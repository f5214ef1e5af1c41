#include "app/core/output_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "app/core/folder_check.h"
#include "app/core/output_name.h"
#include "app/core/partial_mark.h"
#include "app/core/system_message.h"

namespace {

// check_output_folder's question is answered yes (the user chose to keep the tree) and its
// message is dropped: the file's reason says it in one line.
class SilentFolderSink : public FolderMessageSink {
public:
    void warn(const std::string&) override {}
    bool ask(const std::string&) override { return true; }
};

std::string folder_reason(int result, const std::string& folder) {
    switch (result) {
        case FOLDER_INVALID:
            return "the folder " + folder + " is invalid";
        case FOLDER_NOT_A_FOLDER:
            return folder + " exists, but is not a folder";
        case FOLDER_UNUSABLE:
            return "the folder " + folder + " cannot be written to";
        default:
            return "the folder " + folder + " cannot be created";
    }
}

// Anything under the name counts, a dangling link or a folder too: none may be written over.
bool taken(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

// The last component of an added folder's path as given; for "." and ".." the name of the
// folder they stand for, and nothing for the root.
std::string root_name(const std::string& root) {
    std::string bare = root;
    while (!bare.empty() && bare.back() == '/') {
        bare.pop_back();
    }
    std::size_t slash = bare.rfind('/');
    std::string name = slash == std::string::npos ? bare : bare.substr(slash + 1);
    if (name == "." || name == "..") {
        std::string real;
        if (char* resolved = realpath(bare.c_str(), nullptr); resolved != nullptr) {
            real = resolved;
            std::free(resolved);
        }
        name = real.substr(real.rfind('/') + 1);
    }
    return name;
}

// Numbers tried before a file is given up as having no free name.
constexpr int MAX_NUMBER = 100000;

std::string parent_folder(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

}  // namespace

std::string case_folded(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string relative_output_path(const BatchFile& file, bool keepFolders) {
    std::string name = output_file_name(file.name);
    if (!keepFolders || file.root.empty() || file.folder.rfind(file.root, 0) != 0) {
        return name;
    }
    std::string first = root_name(file.root);
    std::string below = file.folder.substr(file.root.size());
    return (first.empty() ? std::string() : first + "/") + below + name;
}

std::string planned_output_path(const BatchFile& file, const BatchOptions& options) {
    return options.outputFolder + "/" + relative_output_path(file, options.keepFolders);
}

std::string numbered_output_path(const std::string& path, int n) {
    return numbered_file_path(path, n, longest_file_name(path));
}

std::vector<PlannedFile> plan_outputs(const std::vector<BatchFile>& files,
                                      const BatchOptions& options, bool makeFolders) {
    std::vector<PlannedFile> plan;
    plan.reserve(files.size());
    std::map<std::string, std::string> planned;  // folded output path -> the input that has it
    std::set<std::string> renamedTo;             // folded names the policy gave away in this run
    std::map<std::string, std::string> folders;  // folder -> why it cannot be used ("" if fine)
    SilentFolderSink sink;
    for (const BatchFile& file : files) {
        PlannedFile entry{file, PlanAction::Decode, {}, false};
        std::string output = planned_output_path(file, options);
        std::string key = case_folded(output);
        entry.file.output = output;
        entry.file.existing = options.existing;
        if (auto earlier = planned.find(key); earlier != planned.end()) {
            entry.action = PlanAction::Fail;
            entry.reason = "same WAV file as " + earlier->second;
            plan.push_back(std::move(entry));
            continue;
        }
        planned.emplace(key, input_path(file));

        if (options.keepFolders) {
            std::string folder = parent_folder(output);
            auto known = folders.find(folder);
            if (known == folders.end()) {
                int result = check_output_folder(folder, makeFolders, sink);
                std::string reason = result == FOLDER_OK ? "" : folder_reason(result, folder);
                known = folders.emplace(folder, reason).first;
            }
            if (!known->second.empty()) {
                entry.action = PlanAction::Fail;
                entry.reason = known->second;
                plan.push_back(std::move(entry));
                continue;
            }
        }

        // A partial file a cancelled run left is no finished one: it is decoded again and
        // replaced.
        if (options.existing == ExistingPolicy::Skip && taken(output) && !is_partial_wav(output)) {
            entry.action = PlanAction::Skip;
            entry.reason = "the WAV file exists";
        } else if (options.existing == ExistingPolicy::Rename &&
                   (taken(output) || renamedTo.count(key) != 0)) {
            std::string candidate;
            int error = 0;
            for (int n = 2; error == 0; ++n) {
                candidate = numbered_output_path(output, n);
                std::string folded = case_folded(candidate);
                if (!taken(candidate) && planned.count(folded) == 0 &&
                    renamedTo.count(folded) == 0) {
                    break;
                }
                // A name the system refuses for another reason than being taken would be
                // refused for every number: fail the file rather than search forever.
                struct stat info {};
                error = n >= MAX_NUMBER                                           ? EEXIST
                        : lstat(candidate.c_str(), &info) == 0 || errno == ENOENT ? 0
                                                                                  : errno;
            }
            if (error != 0) {
                entry.action = PlanAction::Fail;
                entry.reason = "no free numbered name for " + output + ": " + errno_message(error);
                plan.push_back(std::move(entry));
                continue;
            }
            renamedTo.insert(case_folded(candidate));
            entry.file.output = candidate;
            entry.renamed = true;
            entry.file.renamed = true;
            entry.reason = output + (taken(output) ? " exists" : " is an earlier file's");
        }
        plan.push_back(std::move(entry));
    }
    return plan;
}

std::vector<BatchFile> files_to_decode(const std::vector<PlannedFile>& plan) {
    std::vector<BatchFile> files;
    for (const PlannedFile& entry : plan) {
        if (entry.action == PlanAction::Decode) {
            files.push_back(entry.file);
        }
    }
    return files;
}

FileOutcome planned_outcome(const PlannedFile& entry) {
    FileOutcome outcome;
    outcome.input = input_path(entry.file);
    if (entry.action == PlanAction::Skip) {
        outcome.end = FileEnd::Skipped;
        outcome.reason = {ReasonKind::Exists};
        outcome.output = entry.file.output;  // the WAV file that is there
    } else if (entry.action == PlanAction::Fail) {
        outcome.end = FileEnd::Failed;
        outcome.reason = {ReasonKind::Text, 0, entry.reason};
    }
    return outcome;
}

BatchResult dry_run_result(const std::vector<PlannedFile>& plan) {
    BatchResult result;
    result.files.reserve(plan.size());
    for (const PlannedFile& entry : plan) {
        FileOutcome outcome = planned_outcome(entry);
        if (entry.action == PlanAction::Decode) {
            outcome.end = FileEnd::Decoded;
            outcome.output = entry.file.output;
            outcome.renamed = entry.renamed;
        }
        result.files.push_back(std::move(outcome));
    }
    return result;
}

void add_plan_outcome(const std::vector<PlannedFile>& plan, BatchResult& result) {
    std::vector<FileOutcome> files;
    files.reserve(plan.size());
    std::size_t run = 0;
    for (const PlannedFile& entry : plan) {
        if (entry.action != PlanAction::Decode) {
            files.push_back(planned_outcome(entry));
        } else if (run < result.files.size()) {
            files.push_back(std::move(result.files[run++]));
        } else {
            // A run that ended early without a word about this file: it never started.
            FileOutcome outcome;
            outcome.input = input_path(entry.file);
            outcome.reason = {ReasonKind::Cancelled};
            files.push_back(std::move(outcome));
        }
    }
    result.files = std::move(files);
}

std::string skipped_report(const std::vector<std::string>& skipped) {
    if (skipped.empty()) {
        return {};
    }
    std::string text =
        skipped.size() == 1
            ? std::string("This file was skipped, its WAV file exists:\n")
            : std::to_string(skipped.size()) + " files were skipped, their WAV files exist:\n";
    for (const std::string& path : skipped) {
        text += "\n" + path;
    }
    return text;
}

DecodeFunction output_decoder(const BatchOptions& options, DecodeFunction decode) {
    if (options.existing != ExistingPolicy::Skip) {
        return decode;
    }
    return [decode = std::move(decode)](const DecodeRequest& request) {
        std::int32_t result = decode ? decode(request) : decode_file(&request);
        if (result == DECODE_ABORTED && request.output_path != nullptr) {
            // The plan found no file under this name, so what is there now is our own.
            unlink(request.output_path);
        }
        return result;
    };
}

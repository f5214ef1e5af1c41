// pelmora-cli: decodes MP3 files and folders of them into WAV files from the command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/file_list.h"
#include "app/core/folder_check.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "engine/player.h"
#include "pelmora_version.h"

namespace {

constexpr int EXIT_SOME_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_CANCELLED = 130;

// The folder check's messages on standard error; its offer to create is always accepted.
class CliFolderSink : public FolderMessageSink {
public:
    void warn(const std::string& text) override {
        std::fprintf(stderr, "pelmora-cli: %s\n", text.c_str());
    }
    bool ask(const std::string&) override { return true; }
};

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The list's refusals, which a command-line user could not see otherwise.
class CliListReporter : public FileListReporter {
public:
    void duplicate(const std::string& path, const std::string& listedPath) override {
        if (same_file(path, listedPath)) {
            return;  // named twice (say, directly and inside its folder): nothing is lost
        }
        std::fprintf(stderr, "pelmora-cli: skipping %s: same file name as %s\n", path.c_str(),
                     listedPath.c_str());
    }
    void fileError(const std::string& path, const std::string& message) override {
        std::fprintf(stderr, "pelmora-cli: %s: %s\n", path.c_str(), message.c_str());
        unreadable.push_back(path);
    }
    std::vector<std::string> unreadable;
};

// An absolute form of the folder the user typed: relative to the current folder, with ".",
// ".." and repeated or trailing slashes resolved as a shell user expects.
std::string absolute_folder(const std::string& text) {
    std::string path = text;
    if (path.empty() || path[0] != '/') {
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) == nullptr) {
            return text;  // left relative: the check will call it invalid
        }
        path = std::string(cwd.data()) + "/" + path;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

// Invalid engine option texts end the program here, with the engine's own message, before
// any file starts.
void validate_engine_options(const CliOptions& options) {
    if (options.window_options) {
        return;
    }
    DecodeRequest request = make_request(options, "", "", 0);
    PlayerState state;
    player_init(&state);
    player_apply_request(&state, &request);
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    std::string message;
    switch (parse_cli(argc, argv, &options, &message)) {
        case CliParse::Help:
            std::fputs(cli_usage(), stdout);
            return 0;
        case CliParse::Version:
            std::printf("pelmora-cli %s\n", PELMORA_VERSION_TEXT);
            return 0;
        case CliParse::Error:
            std::fprintf(stderr, "pelmora-cli: %s\nTry 'pelmora-cli --help'.\n", message.c_str());
            return EXIT_USAGE;
        case CliParse::Run:
            break;
    }
    validate_engine_options(options);

    CliRun run{&options, {}, {}, stderr, false};
    run.batch = options.window_options ? window_options(options) : BatchOptions{};
    run.batch.outputFolder = absolute_folder(options.output_folder);
    CliFolderSink folderSink;
    if (check_output_folder(run.batch.outputFolder, true, folderSink) != FOLDER_OK) {
        return EXIT_USAGE;
    }

    FileList list;
    CliListReporter reporter;
    list.setReporter(&reporter);
    std::vector<std::string> failedBefore;
    for (const std::string& input : options.inputs) {
        if (list.acceptPath(input) != PATH_REFUSED) {
            list.addPath(input);
            continue;
        }
        struct stat info {};
        if (stat(input.c_str(), &info) != 0) {
            std::fprintf(stderr, "pelmora-cli: %s: %s\n", input.c_str(), std::strerror(errno));
            failedBefore.push_back(input);
        } else {
            std::fprintf(stderr, "pelmora-cli: skipping %s: not an .mp3 file or a folder\n",
                         input.c_str());
        }
    }
    failedBefore.insert(failedBefore.end(), reporter.unreadable.begin(), reporter.unreadable.end());
    for (int i = 0; i < list.rowCount(); ++i) {
        run.files.push_back({list.row(i).name, list.row(i).folder});
    }
    if (run.files.empty() && failedBefore.empty()) {
        std::fprintf(stderr, "pelmora-cli: no .mp3 files to decode\n");
        return EXIT_USAGE;
    }

    run.interactive = !options.quiet && !options.verbose && isatty(STDERR_FILENO) != 0;
    // The display and our own lines go to the original standard error, which stays put while
    // the engine's messages are collected.
    int screen = dup(STDERR_FILENO);
    std::FILE* screenFile = screen != -1 ? fdopen(screen, "w") : nullptr;
    if (screenFile != nullptr) {
        run.screen = screenFile;
    }

    install_interrupt_handler();
    CliOutcome outcome = options.jobs > 1 && run.files.size() > 1
                             ? run_in_workers(run, options.jobs)
                             : run_in_process(run);
    outcome.result.failed.insert(outcome.result.failed.begin(), failedBefore.begin(),
                                 failedBefore.end());
    outcome.result.attempted += static_cast<int>(failedBefore.size());

    int status = 0;
    if (outcome.cancelled) {
        std::fprintf(run.screen, "Decoding files aborted by user.\n");
        status = EXIT_CANCELLED;
    } else if (!outcome.result.failed.empty()) {
        BatchEnd end = finish_batch(outcome.result, batch_state(), false);
        std::fprintf(run.screen, "pelmora-cli: %s\n", end.message.c_str());
        status = EXIT_SOME_FAILED;
    } else if (!options.quiet) {
        std::fprintf(run.screen, "%s\n",
                     finish_batch(outcome.result, batch_state(), false).message.c_str());
    }
    std::fflush(run.screen);
    return status;
}

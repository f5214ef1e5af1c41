// pelmora-cli: decodes MP3 files and folders of them into WAV files from the command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/file_list.h"
#include "app/core/folder_check.h"
#include "app/core/folder_text.h"
#include "app/core/output_plan.h"
#include "app/core/run_end.h"
#include "app/core/system_message.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/dry_run.h"
#include "cli/input_list.h"
#include "cli/json_report.h"
#include "cli/standard_streams.h"
#include "cli/terminal_text.h"
#include "engine/request.h"
#include "pelmora_version.h"

namespace {

constexpr int EXIT_SOME_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_SIGNAL_BASE = 128;  // + the signal that stopped the run

// Relative folder texts are taken from the current folder; "~" was the shell's to expand.
std::string absolute_folder(const std::string& text) {
    return resolve_folder_text(text, {current_folder(), {}});
}

// The folder check's messages on standard error; its offer to create is always accepted.
class CliFolderSink : public FolderMessageSink {
public:
    void warn(const std::string& text) override {
        std::fprintf(stderr, "pelmora-cli: %s\n", terminal_safe_lines(text).c_str());
    }
    bool ask(const std::string&) override { return true; }
};

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

FileOutcome refused_file(const std::string& path, const std::string& why) {
    FileOutcome outcome;
    outcome.input = path;
    outcome.end = FileEnd::Refused;
    outcome.reason = {ReasonKind::Text, 0, why};
    return outcome;
}

// The list's refusals, which a command-line user could not see otherwise; each is named
// again at the end, and fails the run.
class CliListReporter : public FileListReporter {
public:
    explicit CliListReporter(bool keepFolders) : keepFolders_(keepFolders) {}
    void duplicate(const std::string& path, const std::string& listedPath) override {
        if (same_file(path, listedPath)) {
            return;  // named twice (say, directly and inside its folder): nothing is lost
        }
        const char* why = keepFolders_ ? "same WAV file as" : "same file name as";
        std::fprintf(stderr, "pelmora-cli: skipping %s: %s %s\n", terminal_safe(path).c_str(), why,
                     terminal_safe(listedPath).c_str());
        refused.push_back(refused_file(path, std::string(why) + " " + listedPath));
    }
    void fileError(const std::string& path, const std::string& message) override {
        // The message may name the path again (a link's target, say): escaped as a whole.
        std::fprintf(stderr, "pelmora-cli: %s: %s\n", terminal_safe(path).c_str(),
                     terminal_safe(message).c_str());
        refused.push_back(refused_file(path, message));
    }
    std::vector<FileOutcome> refused;

private:
    bool keepFolders_;
};

// An input that ended before the run: never decoded, with the reason in words.
FileOutcome ended_before(const std::string& path, FileEnd end, const Reason& reason) {
    FileOutcome outcome;
    outcome.input = path;
    outcome.end = end;
    outcome.reason = reason;
    return outcome;
}

// Invalid engine option texts end the program here, with the engine's own message, before
// any file starts.
void validate_engine_options(const CliOptions& options) {
    if (options.window_options) {
        return;
    }
    DecodeRequest request = make_request(options, "", "");
    check_request_texts(&request);
}

}  // namespace

int main(int argc, char** argv) {
    open_closed_standard_streams();
    // A reader that quits (| head) is seen as EPIPE and stops the run cleanly; a file over the
    // size limit fails with EFBIG and the run goes on. Workers inherit both.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    select_utf8_ctype();
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
            std::fprintf(stderr, "pelmora-cli: %s\nTry 'pelmora-cli --help'.\n",
                         terminal_safe(message).c_str());
            return EXIT_USAGE;
        case CliParse::Run:
            break;
    }
    std::FILE* json = nullptr;
    if (options.json && (json = take_standard_output()) == nullptr) {
        std::fprintf(stderr, "pelmora-cli: --json: cannot set standard output aside: %s\n",
                     errno_message(errno).c_str());
        return EXIT_USAGE;
    }
    validate_engine_options(options);
    if (!options.files_from.empty() &&
        !read_input_list(options.files_from, options.null_separated, &options.inputs, &message)) {
        std::fprintf(stderr, "pelmora-cli: --files-from %s\n", terminal_safe(message).c_str());
        return EXIT_USAGE;
    }

    CliRun run{&options, {}, {}, stderr, false, json};
    run.batch = options.window_options ? window_options(options) : BatchOptions{};
    run.batch.outputFolder = absolute_folder(options.output_folder);
    run.batch.keepFolders = options.keep_folders;
    run.batch.existing = existing_policy(options);
    CliFolderSink folderSink;
    // A dry run creates nothing, not even the output folder.
    if (check_output_folder(run.batch.outputFolder, !options.dry_run, folderSink) != FOLDER_OK) {
        return EXIT_USAGE;
    }

    FileList list;
    CliListReporter reporter(options.keep_folders);
    list.setReporter(&reporter);
    list.setKeepFolders(options.keep_folders);
    // The inputs that end before the run, in the order they were met; then the plan's.
    std::vector<FileOutcome> before;
    for (const std::string& input : options.inputs) {
        if (list.acceptPath(input) != PATH_REFUSED) {
            list.addPath(input);
            continue;
        }
        struct stat info {};
        if (stat(input.c_str(), &info) != 0) {
            int error = errno;
            std::fprintf(stderr, "pelmora-cli: %s: %s\n", terminal_safe(input).c_str(),
                         errno_message(error).c_str());
            before.push_back(ended_before(input, FileEnd::Failed, {ReasonKind::Input, error, {}}));
        } else {
            std::fprintf(stderr, "pelmora-cli: skipping %s: %s\n", terminal_safe(input).c_str(),
                         NOT_MPEG_AUDIO_REASON);
            before.push_back(ended_before(input, FileEnd::Skipped,
                                          {ReasonKind::Text, 0, NOT_MPEG_AUDIO_REASON}));
        }
    }
    for (int i = 0; i < list.rowCount(); ++i) {
        run.files.push_back({list.row(i).name, list.row(i).folder, list.row(i).root});
    }
    const bool anyFailedBefore = std::any_of(before.begin(), before.end(), [](const auto& file) {
        return file.end != FileEnd::Skipped;
    });
    if (run.files.empty() && !anyFailedBefore && reporter.refused.empty()) {
        std::fprintf(stderr, "pelmora-cli: no MPEG audio files to decode\n");
        return EXIT_USAGE;
    }
    before.insert(before.end(), reporter.refused.begin(), reporter.refused.end());
    const std::vector<PlannedFile> plan = plan_outputs(run.files, run.batch, !options.dry_run);
    // The run: static, since the interrupt handler reaches it until the program ends.
    static BatchState state;
    if (options.dry_run) {
        // What the run would report, from the same plan and the same end decision.
        print_dry_run(before, plan, stdout);
        BatchResult would = dry_run_result(plan);
        would.files.insert(would.files.begin(), before.begin(), before.end());
        return finish_batch(would, state, false).failures ? EXIT_SOME_FAILED : 0;
    }
    run.files = files_to_decode(plan);
    for (const FileOutcome& file : before) {
        write_json_line(json, file);
    }
    for (const PlannedFile& entry : plan) {
        if (entry.action != PlanAction::Decode) {
            write_json_line(json, planned_outcome(entry));
        }
    }
    stop_if_reader_gone(json);

    run.interactive = !options.quiet && !options.verbose && isatty(STDERR_FILENO) != 0;
    // The display and our own lines go to the original standard error, which stays put while
    // the engine's messages are collected.
    int screen = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    std::FILE* screenFile = screen != -1 ? fdopen(screen, "w") : nullptr;
    if (screenFile != nullptr) {
        run.screen = screenFile;
    }

    install_interrupt_handler(screenFile != nullptr ? screen : STDERR_FILENO, state);
    begin_batch(state, run.files);
    if (interrupt_count() == 0 && reader_gone()) {
        state.stopCause = READER_GONE;
    }
    if (interrupt_count() > 0 || reader_gone()) {
        request_cancel(state);  // a Ctrl-C that came before the batch began still counts
    }
    const bool pool = options.jobs > 1 && run.files.size() > 1;
    run.sharedProcessors = options.threads == 0 && pool ? file_threads(1) : 0;
    if (options.threads == 0) {
        options.threads =
            file_threads(pool ? std::min(options.jobs, static_cast<int>(run.files.size())) : 1);
    }
    run.batch.threadsPerFile = options.threads;  // the window's requests, --window-options
    // --album: an album's files are written once all of them are measured, the files that
    // --existing skip keeps among them too.
    if (options.album) {
        run.measuredOnly = kept_album_files(plan);
        if (!options.quiet) {
            std::fprintf(run.screen, "Measuring the loudness of %zu files for --album ...\n",
                         run.files.size() + run.measuredOnly.size());
            std::fflush(run.screen);
        }
    }
    BatchResult result = run_files(run, state, pool ? options.jobs : 1);
    // --cue: the sheets are made from the files the run decoded, in the run's order.
    std::vector<CueSource> decoded;
    for (const FileOutcome& file : result.files) {
        if (options.cue && file.end == FileEnd::Decoded) {
            decoded.push_back({file.input, file.output});
        }
    }
    for (const std::string& line : write_cue_sheets(decoded)) {
        std::fprintf(run.screen, "pelmora-cli: %s\n", terminal_safe(line).c_str());
    }
    add_plan_outcome(plan, result);
    // A named file that is not MPEG audio was never part of the run.
    std::erase_if(before, [](const FileOutcome& file) { return file.end == FileEnd::Skipped; });
    result.files.insert(result.files.begin(), before.begin(), before.end());

    const BatchEnd end =
        finish_batch(result, state, false,
                     {[](const std::string& text) { return terminal_safe(text); }, !options.quiet});
    if (end.cancelled) {
        std::fprintf(run.screen, "%s\n", end.message.c_str());
    } else if (end.failures) {
        std::fprintf(run.screen, "pelmora-cli: %s\n", end.message.c_str());
    } else if (!options.quiet) {
        std::fprintf(run.screen, "%s\n", end.message.c_str());
    }
    if (reader_gone() && !end.cancelled) {
        std::fprintf(run.screen, "pelmora-cli: %s; the run was stopped\n", READER_GONE);
    }
    std::fflush(run.screen);
    if (reader_gone() && stop_signal() == 0) {
        return EXIT_SOME_FAILED;
    }
    // A stop by signal says so even when it came too late to stop anything; otherwise every
    // file found must have been decoded.
    if (stop_signal() != 0) {
        return EXIT_SIGNAL_BASE + stop_signal();
    }
    return end.failures ? EXIT_SOME_FAILED : 0;
}

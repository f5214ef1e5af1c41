// pelmora-cli: decodes MP3 files into WAV files from the command line.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/output_name.h"
#include "cli/cli_options.h"
#include "engine/request.h"
#include "info/mpeg_info.h"

namespace {

std::int32_t keep_going(std::int32_t, std::int32_t) {
    return 0;
}

// mkdir -p: creates each missing level. Returns false with errno set.
bool make_folders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') {
            continue;
        }
        std::string level = folder.substr(0, pos);
        if (mkdir(level.c_str(), 0777) == -1 && errno != EEXIST) {
            return false;
        }
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) == -1) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    std::string message;
    switch (parse_cli(argc, argv, &options, &message)) {
        case CliParse::Help:
            std::fputs(cli_usage(), stdout);
            return 0;
        case CliParse::Error:
            std::fprintf(stderr, "pelmora-cli: %s\nTry 'pelmora-cli --help'.\n", message.c_str());
            return 2;
        case CliParse::Run:
            break;
    }

    if (!make_folders(options.output_folder)) {
        std::fprintf(stderr, "pelmora-cli: cannot use output folder %s: %s\n",
                     options.output_folder.c_str(), std::strerror(errno));
        return 2;
    }

    std::vector<std::string> failed;
    for (const std::string& input : options.inputs) {
        std::string output = output_file_path(options.output_folder, input);
        MpegInfo info{};
        scan_frames(&info, input.c_str());
        DecodeRequest request = make_request(options, input.c_str(), output.c_str(),
                                             static_cast<std::uint32_t>(info.durationMs));
        request.progress = keep_going;
        if (decode_file(&request) != DECODE_OK) {
            failed.push_back(input);
        }
    }

    if (failed.empty()) {
        return 0;
    }
    std::string list;
    for (const std::string& name : failed) {
        list += list.empty() ? "" : ", ";
        list += name;
    }
    std::fprintf(stderr, "pelmora-cli: %zu of %zu files failed: %s\n", failed.size(),
                 options.inputs.size(), list.c_str());
    return 1;
}

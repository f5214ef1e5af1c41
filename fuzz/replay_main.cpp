// Replays saved inputs through a harness without the fuzzer, so that fixed findings stay
// fixed:   replay_<target> CORPUS CRASHES
// The corpus must hold inputs: a replay that reads nothing would pass while testing nothing.
// The crashes folder is committed for every target (kept by a .keep file) and may be empty.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

// The files of a folder in name order, leaving out hidden ones such as .keep; no value when
// the folder cannot be read.
std::optional<std::vector<std::string>> list_inputs(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(folder + "/" + entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Runs every input of the folder through the harness. Fails on a folder or file that cannot
// be read, since an unread input would silently replay as an empty one.
bool replay_folder(int report, const std::string& folder, bool must_hold_inputs) {
    std::optional<std::vector<std::string>> names = list_inputs(folder);
    if (!names) {
        dprintf(report, "cannot read the folder %s\n", folder.c_str());
        return false;
    }
    if (must_hold_inputs && names->empty()) {
        dprintf(report, "no inputs in %s\n", folder.c_str());
        return false;
    }
    for (const std::string& name : *names) {
        std::ifstream in(name, std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
        if (!in.is_open() || in.bad()) {
            dprintf(report, "cannot read the input %s\n", name.c_str());
            return false;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    dprintf(report, "replayed %zu inputs from %s\n", names->size(), folder.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The engine's messages for thousands of bad inputs would bury the result; the counts
    // still reach the test log.
    int report = dup(STDOUT_FILENO);
    if (argc != 3) {
        dprintf(report, "usage: %s CORPUS CRASHES\n", argv[0]);
        return 2;
    }
    const std::string corpus = argv[1];
    const std::string crashes = argv[2];
    silence_output();
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    if (!replay_folder(report, corpus, true) || !replay_folder(report, crashes, false)) {
        return 1;
    }
    return 0;
}

// Replays saved inputs through a harness without the fuzzer: every file in the folders
// given on the command line, so that fixed findings stay fixed.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

int main(int argc, char** argv) {
    // The engine's messages for thousands of bad inputs would bury the result; the count
    // still reaches the test log.
    int report = dup(STDOUT_FILENO);
    silence_output();
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(argv[i]); dir != nullptr) {
            while (dirent* entry = readdir(dir)) {
                if (entry->d_name[0] != '.') {
                    names.emplace_back(std::string(argv[i]) + "/" + entry->d_name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::ifstream in(name, std::ios::binary);
            std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    dprintf(report, "replayed %zu inputs\n", replayed);
    return 0;
}

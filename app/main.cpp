#include <cstdio>
#include <cstring>

#include "app/startup.h"
#include "pelmora_version.h"

namespace {

constexpr const char* USAGE = R"(Usage: pelmora [--help | --version] [FILE | FOLDER]...
Opens the Pelmora window, which converts MP3 files into WAV files in batches, with the
files and folders named added to its list. When a window of the same user is already
open, they are added to that window's list and it is brought forward instead.

      --help     show this help
      --version  show the program's name and version

Qt's own options (for example -platform NAME) are accepted as well. pelmora-cli converts
from the command line.
)";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pelmora %s\n", PELMORA_VERSION_TEXT);
            return 0;
        }
    }
    return run_program(argc, argv);
}

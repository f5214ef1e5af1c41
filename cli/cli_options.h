// The command line of pelmora-cli: engine options as texts, the output folder, the inputs.
#pragma once

#include <string>
#include <vector>

#include "engine/request.h"

struct CliOptions {
    // Option texts as typed; empty means not given. They are handed to the engine as they
    // are, so its own parsing and messages apply.
    std::string bits = "16";
    std::string fade_in;
    std::string fade_out;
    std::string attenuation;
    std::string channel;
    std::string gap;
    bool no_dither = false;
    bool normalize = false;
    bool skip_silence = false;
    bool mono = false;
    bool stereo = false;
    bool half_rate = false;
    bool ignore_crc = false;
    bool cross_fade = false;
    bool exact_length = false;
    bool tags = false;  // copy the input's tags into the WAV file
    std::string rate;   // --rate: output sample rate in Hz, empty for the stream's own
    bool cd = false;    // --cd: 44100 Hz, 16-bit, stereo, exact length
    bool cue = false;   // --cue: with --cd, a cue sheet per output folder
    // Loudness: measure, then apply the gain to target (loudness) or store it (replaygain);
    // album: one gain for the files of a folder.
    bool loudness = false;
    bool replaygain = false;
    bool album = false;
    double target_lufs = -18.0;
    double true_peak_dbtp = -1.0;
    std::string output_folder;
    std::vector<std::string> inputs;
    // Front-end behaviour, not engine options.
    bool window_options = false;  // fill requests exactly as the desktop window does
    bool quiet = false;
    bool verbose = false;
    int jobs = 1;     // files decoded at once; 0 on the command line means one per processor
    int threads = 0;  // threads per file; 0 until the run knows how many files go at once
    // The library options: where the WAV files go and where the inputs come from.
    bool keep_folders = false;
    std::string existing = "overwrite";  // overwrite, skip or rename
    std::string files_from;              // a file of input paths; "-" is standard input
    bool null_separated = false;         // its paths end in NUL bytes, not line ends
    bool dry_run = false;
    bool json = false;  // one JSON object a line on standard output per ended file
};

enum class CliParse { Run, Help, Version, Error };

// On Error, message says what was wrong.
CliParse parse_cli(int argc, char** argv, CliOptions* options, std::string* message);

// The request for one input; the texts point into options, which must outlive it.
DecodeRequest make_request(const CliOptions& options, const char* input_path,
                           const char* output_path);

// The window's options from the same command line: --bits 8 chooses 8-bit, --fade-in and
// --fade-out are whole seconds (0 to 60).
struct BatchOptions;
BatchOptions window_options(const CliOptions& options);

// --existing as the batch core's policy.
enum class ExistingPolicy;
ExistingPolicy existing_policy(const CliOptions& options);

// Threads per file when --threads is not given: the processors shared among the files that
// are decoded at once, at least 1.
int file_threads(int files_at_once);

const char* cli_usage();

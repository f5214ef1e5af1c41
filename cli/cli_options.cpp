#include "cli/cli_options.h"

#include <getopt.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "app/core/batch.h"

namespace {

enum OptionId : int {
    OPT_BITS = 256,
    OPT_NO_DITHER,
    OPT_NORMALIZE,
    OPT_SKIP_SILENCE,
    OPT_FADE_IN,
    OPT_FADE_OUT,
    OPT_ATTENUATION,
    OPT_MONO,
    OPT_STEREO,
    OPT_CHANNEL,
    OPT_HALF_RATE,
    OPT_IGNORE_CRC,
    OPT_GAP,
    OPT_CROSS_FADE,
    OPT_HELP,
    OPT_WINDOW_OPTIONS,
    OPT_QUIET,
    OPT_VERBOSE,
    OPT_JOBS,
    OPT_EXACT_LENGTH,
    OPT_KEEP_FOLDERS,
    OPT_EXISTING,
    OPT_FILES_FROM,
    OPT_NULL,
    OPT_DRY_RUN,
    OPT_VERSION,
    OPT_TAGS,
    OPT_JSON,
    OPT_RATE,
    OPT_CD,
    OPT_CUE,
    OPT_THREADS,
    OPT_LOUDNESS,
    OPT_TARGET,
    OPT_TRUE_PEAK,
    OPT_ALBUM,
    OPT_REPLAYGAIN,
};

constexpr option LONG_OPTIONS[] = {
    {"bits", required_argument, nullptr, OPT_BITS},
    {"no-dither", no_argument, nullptr, OPT_NO_DITHER},
    {"normalize", no_argument, nullptr, OPT_NORMALIZE},
    {"skip-silence", no_argument, nullptr, OPT_SKIP_SILENCE},
    {"fade-in", required_argument, nullptr, OPT_FADE_IN},
    {"fade-out", required_argument, nullptr, OPT_FADE_OUT},
    {"attenuation", required_argument, nullptr, OPT_ATTENUATION},
    {"mono", no_argument, nullptr, OPT_MONO},
    {"stereo", no_argument, nullptr, OPT_STEREO},
    {"channel", required_argument, nullptr, OPT_CHANNEL},
    {"half-rate", no_argument, nullptr, OPT_HALF_RATE},
    {"ignore-crc", no_argument, nullptr, OPT_IGNORE_CRC},
    {"gap", required_argument, nullptr, OPT_GAP},
    {"cross-fade", no_argument, nullptr, OPT_CROSS_FADE},
    {"output", required_argument, nullptr, 'o'},
    {"help", no_argument, nullptr, OPT_HELP},
    {"window-options", no_argument, nullptr, OPT_WINDOW_OPTIONS},
    {"quiet", no_argument, nullptr, OPT_QUIET},
    {"verbose", no_argument, nullptr, OPT_VERBOSE},
    {"jobs", required_argument, nullptr, OPT_JOBS},
    {"exact-length", no_argument, nullptr, OPT_EXACT_LENGTH},
    {"keep-folders", no_argument, nullptr, OPT_KEEP_FOLDERS},
    {"existing", required_argument, nullptr, OPT_EXISTING},
    {"files-from", required_argument, nullptr, OPT_FILES_FROM},
    {"null", no_argument, nullptr, OPT_NULL},
    {"dry-run", no_argument, nullptr, OPT_DRY_RUN},
    {"version", no_argument, nullptr, OPT_VERSION},
    {"tags", no_argument, nullptr, OPT_TAGS},
    {"json", no_argument, nullptr, OPT_JSON},
    {"rate", required_argument, nullptr, OPT_RATE},
    {"cd", no_argument, nullptr, OPT_CD},
    {"cue", no_argument, nullptr, OPT_CUE},
    {"threads", required_argument, nullptr, OPT_THREADS},
    {"loudness", no_argument, nullptr, OPT_LOUDNESS},
    {"target", required_argument, nullptr, OPT_TARGET},
    {"true-peak", required_argument, nullptr, OPT_TRUE_PEAK},
    {"album", no_argument, nullptr, OPT_ALBUM},
    {"replaygain", no_argument, nullptr, OPT_REPLAYGAIN},
    {nullptr, 0, nullptr, 0},
};

int online_processors() {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count < 1 ? 1 : static_cast<int>(count);
}

// A whole number from low to high in plain decimal digits: no sign, no blanks, nothing after.
// The engine reads these texts with strtol, which would take "8abc" as 8 and "abc" as 0.
bool whole_number_in(const char* text, long low, long high) {
    if (*text == '\0') {
        return false;
    }
    long value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        value = value * 10 + (*c - '0');
        if (value > high) {
            return false;
        }
    }
    return value >= low;
}

// A decimal number from low to high, optionally followed by unit ("LUFS", "dBTP") in any
// letter case, blanks allowed between.
bool level_in(const char* text, const char* unit, double low, double high, double* out) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text) {
        return false;
    }
    while (*end == ' ') {
        ++end;
    }
    if (strncasecmp(end, unit, std::strlen(unit)) == 0) {
        end += std::strlen(unit);
    }
    if (*end != '\0' || !(value >= low && value <= high)) {
        return false;
    }
    *out = value;
    return true;
}

int whole_seconds(const std::string& text) {
    int seconds = std::atoi(text.c_str());
    return seconds < 0 ? 0 : (seconds > 60 ? 60 : seconds);
}

}  // namespace

int file_threads(int files_at_once) {
    const int share = online_processors() / (files_at_once < 1 ? 1 : files_at_once);
    return share < 1 ? 1 : share;
}

BatchOptions window_options(const CliOptions& options) {
    BatchOptions batch;
    batch.outputFolder = options.output_folder;
    batch.eightBit = options.bits == "8";
    batch.normalize = options.normalize;
    batch.skipSilence = options.skip_silence;
    batch.fadeIn = whole_seconds(options.fade_in);
    batch.fadeOut = whole_seconds(options.fade_out);
    batch.exactLength = options.exact_length;
    batch.copyTags = options.tags;
    if (options.cd) {
        batch.outputFormat = OutputFormat::CdAudio;
    } else if (options.rate == "48000") {
        batch.outputFormat = OutputFormat::Video48k;
    }
    batch.loudness = options.loudness;
    batch.targetLufs = options.target_lufs;
    batch.album = options.album;
    batch.replayGain = options.replaygain;
    return batch;
}

ExistingPolicy existing_policy(const CliOptions& options) {
    if (options.existing == "skip") {
        return ExistingPolicy::Skip;
    }
    return options.existing == "rename" ? ExistingPolicy::Rename : ExistingPolicy::Overwrite;
}

CliParse parse_cli(int argc, char** argv, CliOptions* options, std::string* message) {
    opterr = 0;
    optind = 1;
    for (;;) {
        int index = 0;
        int id = getopt_long(argc, argv, ":o:hqvj:0", LONG_OPTIONS, &index);
        if (id == -1) {
            break;
        }
        switch (id) {
            case OPT_BITS:
                if (!whole_number_in(optarg, 1, 32)) {
                    *message = std::string("--bits takes a whole number from 1 to 32, not \"") +
                               optarg + "\"";
                    return CliParse::Error;
                }
                options->bits = optarg;
                break;
            case OPT_NO_DITHER:
                options->no_dither = true;
                break;
            case OPT_NORMALIZE:
                options->normalize = true;
                break;
            case OPT_SKIP_SILENCE:
                options->skip_silence = true;
                break;
            case OPT_FADE_IN:
                options->fade_in = optarg;
                break;
            case OPT_FADE_OUT:
                options->fade_out = optarg;
                break;
            case OPT_ATTENUATION:
                options->attenuation = optarg;
                break;
            case OPT_MONO:
                options->mono = true;
                break;
            case OPT_STEREO:
                options->stereo = true;
                break;
            case OPT_CHANNEL:
                if (!whole_number_in(optarg, 0, 4)) {
                    *message =
                        std::string("--channel takes a number from 0 to 4, not \"") + optarg + "\"";
                    return CliParse::Error;
                }
                options->channel = optarg;
                break;
            case OPT_HALF_RATE:
                options->half_rate = true;
                break;
            case OPT_IGNORE_CRC:
                options->ignore_crc = true;
                break;
            case OPT_GAP:
                options->gap = optarg;
                break;
            case OPT_CROSS_FADE:
                options->cross_fade = true;
                break;
            case OPT_EXACT_LENGTH:
                options->exact_length = true;
                break;
            case OPT_TAGS:
                options->tags = true;
                break;
            case OPT_RATE:
                if (!whole_number_in(optarg, 8000, 192000)) {
                    *message = std::string(
                                   "--rate takes a whole number of Hz from 8000 to "
                                   "192000, not \"") +
                               optarg + "\"";
                    return CliParse::Error;
                }
                options->rate = optarg;
                break;
            case OPT_CD:
                options->cd = true;
                break;
            case OPT_CUE:
                options->cue = true;
                break;
            case OPT_LOUDNESS:
                options->loudness = true;
                break;
            case OPT_REPLAYGAIN:
                options->replaygain = true;
                break;
            case OPT_ALBUM:
                options->album = true;
                break;
            case OPT_TARGET:
                if (!level_in(optarg, "LUFS", -70, 0, &options->target_lufs)) {
                    *message = std::string("--target takes a loudness from -70 to 0 LUFS, not \"") +
                               optarg + "\"";
                    return CliParse::Error;
                }
                break;
            case OPT_TRUE_PEAK:
                if (!level_in(optarg, "dBTP", -30, 0, &options->true_peak_dbtp)) {
                    *message = std::string("--true-peak takes a level from -30 to 0 dBTP, not \"") +
                               optarg + "\"";
                    return CliParse::Error;
                }
                break;
            case 'o':
                options->output_folder = optarg;
                break;
            case OPT_KEEP_FOLDERS:
                options->keep_folders = true;
                break;
            case OPT_EXISTING: {
                const std::string policy = optarg;
                if (policy != "overwrite" && policy != "skip" && policy != "rename") {
                    *message = "--existing takes overwrite, skip or rename, not \"" + policy + "\"";
                    return CliParse::Error;
                }
                options->existing = policy;
                break;
            }
            case OPT_FILES_FROM:
                options->files_from = optarg;
                break;
            case '0':
            case OPT_NULL:
                options->null_separated = true;
                break;
            case OPT_DRY_RUN:
                options->dry_run = true;
                break;
            case OPT_JSON:
                options->json = true;
                break;
            case OPT_WINDOW_OPTIONS:
                options->window_options = true;
                break;
            case 'q':
            case OPT_QUIET:
                options->quiet = true;
                break;
            case 'v':
            case OPT_VERBOSE:
                options->verbose = true;
                break;
            case 'j':
            case OPT_JOBS: {
                char* end = nullptr;
                long jobs = std::strtol(optarg, &end, 10);
                if (*optarg == '\0' || *end != '\0' || jobs < 0 || jobs > 64) {
                    *message =
                        std::string("--jobs takes a number from 0 to 64, not \"") + optarg + "\"";
                    return CliParse::Error;
                }
                options->jobs = jobs == 0 ? online_processors() : static_cast<int>(jobs);
                break;
            }
            case OPT_THREADS: {
                char* end = nullptr;
                long threads = std::strtol(optarg, &end, 10);
                if (*optarg == '\0' || *end != '\0' || threads < 1 || threads > 64) {
                    *message = std::string("--threads takes a number from 1 to 64, not \"") +
                               optarg + "\"";
                    return CliParse::Error;
                }
                options->threads = static_cast<int>(threads);
                break;
            }
            case 'h':
            case OPT_HELP:
                return CliParse::Help;
            case OPT_VERSION:
                return CliParse::Version;
            case ':':
                *message = std::string("option ") + argv[optind - 1] + " needs a value";
                return CliParse::Error;
            default:
                *message = std::string("unknown option ") + argv[optind - 1];
                return CliParse::Error;
        }
    }
    for (int i = optind; i < argc; ++i) {
        options->inputs.emplace_back(argv[i]);
    }
    if (options->output_folder.empty()) {
        *message = "no output folder given (-o DIR)";
        return CliParse::Error;
    }
    if (options->inputs.empty() && options->files_from.empty()) {
        *message = "no input files given";
        return CliParse::Error;
    }
    if (options->null_separated && options->files_from.empty()) {
        *message = "--null needs --files-from";
        return CliParse::Error;
    }
    if (options->loudness && options->normalize) {
        *message = "--loudness and --normalize exclude each other";
        return CliParse::Error;
    }
    // The normalizer rewrites the samples after the tags were measured: they would lie.
    if (options->replaygain && options->normalize) {
        *message = "--replaygain and --normalize exclude each other";
        return CliParse::Error;
    }
    if (options->album && !options->loudness && !options->replaygain) {
        *message = "--album needs --loudness or --replaygain";
        return CliParse::Error;
    }
    if (options->quiet && options->verbose) {
        *message = "--quiet and --verbose exclude each other";
        return CliParse::Error;
    }
    if (options->cue && !options->cd) {
        *message = "--cue needs --cd";
        return CliParse::Error;
    }
    if (options->cd) {
        // What a burner needs leaves none of these open.
        if (std::atoi(options->bits.c_str()) != 16 ||
            (!options->rate.empty() && options->rate != "44100") || options->mono ||
            !options->channel.empty() || options->half_rate) {
            *message =
                "--cd is 44100 Hz, 16-bit stereo: it takes no --bits, --rate, --mono, "
                "--channel or --half-rate of its own";
            return CliParse::Error;
        }
        options->bits = "16";
        options->rate = "44100";
        options->stereo = true;
        options->exact_length = true;
    }
    return CliParse::Run;
}

DecodeRequest make_request(const CliOptions& options, const char* input_path,
                           const char* output_path) {
    DecodeRequest request;
    decode_request_init(&request);
    request.fade_in_text = options.fade_in.c_str();
    request.fade_out_text = options.fade_out.c_str();
    request.gap_text = options.gap.c_str();
    request.bit_depth_text = options.bits.c_str();
    request.half_rate = options.half_rate ? 1 : 0;
    request.no_dither = options.no_dither ? 1 : 0;
    request.ignore_crc = options.ignore_crc ? 1 : 0;
    request.cross_fade = options.cross_fade ? 1 : 0;
    request.attenuation_text = options.attenuation.c_str();
    request.channel_text = options.channel.c_str();
    request.stereo = options.stereo ? 1 : 0;
    request.mono = options.mono ? 1 : 0;
    request.output_path = output_path;
    request.input_path = input_path;
    request.skip_silence = options.skip_silence ? 1 : 0;
    request.normalize = options.normalize ? 1 : 0;
    request.progress = batch_progress;
    request.exact_length = options.exact_length ? 1 : 0;
    request.copy_tags = options.tags ? 1 : 0;
    request.output_rate =
        options.rate.empty() ? 0 : static_cast<std::uint32_t>(std::atoi(options.rate.c_str()));
    request.threads = options.threads;
    request.loudness = options.loudness ? 1 : 0;
    request.replaygain = options.replaygain ? 1 : 0;
    request.target_lufs = options.target_lufs;
    request.true_peak_dbtp = options.true_peak_dbtp;
    return request;
}

const char* cli_usage() {
    return R"(Usage: pelmora-cli [OPTION]... -o DIR FILE_OR_FOLDER...
Decode MPEG audio files (layers I to III) into DIR/<name>.wav. Files are taken by their
extension: .mp3, .mp2, .mp1 or .mpa, in any letter case. Folders are searched recursively,
in name order with numbers by value (track 2 before track 10), without following links out
of the folder; a second file with a name already listed is skipped with a warning, since
both would write the same WAV file. <name> is the file's name with an extension of up to
three characters replaced by .wav (song.mp3 -> song.wav). DIR is created when missing; an
existing DIR must be a folder you may write in; relative paths are taken from the current
folder. With --keep-folders a file found in a folder FOLDER goes to
DIR/<FOLDER's name>/<path below FOLDER>/<name>.wav, and only files that would write the same
WAV path (in any letter case) are duplicates.

Output:
  -o, --output DIR      folder for the WAV files (required)
      --bits N          bits per sample, a whole number: 1-8 give 8-bit, 9-16 16-bit
                        (default 16), 17-24 24-bit, 25-32 32-bit files
      --no-dither       round samples instead of dithering them
      --normalize       raise each finished 8-bit or 16-bit file to full scale
      --exact-length    as long as the audio that was encoded: drop the encoder's
                        Info/Xing frame and, when it carries a LAME tag, the encoder
                        delay at the start and the padding at the end
      --tags            copy the input's tags into the WAV file: title, artist, album,
                        year, genre, track and comment as a LIST/INFO chunk (UTF-8) and
                        the ID3v2 tag as it is (cover art included) as an "id3 " chunk,
                        both after the audio; a damaged ID3v2 tag is left out
      --keep-folders    mirror each folder given: DIR/<its name>/<path below>/<name>.wav;
                        files given by themselves still go to DIR/<name>.wav
      --existing WHAT   when the WAV file exists: overwrite (default), skip (the
                        input is not decoded; a cancelled file's partial WAV file is
                        removed, so a run can be started again to finish) or rename
                        (keep both: the new one is "<name> (2).wav", the next free number)
CD and video:
      --rate HZ         convert every file to HZ samples per second (8000-192000)
                        with libsoxr (very-high-quality recipe; 20-bit for <= 16 bits),
                        after the channels and effects and before the bits; a file
                        already at HZ is written exactly as without the option
      --cd              what a CD burner needs: 44100 Hz, 16-bit, two channels (a
                        one-channel stream on both) and --exact-length
      --cue             with --cd: a cue sheet <folder name>.cue in each output folder,
                        its CD-audio WAV files as tracks in name order, titles and
                        performers from the tags; warns past 79:57, an 80-minute CD
Loudness (ReplayGain 2.0 / EBU R128, measured with libebur128 on the signal as written):
      --loudness        decode each file once to measure its loudness and once to write
                        it at the gain that brings it to the target, lowered so that its
                        true peak stays at the ceiling (gain -175 to +18 dB, on top of
                        --attenuation); excludes --normalize
      --target LUFS     the loudness to reach (default -18, the ReplayGain 2.0
                        reference; -23 EBU R128 broadcast, -14 common for streaming)
      --true-peak DBTP  the true-peak ceiling (default -1.0 dBTP)
      --album           the files of a folder form an album, measured as one programme:
                        every file gets the album's gain (and ALBUM tags)
      --replaygain      store REPLAYGAIN_TRACK_GAIN/PEAK (with --album also ALBUM_GAIN/PEAK)
                        and REPLAYGAIN_REFERENCE_LOUDNESS as TXXX frames in an "id3 "
                        chunk without changing the samples; with --loudness they describe
                        the written file; excludes --normalize
Channels:
      --mono            mix both channels into one
      --stereo          write two channels, also from a one-channel stream
      --channel N       0 keep the stream's channels, 1 left only, 2 right only,
                        3 mono mix, 4 stereo
Effects:
      --skip-silence    drop leading silence and shorten pauses to 2 seconds
      --fade-in T       fade in over time T (must be positive)
      --fade-out T      fade out over time T before the end (must be positive)
      --attenuation DB  change the level by DB decibels, -175 to +18 ("-6", "-6 dB")
Decoding:
      --half-rate       decode at half the sample rate
      --ignore-crc      do not check frame checksums
      --gap T           gap between files (accepted; the files are decoded separately)
      --cross-fade      cross-fade with the previous file (needs a negative --gap;
                        accepted, but no audio is mixed)
      --window-options  fill the requests exactly as the desktop program does: 16-bit
                        unless --bits 8, --fade-in/--fade-out in whole seconds 0-60 with
                        at least 1 second each, --normalize, --skip-silence,
                        --exact-length and --tags; the other engine options are not used
Inputs:
      --files-from FILE add the paths in FILE (- for standard input), one a line, as
                        if given on the command line after the others; a carriage
                        return ending a line is removed, a line holding a NUL byte
                        refuses the whole list
  -0, --null            the paths in FILE end in NUL bytes (find -print0)
Running:
      --dry-run         print each input with its WAV file, or why it would be
                        skipped, and write nothing
      --json            for each file as it ends, one JSON object a line on standard
                        output (see below); all else goes to standard error
  -j, --jobs N          decode up to N files at once in N worker processes
                        (default 1; 0 means one per processor); above 1 each
                        file's bytes are those of a run of that file alone
      --threads N       decode each file on N threads, with the same bytes as on one
                        (default: the processors divided among the files at once)
  -q, --quiet           show nothing but errors
  -v, --verbose         pass the engine's messages through as they come
  -h, --help            show this help
      --version         show the program's name and version

Times T: seconds, optionally with minutes and hours before colons and a decimal fraction
or a denominator after them, in terms joined by + or -:
  90, 1:30 and 0:01:30 are 90 s; 2.5 is 2.5 s; 1/75 is 1/75 s; 1:30/2 is 45 s; 5+0.5 is 5.5 s.

On a terminal a progress display shows the current file and the whole batch; otherwise one
line per finished file. The engine's messages of a file that failed are shown after it.
Ctrl-C stops the current file (its WAV file is finished with true sizes) and starts no
further file; a second Ctrl-C ends at once.

File names are shown with control characters escaped (\e, \n, \xHH).

Files skipped by --existing skip are named at the end; they are not failures.

With --json each object has "input", "output" (the WAV file's path, or null), "status"
("decoded", "failed", "skipped" or "cancelled"), "reason" (why it failed or was skipped,
or null), and as the engine reported them "frames" (MPEG frames decoded), "duration_ms",
"peak_db" (null for a silent output) and "clipped_samples"; the four are null for an input
the engine never read. With --loudness or --replaygain there are also "loudness_lufs"
(as measured, null when too short or quiet), "true_peak_dbtp", "gain_db" (applied),
"gain_limit" ("target", "true peak", "range" or "not measurable") and, with --album,
"album_gain_db". Inputs refused before the run (missing, duplicate, unreadable) come
first, as "failed"; a named file that is not MPEG audio comes as "skipped", and one whose
WAV file exists with --existing skip as "skipped"; files a cancel kept from starting get
none. Bytes of a path that are not UTF-8 become U+FFFD. A dry run writes no objects; its
list goes to standard error.

Exit status: 0 every file decoded, 1 a file failed or an option text was invalid, 2 bad
usage or output folder (not a folder, not writable), 130 cancelled.
)";
}

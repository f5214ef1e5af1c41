#include "cli/cli_options.h"

#include <getopt.h>

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
    {nullptr, 0, nullptr, 0},
};

}  // namespace

CliParse parse_cli(int argc, char** argv, CliOptions* options, std::string* message) {
    opterr = 0;
    optind = 1;
    for (;;) {
        int index = 0;
        int id = getopt_long(argc, argv, ":o:h", LONG_OPTIONS, &index);
        if (id == -1) {
            break;
        }
        switch (id) {
            case OPT_BITS:
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
            case 'o':
                options->output_folder = optarg;
                break;
            case 'h':
            case OPT_HELP:
                return CliParse::Help;
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
    if (options->inputs.empty()) {
        *message = "no input files given";
        return CliParse::Error;
    }
    return CliParse::Run;
}

DecodeRequest make_request(const CliOptions& options, const char* input_path,
                           const char* output_path, std::uint32_t play_length_ms) {
    DecodeRequest request;
    decode_request_init(&request);
    request.play_length_ms = play_length_ms;
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
    return request;
}

const char* cli_usage() {
    return R"(Usage: pelmora-cli [OPTION]... -o DIR FILE...
Decode each MPEG audio FILE (MP3, layers I to III) into DIR/<name>.wav, one after another.
<name> is the file's name with an extension of up to three characters replaced by .wav
(song.mp3 -> song.wav). DIR is created when missing.

Output:
  -o, --output DIR      folder for the WAV files (required)
      --bits N          bits per sample: 1-8 give 8-bit, 9-16 16-bit (default 16),
                        17-24 24-bit, 25-32 32-bit files
      --no-dither       round samples instead of dithering them
      --normalize       raise each finished 8-bit or 16-bit file to full scale
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
  -h, --help            show this help

Times T: seconds, optionally with minutes and hours before colons and a decimal fraction
or a denominator after them, in terms joined by + or -:
  90, 1:30 and 0:01:30 are 90 s; 2.5 is 2.5 s; 1/75 is 1/75 s; 1:30/2 is 45 s; 5+0.5 is 5.5 s.

Engine messages go to standard error, normalization results to standard output.
Exit status: 0 when every file was decoded, 1 when a file failed or an option text was
invalid, 2 on a usage error.
)";
}

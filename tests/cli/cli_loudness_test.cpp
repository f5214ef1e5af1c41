// pelmora-cli --loudness, --album and --replaygain checked by other programs: test signals
// made at run time with sox and lame, the outputs measured with ffmpeg's ebur128 filter, the
// ReplayGain values compared with loudgain's scan of the same MP3 files and read back with
// exiftool. A test whose tool is missing is skipped with the package to install.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The first tool of tools that is missing, with its package; empty when all are there.
std::string missing(const std::vector<std::pair<std::string, std::string>>& tools) {
    for (const auto& [tool, package] : tools) {
        if (!installed(tool)) {
            return tool + " is not installed (Debian package " + package + ")";
        }
    }
    return {};
}

// An MP3 file of 8 seconds from sox's synth effect at level dBFS, encoded by lame at 192 kbit/s.
void make_mp3(const TempDir& dir, const std::string& path, const std::string& synth, int rate,
              int channels, double level) {
    const std::string wav = path + ".src.wav";
    std::ostringstream command;
    command << "sox -n -r " << rate << " -c " << channels << " -b 16 " << shell_quote(wav)
            << " synth 8 " << synth << " norm " << level << " && lame --quiet -b 192 "
            << shell_quote(wav) << " " << shell_quote(path) << " && rm " << shell_quote(wav);
    RunResult made = run_shell(command.str(), dir);
    ASSERT_EQ(made.status, 0) << made.err;
}

struct Meter {
    double integrated = NAN;  // LUFS
    double true_peak = NAN;   // dBTP
};

// ffmpeg's ebur128 filter as a meter: the summary's integrated loudness and true peak.
Meter measure(const TempDir& dir, const std::string& wav) {
    RunResult run = run_shell(
        "ffmpeg -hide_banner -nostats -i " + shell_quote(wav) + " -af ebur128=peak=true -f null -",
        dir);
    Meter meter;
    const std::size_t summary = run.err.rfind("Summary:");
    std::istringstream lines(summary == std::string::npos ? "" : run.err.substr(summary));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        std::string value;
        words >> key >> value;
        if (key == "I:") {
            meter.integrated = std::strtod(value.c_str(), nullptr);
        } else if (key == "Peak:") {
            meter.true_peak = std::strtod(value.c_str(), nullptr);
        }
    }
    return meter;
}

// --json's objects by input path.
std::map<std::string, nlohmann::json> objects(const std::string& out) {
    std::map<std::string, nlohmann::json> byInput;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        nlohmann::json object = nlohmann::json::parse(line);
        byInput[object["input"].get<std::string>()] = object;
    }
    return byInput;
}

// The one gain g that best maps the plain decode's samples onto the loudness decode's (least
// squares), in dB.
double sample_gain_db(const std::string& plain, const std::string& loud) {
    const std::vector<std::int16_t> x = samples_s16(parse_wav_file(plain));
    const std::vector<std::int16_t> y = samples_s16(parse_wav_file(loud));
    EXPECT_EQ(x.size(), y.size());
    double xy = 0;
    double xx = 0;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        xy += static_cast<double>(x[i]) * y[i];
        xx += static_cast<double>(x[i]) * x[i];
    }
    return 20.0 * std::log10(xy / xx);
}

TEST(CliLoudness, EveryOutputReachesTheTargetOrItsTruePeakCeiling) {
    const std::string why = missing({{"sox", "sox"}, {"lame", "lame"}, {"ffmpeg", "ffmpeg"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    struct Signal {
        std::string name;
        std::string synth;
        int rate;
        int channels;
        double level;
    };
    const std::vector<Signal> signals = {
        {"tone30", "sine 997", 44100, 2, -30},
        {"noise20", "pinknoise", 48000, 1, -20},
        {"mix10", "sine 220 sine 331 remix 1,2 1,2 tremolo 3 40", 32000, 2, -10},
        {"mono_tone10", "sine 440", 44100, 1, -10},
        {"square", "square 110", 44100, 2, -0.3},
    };
    std::vector<std::string> args = {"--loudness", "--json"};
    for (const Signal& signal : signals) {
        make_mp3(dir, dir.file(signal.name + ".mp3"), signal.synth, signal.rate, signal.channels,
                 signal.level);
        args.push_back(dir.file(signal.name + ".mp3"));
    }
    // The default target and ceiling, a lower target, and a ceiling low enough to bind.
    for (const auto& [target, ceiling] :
         std::vector<std::pair<double, double>>{{-18.0, -1.0}, {-23.0, -1.0}, {-18.0, -20.0}}) {
        const std::string out = dir.file("out" + std::to_string(static_cast<int>(target)) +
                                         std::to_string(static_cast<int>(ceiling)));
        std::vector<std::string> run_args = {
            "--target", std::to_string(target), "--true-peak", std::to_string(ceiling), "-o", out};
        run_args.insert(run_args.end(), args.begin(), args.end());
        RunResult run = run_cli(run_args, dir);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto ended = objects(run.out);
        ASSERT_EQ(ended.size(), signals.size());
        for (const Signal& signal : signals) {
            const nlohmann::json& object = ended.at(dir.file(signal.name + ".mp3"));
            const Meter meter = measure(dir, object["output"].get<std::string>());
            const std::string limit = object["gain_limit"].get<std::string>();
            SCOPED_TRACE(signal.name + " at " + std::to_string(target) + " LUFS, " +
                         std::to_string(ceiling) + " dBTP, limit " + limit);
            ASSERT_FALSE(std::isnan(meter.integrated)) << "ffmpeg gave no loudness";
            if (limit == "target") {
                EXPECT_NEAR(meter.integrated, target, 0.2);
            } else {
                ASSERT_EQ(limit, "true peak");
                EXPECT_LT(meter.integrated, target);
            }
            EXPECT_LE(meter.true_peak, ceiling + 0.1);
            // Our own figures agree with the meter's: input loudness plus gain.
            EXPECT_NEAR(object["loudness_lufs"].get<double>() + object["gain_db"].get<double>(),
                        meter.integrated, 0.2);
        }
        // A square wave near full scale has its true peak 1 dB or so above its loudness.
        EXPECT_EQ(ended.at(dir.file("square.mp3"))["gain_limit"],
                  ceiling < target ? "true peak" : "target");
    }
}

TEST(CliLoudness, AlbumTracksMoveByOneGainAndTheAlbumReachesTheTarget) {
    const std::string why = missing({{"sox", "sox"}, {"lame", "lame"}, {"ffmpeg", "ffmpeg"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    RunResult made = run_shell(
        "mkdir " + shell_quote(dir.file("album")) + " " + shell_quote(dir.file("single")), dir);
    ASSERT_EQ(made.status, 0);
    make_mp3(dir, dir.file("album/1 quiet.mp3"), "sine 440", 44100, 2, -30);
    make_mp3(dir, dir.file("album/2 loud.mp3"), "sine 220 sine 330 remix 1,2 1,2", 44100, 2, -12);
    make_mp3(dir, dir.file("single/other.mp3"), "pinknoise", 44100, 2, -25);
    const std::vector<std::string> inputs = {dir.file("album"), dir.file("single")};
    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const std::string out = dir.file(std::string("loud") + jobs);
        std::vector<std::string> args = {"--no-dither",
                                         "--keep-folders",
                                         "--loudness",
                                         "--album",
                                         "--json",
                                         "--jobs",
                                         jobs,
                                         "-o",
                                         out};
        args.insert(args.end(), inputs.begin(), inputs.end());
        RunResult loud = run_cli(args, dir);
        ASSERT_EQ(loud.status, 0) << loud.err;
        std::vector<std::string> plainArgs = {"--no-dither", "--keep-folders", "-o",
                                              dir.file("plain")};
        plainArgs.insert(plainArgs.end(), inputs.begin(), inputs.end());
        ASSERT_EQ(run_cli(plainArgs, dir).status, 0);

        const auto ended = objects(loud.out);
        ASSERT_EQ(ended.size(), 3u);
        const double quiet =
            sample_gain_db(dir.file("plain/album/1 quiet.wav"), out + "/album/1 quiet.wav");
        const double louder =
            sample_gain_db(dir.file("plain/album/2 loud.wav"), out + "/album/2 loud.wav");
        EXPECT_NEAR(quiet, louder, 0.01);
        EXPECT_NEAR(quiet, ended.at(dir.file("album/1 quiet.mp3"))["album_gain_db"].get<double>(),
                    0.01);
        // The album played through, measured by ffmpeg, is on target; its quiet track stays
        // quieter than the loud one by what the artist made.
        const std::string joined = dir.file(std::string("joined") + jobs + ".wav");
        ASSERT_EQ(run_shell("sox " + shell_quote(out + "/album/1 quiet.wav") + " " +
                                shell_quote(out + "/album/2 loud.wav") + " " + shell_quote(joined),
                            dir)
                      .status,
                  0);
        EXPECT_NEAR(measure(dir, joined).integrated, -18.0, 0.2);
        EXPECT_LT(measure(dir, out + "/album/1 quiet.wav").integrated, -25.0);
        // A folder of its own is an album of one: on target by itself.
        EXPECT_NEAR(measure(dir, out + "/single/other.wav").integrated, -18.0, 0.2);
    }
}

TEST(CliLoudness, AnAlbumKeepsItsGainWhenSomeOfItsFilesAreKeptBySkip) {
    const std::string why = missing({{"sox", "sox"}, {"lame", "lame"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    ASSERT_EQ(run_shell("mkdir " + shell_quote(dir.file("album")), dir).status, 0);
    make_mp3(dir, dir.file("album/1.mp3"), "sine 440", 44100, 2, -30);
    make_mp3(dir, dir.file("album/2.mp3"), "sine 220 sine 330 remix 1,2 1,2", 44100, 2, -10);
    make_mp3(dir, dir.file("album/3.mp3"), "pinknoise", 44100, 2, -24);
    // Two at once: every file starts from the dither's first state, so a file written again
    // has the same bytes when it gets the same gain.
    const std::vector<std::string> args = {"--loudness",    "--album",        "--existing", "skip",
                                           "--json",        "--jobs",         "2",          "-o",
                                           dir.file("out"), dir.file("album")};
    RunResult whole = run_cli(args, dir);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const double albumGain =
        objects(whole.out).at(dir.file("album/2.mp3"))["album_gain_db"].get<double>();
    const std::vector<unsigned char> written = read_file_bytes(dir.file("out/2.wav"));
    ASSERT_EQ(run_shell("rm " + shell_quote(dir.file("out/2.wav")), dir).status, 0);

    RunResult resumed = run_cli(args, dir);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("Measuring the loudness of 3 files"), std::string::npos)
        << resumed.err;
    const auto ended = objects(resumed.out);
    EXPECT_EQ(ended.at(dir.file("album/1.mp3"))["status"], "skipped");
    EXPECT_EQ(ended.at(dir.file("album/2.mp3"))["status"], "decoded");
    // The album's gain, not that of the loud file alone.
    EXPECT_NEAR(ended.at(dir.file("album/2.mp3"))["album_gain_db"].get<double>(), albumGain, 0.001);
    EXPECT_EQ(read_file_bytes(dir.file("out/2.wav")), written);
}

// exiftool -a lists each TXXX frame as "UserDefinedText: (DESCRIPTION) value".
std::map<std::string, std::string> replaygain_frames(const TempDir& dir, const std::string& wav) {
    RunResult run = run_shell("exiftool -a -s -UserDefinedText " + shell_quote(wav), dir);
    std::map<std::string, std::string> frames;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t open = line.find('(');
        const std::size_t close = line.find(") ", open);
        if (open != std::string::npos && close != std::string::npos) {
            frames[line.substr(open + 1, close - open - 1)] = line.substr(close + 2);
        }
    }
    return frames;
}

TEST(CliLoudness, ReplayGainTagsAgreeWithLoudgainAndLeaveTheSamplesAlone) {
    const std::string why = missing({{"sox", "sox"},
                                     {"lame", "lame"},
                                     {"loudgain", "loudgain"},
                                     {"exiftool", "libimage-exiftool-perl"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    ASSERT_EQ(run_shell("mkdir " + shell_quote(dir.file("album")), dir).status, 0);
    const std::vector<std::string> names = {"a", "b"};
    make_mp3(dir, dir.file("album/a.mp3"), "sine 500 pinknoise remix 1,2 1,2", 48000, 2, -14);
    make_mp3(dir, dir.file("album/b.mp3"), "sine 700", 48000, 2, -24);

    // loudgain in scan-only mode: one tab-separated line per file and one for the album.
    RunResult scan = run_shell("loudgain -q -a -k -O " + shell_quote(dir.file("album/a.mp3")) +
                                   " " + shell_quote(dir.file("album/b.mp3")),
                               dir);
    ASSERT_EQ(scan.status, 0) << scan.err;
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(scan.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, '\t')) {
            cells.push_back(cell);
        }
        if (cells.size() >= 9) {
            rows[cells[0]] = cells;
        }
    }
    ASSERT_TRUE(rows.count("Album") != 0) << scan.out;
    const std::size_t gain = 8;  // the "Gain" column, "-6.52 dB"
    const std::size_t peak = 3;  // "True_Peak", linear

    for (const char* jobs : {"1", "2"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const std::string out = dir.file(std::string("rg") + jobs);
        RunResult tagged =
            run_cli({"--replaygain", "--album", "--jobs", jobs, "-o", out, dir.file("album")}, dir);
        ASSERT_EQ(tagged.status, 0) << tagged.err;
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            auto frames = replaygain_frames(dir, out + "/" + name + ".wav");
            const auto& row = rows.at(dir.file("album/" + name + ".mp3"));
            ASSERT_EQ(frames.count("REPLAYGAIN_TRACK_GAIN"), 1u);
            EXPECT_NEAR(std::strtod(frames["REPLAYGAIN_TRACK_GAIN"].c_str(), nullptr),
                        std::strtod(row[gain].c_str(), nullptr), 0.1);
            EXPECT_NEAR(std::strtod(frames["REPLAYGAIN_ALBUM_GAIN"].c_str(), nullptr),
                        std::strtod(rows["Album"][gain].c_str(), nullptr), 0.1);
            EXPECT_NEAR(
                20 * std::log10(std::strtod(frames["REPLAYGAIN_TRACK_PEAK"].c_str(), nullptr)),
                20 * std::log10(std::strtod(row[peak].c_str(), nullptr)), 0.1);
            EXPECT_NEAR(
                20 * std::log10(std::strtod(frames["REPLAYGAIN_ALBUM_PEAK"].c_str(), nullptr)),
                20 * std::log10(std::strtod(rows["Album"][peak].c_str(), nullptr)), 0.1);
            EXPECT_EQ(frames["REPLAYGAIN_REFERENCE_LOUDNESS"], "-18.00 LUFS");
            EXPECT_NE(frames["REPLAYGAIN_TRACK_GAIN"].find(" dB"), std::string::npos);
        }
    }

    // Tags only: the samples, dither included, are those of a plain run in the same order, so
    // the measuring decodes left the dither sequence where it was.
    ASSERT_EQ(run_cli({"-o", dir.file("plain"), dir.file("album")}, dir).status, 0);
    for (const std::string& name : names) {
        const ParsedWav plain = parse_wav_file(dir.file("plain/" + name + ".wav"));
        const ParsedWav tagged = parse_wav_file(dir.file("rg1/" + name + ".wav"));
        ASSERT_TRUE(plain.ok && tagged.ok) << plain.error << tagged.error;
        EXPECT_TRUE(plain.data == tagged.data) << name;
        EXPECT_EQ(tagged.data_offset, 44u);
    }

    // With --loudness the tags describe the written file: about 0 dB left to do.
    const std::string out = dir.file("both");
    ASSERT_EQ(run_cli({"--loudness", "--replaygain", "-o", out, dir.file("album")}, dir).status, 0);
    auto frames = replaygain_frames(dir, out + "/b.wav");
    EXPECT_NEAR(std::strtod(frames["REPLAYGAIN_TRACK_GAIN"].c_str(), nullptr), 0.0, 0.01);
    EXPECT_EQ(frames.count("REPLAYGAIN_ALBUM_GAIN"), 0u) << "no album without --album";
}

TEST(CliLoudness, ReplayGainFramesJoinACopiedTagAndReplaceOldOnes) {
    const std::string why = missing({{"exiftool", "libimage-exiftool-perl"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    // An ID3v2.4 tag that already holds a track gain, with padding after its frames.
    const std::string oldGain("REPLAYGAIN_TRACK_GAIN\0+9.99 dB", 30);
    write_file_bytes(dir.file("old.mp3"),
                     concat(id3v24_utf8_tag({{"TIT2", "Old Title"}, {"TXXX", oldGain}}, 64),
                            read_file_bytes(fixture_path("quiet.mp3"))));
    RunResult run = run_cli({"--tags", "--replaygain", "-o", dir.file("out"),
                             fixture_path("tagged.mp3"), dir.file("old.mp3")},
                            dir);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"tagged", "old"}) {
        const std::string wav = dir.file(std::string("out/") + name + ".wav");
        RunResult read =
            run_shell("exiftool -a -s -Title -UserDefinedText " + shell_quote(wav), dir);
        SCOPED_TRACE(read.out);
        EXPECT_NE(read.out.find("Title"), std::string::npos);
        std::size_t gains = 0;
        for (std::size_t at = read.out.find("(REPLAYGAIN_TRACK_GAIN)"); at != std::string::npos;
             at = read.out.find("(REPLAYGAIN_TRACK_GAIN)", at + 1)) {
            ++gains;
        }
        EXPECT_EQ(gains, 1u);
        EXPECT_EQ(read.out.find("+9.99 dB"), std::string::npos);
        EXPECT_EQ(replaygain_frames(dir, wav).count("REPLAYGAIN_TRACK_PEAK"), 1u);
    }
    EXPECT_NE(run_shell("exiftool -s -Title " + shell_quote(dir.file("out/old.wav")), dir)
                  .out.find("Old Title"),
              std::string::npos);
}

TEST(CliLoudness, ExclusiveOrIncompleteOptionsAreUsageErrors) {
    TempDir dir;
    const std::string input = fixture_path("tagged.mp3");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--loudness", "--normalize"}, "--loudness and --normalize exclude each other"},
        {{"--replaygain", "--normalize"}, "--replaygain and --normalize exclude each other"},
        {{"--album"}, "--album needs --loudness or --replaygain"},
        {{"--loudness", "--target", "-80"}, "--target takes a loudness from -70 to 0 LUFS"},
        {{"--loudness", "--true-peak", "loud"}, "--true-peak takes a level from -30 to 0 dBTP"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", dir.file("out"), input});
        RunResult run = run_cli(args, dir);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(file_exists(dir.file("out/tagged.wav")));
    // Units are welcome.
    EXPECT_EQ(run_cli({"--loudness", "--target", "-23 LUFS", "--true-peak", "-2 dBTP", "-o",
                       dir.file("out"), input},
                      dir)
                  .status,
              0);
}

TEST(CliLoudness, SilenceKeepsGainZeroWithAMessage) {
    const std::string why = missing({{"sox", "sox"}, {"lame", "lame"}});
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    RunResult made = run_shell("sox -n -r 44100 -c 2 " + shell_quote(dir.file("s.wav")) +
                                   " trim 0 3 && lame --quiet " + shell_quote(dir.file("s.wav")) +
                                   " " + shell_quote(dir.file("silent.mp3")),
                               dir);
    ASSERT_EQ(made.status, 0) << made.err;
    RunResult run = run_cli(
        {"--loudness", "--json", "--verbose", "-o", dir.file("out"), dir.file("silent.mp3")}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json object = objects(run.out).begin()->second;
    EXPECT_TRUE(object["loudness_lufs"].is_null());
    EXPECT_EQ(object["gain_db"].get<double>(), 0.0);
    EXPECT_EQ(object["gain_limit"], "not measurable");
    EXPECT_NE(run.err.find("too short or too quiet to measure the loudness; gain 0 dB"),
              std::string::npos)
        << run.err;
}

TEST(CliLoudness, TheMeasuringDecodeRepeatsNoEngineLine) {
    // The tag's lines and the dual-channel note come from the decode; with --loudness the file
    // is decoded twice and still says each once, as a plain run says it.
    TempDir dir;
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--loudness"},
          std::vector<std::string>{"--replaygain", "--jobs", "2"}}) {
        std::vector<std::string> args = extra;
        args.insert(args.end(), {"--verbose", "-o", dir.file("out"), fixture_path("tagged.mp3"),
                                 fixture_path("dual_channel.mp3")});
        RunResult run = run_cli(args, dir);
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string line :
             {"Title: Seven Bridges", "no channel selected for dual channel; using first"}) {
            const std::size_t first = run.err.find(line);
            ASSERT_NE(first, std::string::npos) << run.err;
            EXPECT_EQ(run.err.find(line, first + 1), std::string::npos) << run.err;
        }
        ASSERT_EQ(run_shell("rm -r " + shell_quote(dir.file("out")), dir).status, 0);
    }
}

}  // namespace

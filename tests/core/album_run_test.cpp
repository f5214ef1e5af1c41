// A run with albums: the measuring and writing of files in one pool run, an album written as
// soon as it is measured while the next one is measured, and the bytes of measuring every
// album first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/core/album_loudness.h"
#include "dsp/pcm.h"
#include "tests/core/run_lists.h"
#include "tests/support/temp_dir.h"

namespace {

// One line, appended whole: worker processes write to the same log.
void log_line(const std::string& log, const std::string& line) {
    const int fd = open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_NE(fd, -1);
    const std::string text = line + "\n";
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
}

std::vector<std::string> log_lines(const std::string& log) {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string base_name(const char* path) {
    return std::filesystem::path(path).stem().string();
}

std::size_t line_of(const std::vector<std::string>& lines, const std::string& prefix) {
    const auto found = std::find_if(lines.begin(), lines.end(), [&prefix](const std::string& l) {
        return l.rfind(prefix, 0) == 0;
    });
    return static_cast<std::size_t>(found - lines.begin());
}

struct Heard : RunObserver {
    void started(std::size_t index) override { startedFiles.push_back(index); }
    void measuring(std::size_t index) override {
        measuredFiles.push_back(index);
        // A file's measuring is told before its writing starts.
        EXPECT_EQ(std::count(startedFiles.begin(), startedFiles.end(), index), 0);
    }
    void measured(std::size_t index) override {
        // Its end is told once, after its start and before its writing starts.
        EXPECT_EQ(std::count(measuredFiles.begin(), measuredFiles.end(), index), 1);
        EXPECT_EQ(std::count(doneMeasuring.begin(), doneMeasuring.end(), index), 0);
        EXPECT_EQ(std::count(startedFiles.begin(), startedFiles.end(), index), 0);
        doneMeasuring.push_back(index);
    }
    void ended(std::size_t index, const FileOutcome& outcome) override {
        endedFiles.push_back(index);
        ends.push_back(outcome.end);
    }
    std::vector<std::size_t> startedFiles;
    std::vector<std::size_t> measuredFiles;
    std::vector<std::size_t> doneMeasuring;
    std::vector<std::size_t> endedFiles;
    std::vector<FileEnd> ends;
};

TEST(AlbumRun, AnAlbumIsWrittenWhileTheNextIsMeasuredWithItsWholeFigures) {
    // Album A (a1, a2) and album B (b1, b2). The measuring of b2, the last one, waits until a
    // file has started writing: had every album to be measured first, no file would, and
    // its measuring would end only at the wait's limit.
    for (int workers : {0, 2}) {
        SCOPED_TRACE(workers);
        TempDir out;
        const std::string log = out.file("log");
        auto measure = [&log](const DecodeRequest& request) -> std::int32_t {
            const std::string name = base_name(request.input_path);
            log_line(log, "m+ " + name);
            if (name == "b2") {
                const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                auto written = [&log] {
                    const std::vector<std::string> lines = log_lines(log);
                    return line_of(lines, "w+") < lines.size();
                };
                while (!written() && std::chrono::steady_clock::now() < limit) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
            request.stats->loudness.measured = 1;
            request.stats->loudness.integrated_lufs = -20.0;
            request.stats->loudness.true_peak = 0.5;
            request.stats->loudness.blocks[500] = 10;
            log_line(log, "m- " + name);
            return DECODE_OK;
        };
        // Writes the blocks its album's figures hold: 20 once both files are in.
        auto write = [&log](const DecodeRequest& request) -> std::int32_t {
            const std::string name = base_name(request.input_path);
            const std::uint32_t blocks =
                request.album_figures != nullptr ? request.album_figures->blocks[500] : 0;
            log_line(log, "w+ " + name + " " + std::to_string(blocks));
            log_line(log, "w- " + name);
            return DECODE_OK;
        };
        const std::vector<BatchFile> files = {
            {"a1.mp3", "/m/A/"}, {"a2.mp3", "/m/A/"}, {"b1.mp3", "/m/B/"}, {"b2.mp3", "/m/B/"}};
        BatchOptions options;
        options.outputFolder = out.path();
        options.loudness = true;
        options.album = true;
        PoolSettings settings{std::max(workers, 1), true};
        settings.inProcess = workers == 0;
        Heard heard;
        begin_batch(test_run(), {});
        const BatchResult result = run_album_files(test_run(), files, {}, window_requests(options),
                                                   settings, heard, write, measure);

        // The observer hears of each file's measuring, then of its writing, with one end per
        // file in its own index.
        ASSERT_EQ(result.files.size(), 4u);
        EXPECT_EQ(result.files[3].input, "/m/B/b2.mp3");
        std::vector<std::size_t> measured = heard.measuredFiles;
        std::sort(measured.begin(), measured.end());
        EXPECT_EQ(measured, (std::vector<std::size_t>{0, 1, 2, 3}));
        std::sort(heard.doneMeasuring.begin(), heard.doneMeasuring.end());
        EXPECT_EQ(heard.doneMeasuring, measured);
        EXPECT_EQ(heard.startedFiles, (std::vector<std::size_t>{0, 1, 2, 3}));
        std::vector<std::size_t> ended = heard.endedFiles;
        std::sort(ended.begin(), ended.end());
        EXPECT_EQ(ended, (std::vector<std::size_t>{0, 1, 2, 3}));
        EXPECT_EQ(std::count(heard.ends.begin(), heard.ends.end(), FileEnd::Decoded), 4);

        const std::vector<std::string> lines = log_lines(log);
        ASSERT_EQ(lines.size(), 16u);
        // A file of A started writing (whichever worker was quicker to begin it) before B's
        // last measuring ended.
        const std::size_t firstWrite = line_of(lines, "w+");
        ASSERT_LT(firstWrite, lines.size());
        EXPECT_EQ(lines[firstWrite].substr(0, 4), "w+ a");
        EXPECT_LT(firstWrite, line_of(lines, "m- b2"));
        for (const std::string name : {"a1", "a2", "b1", "b2"}) {
            const std::string album = name.substr(0, 1);
            EXPECT_GT(line_of(lines, "w+ " + name), line_of(lines, "m- " + album + "1"));
            EXPECT_GT(line_of(lines, "w+ " + name), line_of(lines, "m- " + album + "2"));
            EXPECT_EQ(lines[line_of(lines, "w+ " + name)], "w+ " + name + " 20");
        }
        if (workers == 0) {
            // One at a time: measure A, write A, measure B, write B.
            EXPECT_EQ(lines, (std::vector<std::string>{"m+ a1", "m- a1", "m+ a2", "m- a2",
                                                       "w+ a1 20", "w- a1", "w+ a2 20", "w- a2",
                                                       "m+ b1", "m- b1", "m+ b2", "m- b2",
                                                       "w+ b1 20", "w- b1", "w+ b2 20", "w- b2"}));
        }
    }
}

TEST(AlbumRun, AFileKeptCountsTowardsItsAlbumAndACancelLeavesTheRestNotStarted) {
    TempDir out;
    const std::string log = out.file("log");
    auto measure = [&log](const DecodeRequest& request) -> std::int32_t {
        log_line(log, "m " + base_name(request.input_path));
        request.stats->loudness.measured = 1;
        request.stats->loudness.blocks[500] = 10;
        return DECODE_OK;
    };
    auto write = [&log](const DecodeRequest& request) -> std::int32_t {
        log_line(log, "w " + base_name(request.input_path) + " " +
                          std::to_string(request.album_figures->blocks[500]));
        return DECODE_OK;
    };
    BatchOptions options;
    options.outputFolder = out.path();
    options.loudness = true;
    options.album = true;
    PoolSettings settings{1, true};
    settings.inProcess = true;
    Heard heard;
    begin_batch(test_run(), {});
    const BatchResult result =
        run_album_files(test_run(), {{"a2.mp3", "/m/A/"}}, {{"a1.mp3", "/m/A/"}},
                        window_requests(options), settings, heard, write, measure);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].end, FileEnd::Decoded);
    EXPECT_EQ(log_lines(log), (std::vector<std::string>{"m a2", "m a1", "w a2 20"}));
    // The kept file is measured, but has no place in the run to tell it in.
    EXPECT_EQ(heard.measuredFiles, std::vector<std::size_t>{0});
    EXPECT_EQ(heard.doneMeasuring, std::vector<std::size_t>{0});

    // A cancel while B is measured: A is written, B's files are not started.
    std::filesystem::remove(log);
    auto cancelling = [&measure](const DecodeRequest& request) -> std::int32_t {
        if (base_name(request.input_path) == "b1") {
            request_cancel(test_run());
            return request.progress(100, 50) != 0 ? DECODE_ABORTED : DECODE_OK;
        }
        return measure(request);
    };
    Heard cancelled;
    begin_batch(test_run(), {});
    const BatchResult stopped =
        run_album_files(test_run(), {{"a1.mp3", "/m/A/"}, {"b1.mp3", "/m/B/"}, {"b2.mp3", "/m/B/"}},
                        {}, window_requests(options), settings, cancelled, write, cancelling);
    ASSERT_EQ(stopped.files.size(), 3u);
    EXPECT_EQ(stopped.files[0].end, FileEnd::Decoded);
    EXPECT_EQ(stopped.files[1].end, FileEnd::NotStarted);
    EXPECT_EQ(stopped.files[2].end, FileEnd::NotStarted);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(log_lines(log), (std::vector<std::string>{"m a1", "w a1 10"}));
    begin_batch(test_run(), {});
}

TEST(AlbumRun, AFileWrittenWithoutItsMeasuringIsToldOnceInTheRunsNotice) {
    // a2's measuring fails but it is written; b1 fails both ways and its own failure says why.
    TempDir out;
    const std::string log = out.file("log");
    auto measure = [](const DecodeRequest& request) -> std::int32_t {
        const std::string name = base_name(request.input_path);
        if (name == "a2" || name == "b1") {
            return DECODE_FAILED;
        }
        request.stats->loudness.measured = 1;
        request.stats->loudness.blocks[500] = 10;
        return DECODE_OK;
    };
    auto write = [&log](const DecodeRequest& request) -> std::int32_t {
        const std::string name = base_name(request.input_path);
        log_line(log, name + " " + std::to_string(request.album_figures->blocks[500]));
        return name == "b1" ? DECODE_FAILED : DECODE_OK;
    };
    BatchOptions options;
    options.outputFolder = out.path();
    options.loudness = true;
    options.album = true;
    for (int workers : {0, 2}) {
        SCOPED_TRACE(workers);
        std::filesystem::remove(log);
        PoolSettings settings{std::max(workers, 1), true};
        settings.inProcess = workers == 0;
        Heard heard;
        begin_batch(test_run(), {});
        const BatchResult result = run_album_files(
            test_run(), {{"a1.mp3", "/m/A/"}, {"a2.mp3", "/m/A/"}, {"b1.mp3", "/m/B/"}}, {},
            window_requests(options), settings, heard, write, measure);
        ASSERT_EQ(result.files.size(), 3u);
        EXPECT_EQ(result.files[1].end, FileEnd::Decoded);
        EXPECT_EQ(result.files[2].end, FileEnd::Failed);
        std::vector<std::string> written = log_lines(log);
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, (std::vector<std::string>{"a1 10", "a2 10", "b1 0"}));
        EXPECT_NE(result.notice.find("/m/A/a2.mp3: its loudness could not be measured"),
                  std::string::npos)
            << result.notice;
        EXPECT_EQ(result.notice.find("b1.mp3"), std::string::npos) << result.notice;
    }
    begin_batch(test_run(), {});
}

TEST(AlbumRun, WritingEachAlbumAfterItsMeasuringGivesTheBytesOfMeasuringAllFirst) {
    // Dither on, one file after another: each file's bytes depend on the files written before
    // it, so measuring between two albums must leave the dither as it was.
    TempDir in;
    std::filesystem::create_directories(in.file("A"));
    std::filesystem::create_directories(in.file("B"));
    const std::vector<std::pair<std::string, std::string>> copies = {
        {"stereo_44k_128.mp3", "A/1.mp3"},
        {"short.mp3", "A/2.mp3"},
        {"joint_stereo.mp3", "B/3.mp3"},
        {"tagged.mp3", "B/4.mp3"}};
    std::vector<BatchFile> files;
    for (const auto& [source, copy] : copies) {
        std::filesystem::copy_file(fixture_path(source), in.file(copy));
        const std::filesystem::path path(copy);
        files.push_back({path.filename().string(), in.file(path.parent_path().string()) + "/"});
    }
    TempDir interleaved;
    TempDir first;
    BatchOptions options;
    options.loudness = true;
    options.album = true;
    PoolSettings settings{1, true};
    settings.inProcess = true;

    options.outputFolder = interleaved.path();
    restart_dither();
    begin_batch(test_run(), files);
    RunObserver nobody;
    const BatchResult result =
        run_album_files(test_run(), files, {}, window_requests(options), settings, nobody);
    ASSERT_EQ(result.files.size(), 4u);
    for (const FileOutcome& file : result.files) {
        EXPECT_EQ(file.end, FileEnd::Decoded) << file.input;
    }

    // Every file measured, then every file written.
    options.outputFolder = first.path();
    const RequestBuilder build = window_requests(options);
    AlbumLoudness albums = group_albums(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        RequestTexts texts;
        DecodeRequest request = build_request(build, input_path(files[i]), texts);
        request.output_path = "";
        LoudnessFigures figures;
        ASSERT_EQ(measure_file(&request, &figures), DECODE_OK);
        add_track_figures(albums, i, figures);
    }
    restart_dither();
    begin_batch(test_run(), files);
    run_inline(files, album_requests(build, albums));
    for (const char* name : {"1.wav", "2.wav", "3.wav", "4.wav"}) {
        const std::vector<unsigned char> bytes = read_file_bytes(interleaved.file(name));
        EXPECT_GT(bytes.size(), 1000u) << name;
        EXPECT_EQ(bytes, read_file_bytes(first.file(name))) << name;
    }
    begin_batch(test_run(), {});
}

}  // namespace

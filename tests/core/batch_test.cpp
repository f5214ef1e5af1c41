#include "app/core/batch.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/core/run_lists.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

// The run's events as the tests compare them: the files started, and the batch's KiB done
// in the first report after each start (the files before it credited).
struct RecordingObserver : RunObserver {
    void started(std::size_t index) override {
        startedFiles.push_back(index);
        creditAtStart = true;
    }
    void progressed(const RunProgress& progress) override {
        if (creditAtStart) {
            doneAtStart.push_back(progress.doneKiB);
            creditAtStart = false;
        }
        for (const RunningFile& file : progress.running) {
            if (file.doneKiB > 0) {
                totals[file.index] = file.totalKiB;
            }
        }
    }
    std::vector<std::size_t> startedFiles;
    std::vector<std::uint64_t> doneAtStart;
    bool creditAtStart = false;
    std::map<std::size_t, std::int32_t> totals;  // as each file last reported it
};

class Batch : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    // The engine's callback reaches the run through its one trampoline pointer; the pool
    // sets it for the files its inline worker decodes, the tests that call the callback
    // directly set it here.
    static void reset() {
        begin_batch(test_run(), {});
        test_run().fileMoved = nullptr;
        set_progress_run(&test_run());
    }
};

TEST_F(Batch, CountLineHasTheDialogsSpacing) {
    EXPECT_EQ(count_line(3, 12), "Decoding   3 of  12");
    EXPECT_EQ(count_line(1, 2), "Decoding   1 of  2");
}

TEST_F(Batch, ProgressPassesTheFilesKiBToTheRunUntilItIsCancelled) {
    BatchState& state = test_run();
    std::vector<std::pair<std::int32_t, std::int32_t>> moved;
    state.fileMoved = [&moved](std::int32_t total, std::int32_t done) {
        moved.emplace_back(total, done);
    };
    EXPECT_EQ(batch_progress(95, 40), 0);
    EXPECT_EQ(moved, (std::vector<std::pair<std::int32_t, std::int32_t>>{{95, 40}}));

    request_cancel(state);
    EXPECT_EQ(batch_progress(95, 50), 1);
    EXPECT_EQ(moved.size(), 1u);  // nothing moves once cancelled

    // Outside any run the engine decodes on.
    set_progress_run(nullptr);
    EXPECT_EQ(batch_progress(95, 60), 0);
    EXPECT_EQ(moved.size(), 1u);
    state.fileMoved = nullptr;
}

TEST_F(Batch, FillRequestIsWhatTheWindowAsks) {
    BatchOptions options;
    options.outputFolder = "/out";
    RequestTexts texts;
    DecodeRequest request =
        build_request(window_requests(options), fixture_path("stereo_44k_128.mp3"), texts);
    EXPECT_STREQ(request.output_path, "/out/stereo_44k_128.wav");
    EXPECT_STREQ(request.fade_in_text, "1");  // 0 on the page means one second
    EXPECT_STREQ(request.fade_out_text, "1");
    EXPECT_STREQ(request.bit_depth_text, "16");
    EXPECT_EQ(request.normalize, 0);
    EXPECT_EQ(request.skip_silence, 0);
    EXPECT_EQ(request.copy_tags, 0);
    EXPECT_EQ(request.progress, batch_progress);
    // 111 padded frames of 26.125 ms and 5 of 26.0625 ms: 3030.1875 ms.
    EXPECT_EQ(request.play_length_ms, 3030u);

    options.eightBit = true;
    options.normalize = true;
    options.skipSilence = true;
    options.fadeIn = 60;
    options.fadeOut = 7;
    options.copyTags = true;
    request = build_request(window_requests(options), "/music/a.b.mp3", texts);
    EXPECT_STREQ(request.bit_depth_text, "8");
    EXPECT_STREQ(request.fade_in_text, "60");
    EXPECT_STREQ(request.fade_out_text, "7");
    EXPECT_EQ(request.normalize, 1);
    EXPECT_EQ(request.skip_silence, 1);
    EXPECT_EQ(request.copy_tags, 1);
    EXPECT_STREQ(request.output_path, "/out/a.b.wav");
    EXPECT_EQ(request.play_length_ms, 0u);  // no such file: nothing measured
    EXPECT_EQ(request.exact_length, 0);
}

TEST_F(Batch, ExactLengthReachesTheRequestAndItsPlayLength) {
    BatchOptions options;
    options.outputFolder = "/out";
    RequestTexts texts;
    const std::string input = fixture_path("stereo_44k_128_info.mp3");
    DecodeRequest request = build_request(window_requests(options), input, texts);
    EXPECT_EQ(request.exact_length, 0);
    // 111 padded frames of 26.125 ms, 6 of 26.0625 ms (the Info frame among them).
    EXPECT_EQ(request.play_length_ms, 3056u);
    options.exactLength = true;
    request = build_request(window_requests(options), input, texts);
    EXPECT_EQ(request.exact_length, 1);
    // 116 x 1152 - 576 - 756 = 132300 samples at 44100 Hz.
    EXPECT_EQ(request.play_length_ms, 3000u);
    EXPECT_EQ(scan_play_length_ms(input, true), 3000u);
}

TEST_F(Batch, OutputFormatChoiceFillsRateChannelsBitsAndExactLength) {
    BatchOptions options;
    options.outputFolder = "/out";
    options.eightBit = true;
    RequestTexts texts;
    DecodeRequest request = fill_request(options, "/music/a.mp3", texts);
    EXPECT_EQ(request.output_rate, 0u);
    EXPECT_STREQ(request.bit_depth_text, "8");
    options.outputFormat = OutputFormat::CdAudio;
    request = fill_request(options, "/music/a.mp3", texts);
    EXPECT_EQ(request.output_rate, 44100u);
    EXPECT_STREQ(request.bit_depth_text, "16");
    EXPECT_EQ(request.stereo, 1);
    EXPECT_EQ(request.exact_length, 1);
    options.outputFormat = OutputFormat::Video48k;
    request = fill_request(options, "/music/a.mp3", texts);
    EXPECT_EQ(request.output_rate, 48000u);
    EXPECT_STREQ(request.bit_depth_text, "8");  // the chosen depth stays
    EXPECT_EQ(request.stereo, 0);
    EXPECT_EQ(request.exact_length, 0);
}

TEST_F(Batch, ScanAddsWholeKiBAndSkipsUnreadableFiles) {
    TempDir dir;
    write_file_bytes(dir.file("a"), std::vector<unsigned char>(2047));
    write_file_bytes(dir.file("b"), std::vector<unsigned char>(1023));
    write_file_bytes(dir.file("c"), std::vector<unsigned char>(4096));
    EXPECT_EQ(scan_batch_size({dir.file("a"), dir.file("b"), dir.file("missing"), dir.file("c")},
                              test_run()),
              1u + 0 + 0 + 4);
}

TEST_F(Batch, BeginningARunClearsTheLastOneAndMeasuresTheFiles) {
    TempDir dir;
    write_file_bytes(dir.file("a.mp3"), std::vector<unsigned char>(3000));
    write_file_bytes(dir.file("b.mp3"), std::vector<unsigned char>(1024));
    BatchState& state = test_run();
    request_cancel(state);  // the last run was cancelled after some progress
    state.stopCause = "standard output was closed by its reader";
    begin_batch(state, {{"a.mp3", dir.path() + "/"}, {"b.mp3", dir.path() + "/"}});
    EXPECT_EQ(state.stopRequested, 0);
    EXPECT_EQ(state.cancelRequested, 0);
    EXPECT_EQ(state.stopCause, "");
    EXPECT_EQ(state.batchTotalKiB, 2u + 1u);  // floor(3000 / 1024) + floor(1024 / 1024)
}

TEST_F(Batch, EachRequestIsBuiltOnceByTheGivenBuilder) {
    TempDir out;
    std::vector<std::string> built;
    auto build = [&](const std::string& input, RequestTexts& texts) {
        built.push_back(input);
        texts.input = input;
        texts.output = out.file("x.wav");
        DecodeRequest request;
        decode_request_init(&request);
        request.input_path = texts.input.c_str();
        request.output_path = texts.output.c_str();
        request.bit_depth_text = "24";
        return request;
    };
    std::vector<std::string> seen;
    auto fake = [&](const DecodeRequest& request) {
        // The engine is given a temporary name beside the output.
        std::string written = request.output_path;
        EXPECT_EQ(written.rfind(out.file(".x.wav."), 0), 0u) << written;
        seen.push_back(std::string(request.bit_depth_text) + " " +
                       std::to_string(request.play_length_ms));
        return DECODE_OK;
    };
    std::string folder = fixture_path("");
    run_inline({{"stereo_44k_128.mp3", folder}, {"missing.mp3", "/m/"}}, build, fake);
    EXPECT_EQ(built, (std::vector<std::string>{folder + "stereo_44k_128.mp3", "/m/missing.mp3"}));
    // The play length comes from the header scan: 3030 ms for the fixture, none for a file
    // that is not there.
    EXPECT_EQ(seen, (std::vector<std::string>{"24 3030", "24 0"}));
}

TEST_F(Batch, LoopDecodesInOrderAndCreditsTheLastReportedTotal) {
    TempDir out;
    RecordingObserver observer;
    std::vector<std::string> decoded;
    auto fake = [&](const DecodeRequest& request) {
        decoded.emplace_back(request.input_path);
        if (decoded.size() == 1) {
            request.progress(50, 10);  // the first file reports a 50 KiB total
        }
        return decoded.size() == 2 ? DECODE_FAILED : DECODE_OK;
    };
    BatchOptions options;
    options.outputFolder = out.path();
    BatchResult result = run_inline({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/n/"}}, options,
                                    fake, &observer);
    EXPECT_EQ(decoded, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3", "/n/c.mp3"}));
    // The second file never reports: it is credited with its predecessor's total too.
    EXPECT_EQ(observer.doneAtStart, (std::vector<std::uint64_t>{0, 50, 100}));
    EXPECT_EQ(observer.startedFiles, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(attempted(result), 3);
    // The fake decode failed a file that is not there: the reason says what is wrong now.
    EXPECT_EQ(listed(result, FileEnd::Failed),
              (std::vector<Listed>{{"/m/b.mp3", "the input vanished"}}));
}

TEST_F(Batch, CancelStopsTheCurrentFileAndTheLoop) {
    TempDir out;
    BatchState& state = test_run();
    int calls = 0;
    auto fake = [&](const DecodeRequest& request) {
        ++calls;
        request_cancel(state);  // the user presses Cancel during the first file
        // A WAV file with no chunk yet: the stopped file's mark goes after it.
        write_file_bytes(request.output_path, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
        return request.progress(10, 5) != 0 ? DECODE_ABORTED : DECODE_OK;
    };
    BatchOptions options;
    options.outputFolder = out.path();
    BatchResult result = run_inline({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}}, options, fake);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result.stopped);
    // The stopped file is kept, in place, marked and named as partial: a RIFF size of 4 + 24
    // and one chunk "part" of 16 bytes.
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(read_file_bytes(out.file("a.wav")), &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].id, "part");
    EXPECT_EQ(std::string(chunks[0].body.begin(), chunks[0].body.end()), "stopped part way");
    EXPECT_EQ(paths(result, FileEnd::Partial), (std::vector<std::string>{"/m/a.mp3"}));
    // The file after it never started, and says so.
    EXPECT_EQ(listed(result, FileEnd::NotStarted),
              (std::vector<Listed>{{"/m/b.mp3", "not started: the run was cancelled"}}));
    BatchEnd end = finish_batch(result, state, false);
    EXPECT_EQ(end.dialogResult, 2);
    EXPECT_EQ(end.message,
              "Decoding files aborted by user.\n\nThis file was stopped part way:\n\n/m/a.mp3: "
              "kept with what was decoded\n\nOne file was not started.");
    EXPECT_TRUE(end.openFolder);
    EXPECT_TRUE(end.cancelled);
    EXPECT_FALSE(finish_batch(result, state, true).exitProgram);
    EXPECT_FALSE(exit_after_run(state, true));  // a cancelled run never ends the program
}

TEST_F(Batch, EndOfRunDecisions) {
    BatchState& state = test_run();
    auto decoded = [](const char* path) { return ended_as(FileEnd::Decoded, path); };
    BatchResult ok{{decoded("/m/a.mp3"), decoded("/m/b.mp3"), decoded("/m/c.mp3")}};
    BatchEnd end = finish_batch(ok, state, false);
    EXPECT_EQ(end.dialogResult, 1);
    EXPECT_EQ(end.message, "Decoded all files successfully.");
    EXPECT_TRUE(end.openFolder);

    // Exit when done: no message, the folder is opened by the exit path instead.
    end = finish_batch(ok, state, true);
    EXPECT_EQ(end.message, "");
    EXPECT_FALSE(end.openFolder);
    EXPECT_TRUE(end.exitProgram);
    EXPECT_FALSE(end.failures);
    EXPECT_TRUE(exit_after_run(state, true));

    // Failed files are never reported as success; each is named with its reason.
    BatchResult failed{
        {decoded("/m/a.mp3"), ended_as(FileEnd::Failed, "/m/b.mp3", "x"), decoded("/m/c.mp3")}};
    end = finish_batch(failed, state, false);
    EXPECT_EQ(end.message, "Decoded 2 of 3 files. This file could not be decoded:\n\n/m/b.mp3: x");
    EXPECT_EQ(end.summary, "Decoded 2 of 3 files.");
    EXPECT_TRUE(end.failures);
    // With exit when done the window stays after failed or refused files.
    EXPECT_FALSE(finish_batch(failed, state, true).exitProgram);
    EXPECT_FALSE(end.cancelled);
    BatchResult two{{decoded("/m/a.mp3"), ended_as(FileEnd::Failed, "/m/b.mp3", "x"),
                     decoded("/m/c.mp3"), ended_as(FileEnd::Failed, "/m/d.mp3", "y")}};
    EXPECT_EQ(finish_batch(two, state, true).message,
              "Decoded 2 of 4 files. 2 files could not be decoded:\n\n/m/b.mp3: x\n/m/d.mp3: y");

    // Inputs found but never started count among the files and fail the run as well.
    BatchResult refused{{ended_as(FileEnd::Refused, "/m/x/", "Permission denied"),
                         decoded("/m/a.mp3"), decoded("/m/b.mp3")}};
    end = finish_batch(refused, state, false);
    EXPECT_TRUE(end.failures);
    EXPECT_FALSE(finish_batch(refused, state, true).exitProgram);  // the window stays
    EXPECT_EQ(end.message,
              "Decoded 2 of 3 files. This file was found but not decoded:\n\n/m/x/: Permission "
              "denied");

    // A file kept beside an existing WAV file is named with its new name.
    FileOutcome renamed = decoded("/m/a.mp3");
    renamed.output = "/out/a (2).wav";
    renamed.renamed = true;
    EXPECT_EQ(finish_batch(BatchResult{{renamed}}, state, false).message,
              "Decoded all files successfully.\n\nThis file was kept beside an existing WAV file "
              "under a new name:\n\n/m/a.mp3 -> /out/a (2).wav");

    // Cancel pressed after the last file ended: the run was not stopped.
    request_cancel(state);
    EXPECT_EQ(finish_batch(ok, state, false).message, "Decoded all files successfully.");
    EXPECT_FALSE(finish_batch(ok, state, false).cancelled);
    EXPECT_FALSE(finish_batch(ok, state, true).exitProgram);  // but it never ends the program

    // A cancel with failures keeps its first line and lists what went wrong, partial files last;
    // a partial file removed (to resume the run) says so.
    FileOutcome removed = ended_as(FileEnd::Partial, "/m/d.mp3");
    removed.reason = {ReasonKind::StoppedRemoved};
    FileOutcome kept = ended_as(FileEnd::Partial, "/m/c.mp3");
    kept.reason = {ReasonKind::Stopped};
    BatchResult stopped{{ended_as(FileEnd::Failed, "/m/a.mp3", "decoding failed"), kept, removed},
                        true};
    end = finish_batch(stopped, state, false);
    EXPECT_TRUE(end.cancelled);
    EXPECT_EQ(end.message,
              "Decoding files aborted by user.\n\nThis file could not be decoded:\n\n/m/a.mp3: "
              "decoding failed\n\n2 files were stopped part way:\n\n/m/c.mp3: kept with what was "
              "decoded\n/m/d.mp3: its partial WAV file was removed");
}

TEST_F(Batch, RealDecodeWritesIntoTheOutputFolder) {
    TempDir dir;
    RecordingObserver observer;
    BatchOptions options;
    options.outputFolder = dir.path();
    std::string folder = fixture_path("");
    testing::internal::CaptureStderr();
    BatchResult result =
        run_inline({{"stereo_44k_128.mp3", folder}, {"short.mp3", folder}}, options, {}, &observer);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(result.stopped);
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    EXPECT_EQ(parse_wav_file(dir.file("stereo_44k_128.wav")).data_size, 116u * 1152 * 4);
    EXPECT_EQ(parse_wav_file(dir.file("short.wav")).data_size, 5u * 1152 * 4);
    // The engine reports whole KiB of the input.
    EXPECT_EQ(observer.totals[0], 48483 >> 10);
}

}  // namespace

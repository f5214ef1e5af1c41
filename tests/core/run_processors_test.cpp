// The processors of a run with several files at once, shared as tokens: a long file takes up
// the processor a short one frees, with the bytes it has on its own processor, and every
// processor is back in the pool after the run, also after a cancel or a killed worker.
#include "app/core/run_processors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "app/core/worker_pool.h"
#include "engine/testing.h"
#include "tests/core/run_lists.h"
#include "tests/support/temp_dir.h"

namespace {

struct EndsListener : RunObserver {
    void ended(std::size_t index, const FileOutcome& outcome) override {
        ends[index] = outcome;
        if (onEnded) {
            onEnded(index, outcome);
        }
    }
    void progressed(const RunProgress& progress) override {
        if (onProgress) {
            onProgress(progress);
        }
    }
    std::map<std::size_t, FileOutcome> ends;
    std::function<void(std::size_t, const FileOutcome&)> onEnded;
    std::function<void(const RunProgress&)> onProgress;
};

// The engine's decode in the worker, leaving "<threads> <tokens taken>" of each file in
// folder/<input name>.trace, since the worker's own memory is gone with it.
DecodeFunction decode_and_trace(const std::string& folder) {
    return [folder](const DecodeRequest& request) {
        const std::int32_t result = decode_file(&request);
        const ParallelTrace trace = parallel_trace_for_testing();
        const std::string input = request.input_path;
        std::ofstream(folder + "/" + input.substr(input.rfind('/') + 1) + ".trace")
            << trace.threads_started << " " << trace.tokens_taken;
        return result;
    };
}

std::string read_text(const std::string& path) {
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    return {bytes.begin(), bytes.end()};
}

class RunProcessorsTest : public testing::Test {
protected:
    void SetUp() override {
        begin_batch(test_run(), {});
        // A 3-second file and a 6-minute one (two 3-minute streams: MPEG frames concatenate).
        write_file_bytes(in.file("short.mp3"), read_file_bytes(fixture_path("stereo_44k_128.mp3")));
        std::vector<unsigned char> minutes =
            read_file_bytes(fixture_path("exact/cbr40_32k_m_180s.mp3"));
        std::vector<unsigned char> twice = minutes;
        twice.insert(twice.end(), minutes.begin(), minutes.end());
        write_file_bytes(in.file("long.mp3"), twice);
        files = {{"short.mp3", in.path() + "/"}, {"long.mp3", in.path() + "/"}};
        ASSERT_EQ(processor_tokens_create(&tokens, 2), 0);
    }
    void TearDown() override {
        processor_tokens_close(&tokens);
        begin_batch(test_run(), {});
    }

    // Both files on two workers of a two-processor run, one processor each to begin with.
    BatchResult run(const std::string& folder, ProcessorTokens* shared) {
        BatchOptions options;
        options.outputFolder = folder;
        PoolSettings settings{2, true};
        settings.tokens = shared;
        settings.fileThreads = 1;
        return run_worker_pool(test_run(), files, window_requests(options), settings, listener,
                               decode_and_trace(traces.path()));
    }

    // Once the short file has ended and the long one has taken up its processor.
    bool longFileGrew() const {
        return listener.ends.count(0) != 0 && listener.ends.count(1) == 0 &&
               processor_tokens_free(&tokens) == 0;
    }

    TempDir in;
    TempDir out;
    TempDir traces;
    std::vector<BatchFile> files;
    ProcessorTokens tokens{-1, -1, 0, nullptr};
    EndsListener listener;
};

TEST_F(RunProcessorsTest, TheLongFileTakesUpTheProcessorTheShortOneFreesWithTheSameBytes) {
    int freeDuringRun = -1;
    listener.onEnded = [&](std::size_t index, const FileOutcome&) {
        if (index == 1) {
            freeDuringRun = processor_tokens_free(&tokens);
        }
    };
    BatchResult result = run(out.path(), &tokens);
    ASSERT_EQ(listener.ends.size(), 2u);
    EXPECT_EQ(listener.ends[0].end, FileEnd::Decoded);
    EXPECT_EQ(listener.ends[1].end, FileEnd::Decoded);
    EXPECT_EQ(read_text(traces.file("long.mp3.trace")), "2 1");   // two threads, one taken up
    EXPECT_EQ(read_text(traces.file("short.mp3.trace")), "0 0");  // nothing free while it ran
    // The long file gave its token back when its pieces ran out; its own processor is still
    // held when it ends, and comes back with its worker.
    EXPECT_EQ(freeDuringRun, 1);
    EXPECT_EQ(processor_tokens_free(&tokens), 2);
    EXPECT_EQ(result.files.size(), 2u);

    TempDir alone;
    listener.onEnded = {};
    run(alone.path(), nullptr);
    EXPECT_EQ(read_text(traces.file("long.mp3.trace")), "0 0");  // one thread throughout
    for (const char* wav : {"short.wav", "long.wav"}) {
        EXPECT_TRUE(read_file_bytes(out.file(wav)) == read_file_bytes(alone.file(wav))) << wav;
    }
}

TEST_F(RunProcessorsTest, AKilledWorkersProcessorsComeBackToTheRun) {
    bool killed = false;
    int freeAtItsEnd = -1;
    listener.onProgress = [&](const RunProgress&) {
        if (!killed && longFileGrew()) {
            kill_pool_workers();
            killed = true;
        }
    };
    listener.onEnded = [&](std::size_t index, const FileOutcome&) {
        if (index == 1) {
            freeAtItsEnd = processor_tokens_free(&tokens);
        }
    };
    run(out.path(), &tokens);
    ASSERT_TRUE(killed);
    EXPECT_EQ(listener.ends[1].end, FileEnd::Failed);
    // The token the killed worker had taken is counted back as its file ends, before the run
    // ends; its own processor follows once no file is left for its slot.
    EXPECT_EQ(freeAtItsEnd, 1);
    EXPECT_EQ(processor_tokens_free(&tokens), 2);
}

TEST_F(RunProcessorsTest, ACancelledFileGivesItsProcessorsBack) {
    bool cancelled = false;
    int freeAtItsEnd = -1;
    listener.onProgress = [&](const RunProgress&) {
        if (!cancelled && longFileGrew()) {
            request_cancel(test_run());
            cancelled = true;
        }
    };
    listener.onEnded = [&](std::size_t index, const FileOutcome&) {
        if (index == 1) {
            freeAtItsEnd = processor_tokens_free(&tokens);
        }
    };
    run(out.path(), &tokens);
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(listener.ends[1].end, FileEnd::Partial);
    EXPECT_EQ(freeAtItsEnd, 1);  // given back by the decode itself as it stopped
    EXPECT_EQ(processor_tokens_free(&tokens), 2);
}

TEST_F(RunProcessorsTest, MoreFilesAtOnceThanProcessorsFreeNoneUntilTheExcessHasEnded) {
    // Three files each holding one of two processors: the first to be given no next file
    // frees nothing, the second one processor, the third the last.
    RunProcessors processors(&tokens, 1, 3);
    processors.begin(3);
    EXPECT_EQ(processor_tokens_free(&tokens), 0);
    processors.release(0);
    EXPECT_EQ(processor_tokens_free(&tokens), 0);
    processors.release(0);  // a slot frees its processors once
    processors.release(1);
    EXPECT_EQ(processor_tokens_free(&tokens), 1);
    // A worker that took a token and was killed: its count in shared memory brings it back.
    ProcessorTokens worker = processors.workerTokens(2);
    ASSERT_EQ(processor_tokens_take(&worker), 1);
    EXPECT_EQ(processor_tokens_free(&tokens), 0);
    processors.reclaim(2);
    EXPECT_EQ(processor_tokens_free(&tokens), 1);
    processors.release(2);
    EXPECT_EQ(processor_tokens_free(&tokens), 2);
    // Lost on the way (taken by a holder that could not count it): the end recounts.
    ASSERT_EQ(processor_tokens_take(&tokens), 1);
    processors.end();
    EXPECT_EQ(processor_tokens_free(&tokens), 2);
}

}  // namespace

// The worker pool with fake decodes that run inside the workers: results, reasons and
// messages per file, what a crash, a failed start and a cancel do to the rest of the run.
#include "app/core/worker_pool.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/core/system_message.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

struct RecordingListener : PoolListener {
    void workerNotStarted(int error) override { notStarted.push_back(error); }
    void fileEnded(const PoolFileEnd& end) override { ends[end.index] = end; }
    void progressed(const PoolProgress& progress) override {
        last = progress;
        if (onProgress) {
            onProgress(progress);
        }
    }
    std::vector<int> notStarted;
    std::map<std::size_t, PoolFileEnd> ends;
    PoolProgress last{};
    std::function<void(const PoolProgress&)> onProgress;
};

class WorkerPool : public testing::Test {
protected:
    void SetUp() override { begin_batch(batch_state(), {}); }
    void TearDown() override { begin_batch(batch_state(), {}); }

    BatchResult run(const std::vector<BatchFile>& files, const DecodeFunction& decode,
                    int workers = 2) {
        BatchOptions options;
        options.outputFolder = out.path();
        return run_worker_pool(files, window_requests(options), PoolSettings{workers, true},
                               listener, decode);
    }

    TempDir out;
    RecordingListener listener;
};

// Reports its progress until the run is cancelled; the worker's own cancel flag is set by the
// signal the pool forwards.
std::int32_t decode_until_cancelled(const DecodeRequest& request) {
    for (int i = 0; i < 20000; ++i) {
        if (request.progress(100, i % 100) != 0) {
            return DECODE_ABORTED;
        }
        usleep(1000);
    }
    return DECODE_OK;
}

TEST_F(WorkerPool, EachFileEndsWithItsOwnResultReasonAndMessages) {
    // a: fine after reporting 60 of 100 KiB; b: the engine gives up with a message; c: the
    // worker crashes; d: the process ends with a status that is none of the decode results
    // (an invalid option text ends the engine with 1).
    auto decode = [](const DecodeRequest& request) -> std::int32_t {
        std::string name = request.input_path;
        request.progress(100, 60);
        if (name == "/m/b.mp3") {
            std::fprintf(stderr, "audio: %s: Is a directory\n", request.output_path);
            return DECODE_FAILED;
        }
        if (name == "/m/c.mp3") {
            raise(SIGKILL);
        }
        if (name == "/m/d.mp3") {
            std::printf("bad option\n");
            std::fflush(stdout);
            _exit(1);
        }
        return DECODE_OK;
    };
    BatchResult result =
        run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}, {"d.mp3", "/m/"}}, decode);

    EXPECT_EQ(result.attempted, 4);
    ASSERT_EQ(listener.ends.size(), 4u);
    EXPECT_EQ(listener.ends[0].result, DECODE_OK);
    EXPECT_EQ(listener.ends[0].failure, "");
    EXPECT_EQ(listener.ends[0].messages, "");
    EXPECT_EQ(listener.ends[1].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[1].failure, "decoding failed");
    // The decode writes under a temporary name beside b.wav.
    EXPECT_EQ(listener.ends[1].messages.rfind("audio: " + out.file(".b.wav."), 0), 0u)
        << listener.ends[1].messages;
    EXPECT_EQ(listener.ends[2].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[2].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listener.ends[3].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[3].messages, "bad option\n");
    // The crash failed only its own file; the failures keep the order in which files ended.
    ASSERT_EQ(result.failed.size(), 3u);
    std::vector<std::string> failedPaths;
    for (const FailedFile& file : result.failed) {
        failedPaths.push_back(file.path);
    }
    std::sort(failedPaths.begin(), failedPaths.end());
    EXPECT_EQ(failedPaths, (std::vector<std::string>{"/m/b.mp3", "/m/c.mp3", "/m/d.mp3"}));
    EXPECT_TRUE(listener.notStarted.empty());
    // Every file that ended is credited with the total it last reported, not what it had done.
    EXPECT_TRUE(listener.last.running.empty());
    EXPECT_EQ(listener.last.doneKiB, 400u);
    EXPECT_FALSE(finish_batch(result, batch_state(), false).cancelled);
}

TEST_F(WorkerPool, RealDecodesMatchTheSameFilesInOneProcess) {
    std::string folder = fixture_path("");
    std::vector<BatchFile> files = {
        {"stereo_44k_128.mp3", folder}, {"mono_22k.mp3", folder}, {"short.mp3", folder}};
    BatchResult result = run(files, {});
    EXPECT_EQ(result.lastResult, DECODE_OK);
    EXPECT_TRUE(result.failed.empty());
    // Every file in a fresh process: the same bytes as each file decoded first in this one.
    for (const BatchFile& file : files) {
        TempDir alone;
        BatchOptions options;
        options.outputFolder = alone.path();
        testing::internal::CaptureStderr();
        run_worker_pool({file}, window_requests(options), PoolSettings{1, true}, listener);
        testing::internal::GetCapturedStderr();
        std::string wav = file.name.substr(0, file.name.size() - 4) + ".wav";
        ASSERT_TRUE(parse_wav_file(out.file(wav)).ok) << wav;
        EXPECT_EQ(read_file_bytes(out.file(wav)), read_file_bytes(alone.file(wav))) << wav;
    }
}

TEST_F(WorkerPool, ACancelStopsTheRunningFilesAndStartsNoOther) {
    std::vector<std::size_t> seenRunning;
    listener.onProgress = [&](const PoolProgress& progress) {
        seenRunning.push_back(progress.running.size());
        if (progress.running.size() == 2 && batch_state().cancelRequested == 0) {
            request_cancel(batch_state());  // Ctrl-C while two files run and a third waits
        }
    };
    BatchResult result =
        run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}}, decode_until_cancelled);
    EXPECT_EQ(result.attempted, 2);
    EXPECT_EQ(listener.ends.count(2), 0u);  // never started
    EXPECT_EQ(listener.ends[0].result, DECODE_ABORTED);
    EXPECT_EQ(listener.ends[1].result, DECODE_ABORTED);
    EXPECT_EQ(result.lastResult, DECODE_ABORTED);
    EXPECT_TRUE(result.failed.empty());
    std::vector<std::string> partial = result.partial;
    std::sort(partial.begin(), partial.end());
    EXPECT_EQ(partial, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3"}));
    BatchEnd end = finish_batch(result, batch_state(), false);
    EXPECT_TRUE(end.cancelled);
    EXPECT_EQ(
        end.message.rfind("Decoding files aborted by user.\n\n2 files were stopped part way", 0),
        0u)
        << end.message;
}

TEST_F(WorkerPool, KillingTheWorkersFailsTheirFilesAtOnce) {
    // What a second Ctrl-C does: the workers end without finishing their files.
    bool killed = false;
    listener.onProgress = [&](const PoolProgress& progress) {
        if (progress.running.size() == 2 && !killed) {
            kill_pool_workers();
            killed = true;
        }
    };
    BatchResult result = run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}}, decode_until_cancelled);
    ASSERT_TRUE(killed);
    EXPECT_EQ(result.failed.size(), 2u);
    EXPECT_EQ(listener.ends[0].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listener.ends[1].failure, "worker process killed by signal 9 (Killed)");
}

TEST_F(WorkerPool, AWorkerThatCannotStartCancelsTheRun) {
    // At the process limit fork fails. Root is exempt from the limit, so the test's own child
    // gives root up before it lowers the limit and runs the pool.
    auto without_processes = [this] {
        if (geteuid() == 0 && setuid(65534) != 0) {
            _exit(3);
        }
        rlimit none{0, 0};
        if (setrlimit(RLIMIT_NPROC, &none) != 0) {
            _exit(4);
        }
        BatchResult result = run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}},
                                 [](const DecodeRequest&) { return DECODE_OK; });
        std::string notStarted;
        for (int error : listener.notStarted) {  // once: nothing is retried
            notStarted += "[" + errno_message(error) + "]";
        }
        std::fprintf(stderr, "not started %s, attempted %d, ended %zu, cancelled %d\n",
                     notStarted.c_str(), result.attempted, listener.ends.size(),
                     finish_batch(result, batch_state(), false).cancelled ? 1 : 0);
        _exit(0);
    };
    EXPECT_EXIT(without_processes(), testing::ExitedWithCode(0),
                "not started \\[Resource temporarily unavailable\\], attempted 0, ended 0, "
                "cancelled 1");
}

}  // namespace

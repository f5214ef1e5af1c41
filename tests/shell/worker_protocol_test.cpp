// How workers end outside the normal course: one that sends bytes which are no record of the
// pool's protocol is retired (its file fails with that reason, the run goes on in a new
// worker); a second signal stops them at once, each removing its own temporary file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "app/core/worker_pool.h"
#include "tests/support/temp_dir.h"

namespace {

struct Ends : PoolListener {
    void workerNotStarted(int) override {}
    void fileEnded(const PoolFileEnd& end) override { ends[end.index] = end; }
    void progressed(const PoolProgress& progress) override {
        if (onProgress) {
            onProgress(progress);
        }
    }
    std::map<std::size_t, PoolFileEnd> ends;
    std::function<void(const PoolProgress&)> onProgress;
};

TEST(WorkerProtocol, AnUnknownRecordKindRetiresTheWorkerAndFailsOnlyItsFile) {
    begin_batch(batch_state(), {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    BatchResult result =
        run_worker_pool({{"bad.mp3", "/m/"}, {"good.mp3", "/m/"}}, window_requests(options),
                        PoolSettings{1, true}, listener, [](const DecodeRequest& request) {
                            if (std::string(request.input_path) == "/m/bad.mp3") {
                                // The worker's socket is the one socket it holds: a record of kind
                                // 9 on it.
                                for (int fd = 3; fd < 64; ++fd) {
                                    struct stat info {};
                                    if (fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode)) {
                                        const char record[16] = {9};
                                        (void)!write(fd, record, sizeof record);
                                    }
                                }
                                sleep(5);  // ended by the parent long before this
                            }
                            return DECODE_OK;
                        });
    ASSERT_EQ(listener.ends.size(), 2u);
    EXPECT_EQ(listener.ends[0].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[0].failure,
              "worker process sent a record of an unknown kind and was stopped");
    EXPECT_EQ(listener.ends[1].result, DECODE_OK);
    EXPECT_EQ(result.failed.size(), 1u);
    begin_batch(batch_state(), {});
}

TEST(WorkerProtocol, ASecondSignalEndsTheWorkersAtOnceWithoutTheirTemporaryFiles) {
    begin_batch(batch_state(), {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    bool stopped = false;
    listener.onProgress = [&](const PoolProgress& progress) {
        if (progress.running.size() == 2 && !stopped) {
            stopped = true;
            // What the command line's handler does on the first Ctrl-C, then on the second.
            request_cancel(batch_state());
            stop_pool_workers();
        }
    };
    BatchResult result = run_worker_pool(
        {{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}}, window_requests(options),
        PoolSettings{2, true}, listener, [](const DecodeRequest& request) {
            // Half a file written, then a decode that never looks at a cancel.
            write_file_bytes(request.output_path, std::vector<unsigned char>(4096, 1));
            for (int i = 0; i < 20000; ++i) {
                request.progress(100, i % 100);
                usleep(1000);
            }
            return DECODE_OK;
        });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(listener.ends.size(), 2u);  // c.mp3 never started
    EXPECT_EQ(result.failed.size(), 2u);
    // The files carry no planned output, so the parent removes nothing: the workers did.
    EXPECT_EQ(folder_entries(out.path()), std::vector<std::string>{});
    begin_batch(batch_state(), {});
}

TEST(WorkerProtocol, NoMoreWorkersRunThanASecondSignalCanReach) {
    begin_batch(batch_state(), {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    std::size_t most = 0;
    listener.onProgress = [&](const PoolProgress& progress) {
        most = std::max(most, progress.running.size());
    };
    std::vector<BatchFile> files;
    for (int i = 0; i < 70; ++i) {
        files.push_back({std::to_string(i) + ".mp3", "/m/"});
    }
    BatchResult result = run_worker_pool(files, window_requests(options), PoolSettings{1000, true},
                                         listener, [](const DecodeRequest& request) {
                                             request.progress(1, 0);
                                             usleep(300 * 1000);
                                             return DECODE_OK;
                                         });
    EXPECT_EQ(listener.ends.size(), 70u);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_GT(most, 2u);
    EXPECT_LE(most, 64u);  // the slots kill_pool_workers and stop_pool_workers know
    begin_batch(batch_state(), {});
}

}  // namespace

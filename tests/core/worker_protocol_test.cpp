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

int failed(const BatchResult& result) {
    return static_cast<int>(
        std::count_if(result.files.begin(), result.files.end(),
                      [](const FileOutcome& file) { return file.end == FileEnd::Failed; }));
}

struct Ends : RunObserver {
    void ended(std::size_t index, const FileOutcome& outcome) override { ends[index] = outcome; }
    void progressed(const RunProgress& progress) override {
        if (onProgress) {
            onProgress(progress);
        }
    }
    std::map<std::size_t, FileOutcome> ends;
    std::function<void(const RunProgress&)> onProgress;
};

TEST(WorkerProtocol, AnUnknownRecordKindRetiresTheWorkerAndFailsOnlyItsFile) {
    BatchState state;
    begin_batch(state, {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    BatchResult result =
        run_worker_pool(state, {{"bad.mp3", "/m/"}, {"good.mp3", "/m/"}}, window_requests(options),
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
    EXPECT_EQ(listener.ends[0].end, FileEnd::Failed);
    EXPECT_EQ(reason_text(listener.ends[0].reason),
              "worker process sent a record of an unknown kind and was stopped");
    EXPECT_EQ(listener.ends[1].end, FileEnd::Decoded);
    EXPECT_EQ(failed(result), 1);
}

TEST(WorkerProtocol, ASecondSignalEndsTheWorkersAtOnceWithoutTheirTemporaryFiles) {
    BatchState state;
    begin_batch(state, {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    bool stopped = false;
    listener.onProgress = [&](const RunProgress& progress) {
        if (progress.running.size() == 2 && !stopped) {
            stopped = true;
            // What the command line's handler does on the first Ctrl-C, then on the second.
            request_cancel(state);
            stop_pool_workers();
        }
    };
    BatchResult result = run_worker_pool(
        state, {{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}}, window_requests(options),
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
    // c.mp3 never started; the two running files failed.
    EXPECT_EQ(failed(result), 2);
    // The files carry no planned output, so the parent removes nothing: the workers did.
    EXPECT_EQ(folder_entries(out.path()), std::vector<std::string>{});
}

TEST(WorkerProtocol, NoMoreWorkersRunThanASecondSignalCanReach) {
    BatchState state;
    begin_batch(state, {});
    TempDir out;
    BatchOptions options;
    options.outputFolder = out.path();
    Ends listener;
    std::size_t most = 0;
    listener.onProgress = [&](const RunProgress& progress) {
        most = std::max(most, progress.running.size());
    };
    std::vector<BatchFile> files;
    for (int i = 0; i < 70; ++i) {
        files.push_back({std::to_string(i) + ".mp3", "/m/"});
    }
    BatchResult result =
        run_worker_pool(state, files, window_requests(options), PoolSettings{1000, true}, listener,
                        [](const DecodeRequest& request) {
                            request.progress(1, 0);
                            usleep(300 * 1000);
                            return DECODE_OK;
                        });
    EXPECT_EQ(listener.ends.size(), 70u);
    EXPECT_EQ(failed(result), 0);
    EXPECT_GT(most, 2u);
    EXPECT_LE(most, 64u);  // the slots kill_pool_workers and stop_pool_workers know
}

}  // namespace

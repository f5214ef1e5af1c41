// A worker that sends bytes which are no record of the pool's protocol is retired: its file
// fails with that reason and the rest of the run goes on in a new worker.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "app/core/worker_pool.h"
#include "tests/support/temp_dir.h"

namespace {

struct Ends : PoolListener {
    void workerNotStarted(int) override {}
    void fileEnded(const PoolFileEnd& end) override { ends[end.index] = end; }
    std::map<std::size_t, PoolFileEnd> ends;
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

}  // namespace

// The worker pool with fake decodes that run inside the workers: results, reasons, figures
// and messages per file, long-lived workers, what a crash, a failed start and a cancel do to
// the rest of the run; and real decodes against the same run in one process.
#include "app/core/worker_pool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "app/core/end_report.h"
#include "app/core/system_message.h"
#include "tests/core/run_lists.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

// A file's end as the tests compare it: the engine's code, the reason's words and what the
// decode wrote, one line each.
struct PoolFileEnd {
    std::size_t index;
    std::int32_t result;
    std::string failure;
    std::string messages;
    DecodeStats stats;
};

struct RecordingListener : RunObserver {
    void started(std::size_t index) override { startedFiles.push_back(index); }
    void ended(std::size_t index, const FileOutcome& outcome) override {
        if (outcome.end == FileEnd::NotStarted) {
            ++notStartedFiles;
            return;
        }
        std::string messages;
        for (const std::string& line : outcome.messages) {
            messages += line + "\n";
        }
        PoolFileEnd end{index, result_code(outcome),
                        outcome.end == FileEnd::Failed ? reason_text(outcome.reason) : "", messages,
                        outcome.stats};
        ends[index] = end;
        if (onFileEnded) {
            onFileEnded(end);
        }
    }
    void progressed(const RunProgress& progress) override {
        last = progress;
        if (onProgress) {
            onProgress(progress);
        }
    }
    std::vector<std::size_t> startedFiles;
    int notStartedFiles = 0;
    std::map<std::size_t, PoolFileEnd> ends;
    RunProgress last{};
    std::function<void(const RunProgress&)> onProgress;
    std::function<void(const PoolFileEnd&)> onFileEnded;
};

class WorkerPool : public testing::Test {
protected:
    void SetUp() override { begin_batch(test_run(), {}); }
    void TearDown() override { begin_batch(test_run(), {}); }

    // workers 0: the inline worker.
    BatchResult run(const std::vector<BatchFile>& files, const DecodeFunction& decode,
                    int workers = 2) {
        BatchOptions options;
        options.outputFolder = out.path();
        PoolSettings settings{std::max(workers, 1), true};
        settings.inProcess = workers == 0;
        return run_worker_pool(test_run(), files, window_requests(options), settings, listener,
                               decode);
    }

    TempDir out;
    RecordingListener listener;
};

// Reports its progress until the run is cancelled; the worker's own cancel flag is set by the
// signal the pool forwards.
std::int32_t decode_until_cancelled(const DecodeRequest& request) {
    // A WAV file with no chunk yet, so that a stopped one can be marked and kept.
    write_file_bytes(request.output_path, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
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
        if (request.stats != nullptr) {  // what the engine fills in, told to the parent
            DecodeStats stats = {};
            stats.frames_decoded = name == "/m/a.mp3" ? 1234u : 99u;
            stats.duration_ms = 5678;
            stats.peak_millibel = -300;
            stats.has_peak = 1;
            stats.clipped_samples = 7;
            stats.loudness.measured = 1;
            stats.loudness.integrated_lufs = -23.25;
            stats.loudness.blocks[LOUDNESS_BINS - 1] = 42;
            stats.gain_db = 5.25;
            stats.gain_limit = GAIN_LIMITED_BY_PEAK;
            *request.stats = stats;
        }
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

    EXPECT_EQ(attempted(result), 4);
    ASSERT_EQ(listener.ends.size(), 4u);
    EXPECT_EQ(listener.ends[0].result, DECODE_OK);
    EXPECT_EQ(listener.ends[0].failure, "");
    EXPECT_EQ(listener.ends[0].messages, "");
    EXPECT_EQ(listener.ends[0].stats.frames_decoded, 1234u);
    EXPECT_EQ(listener.ends[0].stats.duration_ms, 5678u);
    EXPECT_EQ(listener.ends[0].stats.peak_millibel, -300);
    EXPECT_EQ(listener.ends[0].stats.has_peak, 1);
    EXPECT_EQ(listener.ends[0].stats.clipped_samples, 7u);
    // The loudness figures travel whole, the album's blocks included.
    EXPECT_EQ(listener.ends[0].stats.loudness.integrated_lufs, -23.25);
    EXPECT_EQ(listener.ends[0].stats.loudness.blocks[LOUDNESS_BINS - 1], 42u);
    EXPECT_EQ(listener.ends[0].stats.gain_db, 5.25);
    EXPECT_EQ(listener.ends[0].stats.gain_limit, GAIN_LIMITED_BY_PEAK);
    EXPECT_EQ(listener.ends[1].stats.frames_decoded, 99u);  // a failed file keeps its figures
    EXPECT_EQ(listener.ends[1].result, DECODE_FAILED);
    // The stand-in's inputs are not there: the reason is what is wrong with the input now.
    EXPECT_EQ(listener.ends[1].failure, "the input vanished");
    // The decode writes under a temporary name beside b.wav.
    EXPECT_EQ(listener.ends[1].messages.rfind("audio: " + out.file(".b.wav."), 0), 0u)
        << listener.ends[1].messages;
    EXPECT_EQ(listener.ends[2].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[2].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listener.ends[2].stats.frames_decoded, 0u);  // nothing came back from the crash
    EXPECT_EQ(listener.ends[3].result, DECODE_FAILED);
    EXPECT_EQ(listener.ends[3].messages, "bad option\n");
    // The crash failed only its own file; the failures keep the order in which files ended.
    ASSERT_EQ(listed(result, FileEnd::Failed).size(), 3u);
    std::vector<std::string> failedPaths;
    for (const Listed& file : listed(result, FileEnd::Failed)) {
        failedPaths.push_back(file.path);
    }
    std::sort(failedPaths.begin(), failedPaths.end());
    EXPECT_EQ(failedPaths, (std::vector<std::string>{"/m/b.mp3", "/m/c.mp3", "/m/d.mp3"}));
    EXPECT_EQ(listener.notStartedFiles, 0);
    // Every file that ended is credited with the total it last reported, not what it had done.
    EXPECT_TRUE(listener.last.running.empty());
    EXPECT_EQ(listener.last.doneKiB, 400u);
    EXPECT_FALSE(finish_batch(result, test_run(), false).cancelled);
}

TEST_F(WorkerPool, OneWorkerRunsTheDitherOnAsOneProcessDoes) {
    // The window's options, dither on: each file's bytes depend on the dither state the files
    // before it left, so one worker must give exactly the bytes of the same run in this
    // process. Both runs start from this process's dither state: the workers are forked from
    // it, and the run in this process comes last.
    std::string folder = fixture_path("");
    std::vector<BatchFile> files = {{"stereo_44k_128.mp3", folder},
                                    {"mono_22k.mp3", folder},
                                    {"short.mp3", folder},
                                    {"tagged.mp3", folder}};
    BatchResult result = run(files, {}, 1);
    EXPECT_EQ(result.stopped, false);
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    ASSERT_EQ(listener.ends.size(), 4u);

    TempDir alone;  // the last file as the first of a run
    BatchOptions options;
    options.outputFolder = alone.path();
    run_worker_pool(test_run(), {files.back()}, window_requests(options), PoolSettings{1, true},
                    listener);

    TempDir inProcess;
    options.outputFolder = inProcess.path();
    testing::internal::CaptureStderr();
    BatchResult single = run_inline(files, options);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(listed(single, FileEnd::Failed).empty());
    for (const BatchFile& file : files) {
        std::string wav = file.name.substr(0, file.name.size() - 4) + ".wav";
        ASSERT_TRUE(parse_wav_file(out.file(wav)).ok) << wav;
        EXPECT_EQ(read_file_bytes(out.file(wav)), read_file_bytes(inProcess.file(wav))) << wav;
    }
    // Had the worker started its dither afresh for each file, this would be equal.
    EXPECT_NE(read_file_bytes(out.file("tagged.wav")), read_file_bytes(alone.file("tagged.wav")));
    EXPECT_EQ(read_file_bytes(out.file("tagged.wav")).size(),
              read_file_bytes(alone.file("tagged.wav")).size());
}

TEST_F(WorkerPool, ManyFilesThroughTwoWorkersGiveTheBytesOfOneProcess) {
    // Without dither no state runs on between files, so however the files are shared out
    // each must come out as in a run in this process.
    TempDir in;
    const char* sources[] = {"stereo_44k_128.mp3", "mono_22k.mp3",     "short.mp3",
                             "tagged.mp3",         "joint_stereo.mp3", "vbr_xing.mp3"};
    std::vector<BatchFile> files;
    for (int copy = 0; copy < 2; ++copy) {
        for (const char* source : sources) {
            std::string name = std::to_string(copy) + "_" + source;
            write_file_bytes(in.file(name), read_file_bytes(fixture_path(source)));
            files.push_back({name, in.path() + "/"});
        }
    }
    auto undithered = [](const std::string& folder) -> RequestBuilder {
        BatchOptions options;
        options.outputFolder = folder;
        return [options](const std::string& inputPath, RequestTexts& texts) {
            DecodeRequest request = fill_request(options, inputPath, texts);
            request.no_dither = 1;
            return request;
        };
    };
    BatchResult result =
        run_worker_pool(test_run(), files, undithered(out.path()), PoolSettings{2, true}, listener);
    EXPECT_EQ(attempted(result), 12);
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    ASSERT_EQ(listener.ends.size(), 12u);

    TempDir inProcess;
    testing::internal::CaptureStderr();
    run_inline(files, undithered(inProcess.path()));
    testing::internal::GetCapturedStderr();
    for (const BatchFile& file : files) {
        std::string wav = file.name.substr(0, file.name.size() - 4) + ".wav";
        ASSERT_TRUE(parse_wav_file(out.file(wav)).ok) << wav;
        EXPECT_EQ(read_file_bytes(out.file(wav)), read_file_bytes(inProcess.file(wav))) << wav;
    }
}

// The worker's process id, and how many sockets it holds (its own to the parent and no
// other worker's), as the file's captured messages.
std::int32_t decode_telling_who(const DecodeRequest&) {
    int sockets = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64];
        char target[128] = {};
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        if (readlink(link, target, sizeof target - 1) > 0 &&
            std::string(target).rfind("socket:", 0) == 0) {
            ++sockets;
        }
    }
    std::printf("%d %d\n", static_cast<int>(getpid()), sockets);
    return DECODE_OK;
}

std::vector<BatchFile> numbered_files(int count) {
    std::vector<BatchFile> files;
    for (int i = 0; i < count; ++i) {
        files.push_back({std::to_string(i) + ".mp3", "/m/"});
    }
    return files;
}

TEST_F(WorkerPool, TwoWorkersTakeManyFilesEachAndKeepTheirMessagesApart) {
    BatchResult result = run(numbered_files(40), decode_telling_who);
    EXPECT_EQ(attempted(result), 40);
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    ASSERT_EQ(listener.ends.size(), 40u);
    std::map<std::string, int> filesPerWorker;
    for (const auto& [index, end] : listener.ends) {
        EXPECT_EQ(end.result, DECODE_OK) << index;
        // One line per file: nothing of the file before it in the same worker.
        ASSERT_EQ(std::count(end.messages.begin(), end.messages.end(), '\n'), 1) << end.messages;
        std::string pid = end.messages.substr(0, end.messages.find(' '));
        EXPECT_EQ(end.messages, pid + " 1\n");
        ++filesPerWorker[pid];
    }
    EXPECT_EQ(filesPerWorker.size(), 2u);
}

TEST_F(WorkerPool, AWorkerKeepsNoneOfTheParentsDescriptorsOpen) {
    // A lock the parent holds on a descriptor that is not close-on-exec, as the window holds
    // its instance lock; a forked worker inherits it. Once the parent lets it go, the lock
    // must be free, or a copy of the program started after the window ended would find it
    // taken for as long as a worker still runs.
    const std::string lockPath = out.file("instance.lock");
    int lock = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_NE(lock, -1);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    listener.onProgress = [&lock](const RunProgress&) {
        if (lock != -1) {
            close(lock);
            lock = -1;
        }
    };
    run(numbered_files(2), [lockPath](const DecodeRequest&) -> std::int32_t {
        const int other = open(lockPath.c_str(), O_RDWR);
        bool free = false;
        for (int wait = 0; wait < 500 && other != -1 && !free; ++wait) {
            free = flock(other, LOCK_EX | LOCK_NB) == 0;
            if (!free) {
                usleep(10000);
            }
        }
        if (free) {
            flock(other, LOCK_UN);
        }
        std::printf("lock %s\n", free ? "free" : "still taken");
        return DECODE_OK;
    });
    ASSERT_EQ(listener.ends.size(), 2u);
    for (const auto& [index, end] : listener.ends) {
        EXPECT_EQ(end.messages, "lock free\n") << index;
    }
}

TEST_F(WorkerPool, EachJobCarriesItsFileWithItsPlannedOutput) {
    auto decode = [](const DecodeRequest& request) -> std::int32_t {
        std::printf("%s -> %s\n", request.input_path, request.output_path);
        return DECODE_OK;
    };
    // The decode writes a temporary file beside the planned output, which then takes its name.
    TempDir planned;
    run({{"a.mp3", "/m/sub/", "/m/", planned.file("a.wav")}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}},
        decode);
    ASSERT_EQ(listener.ends.size(), 3u);
    EXPECT_EQ(listener.ends[0].messages.rfind("/m/sub/a.mp3 -> " + planned.file(".a.wav."), 0), 0u)
        << listener.ends[0].messages;
    EXPECT_EQ(listener.ends[1].messages.rfind("/m/b.mp3 -> " + out.file(".b.wav."), 0), 0u)
        << listener.ends[1].messages;
    EXPECT_EQ(listener.ends[2].messages.rfind("/m/c.mp3 -> " + out.file(".c.wav."), 0), 0u)
        << listener.ends[2].messages;
    EXPECT_TRUE(std::filesystem::exists(planned.file("a.wav")));
    EXPECT_TRUE(std::filesystem::exists(out.file("b.wav")));
    EXPECT_TRUE(std::filesystem::exists(out.file("c.wav")));
}

TEST_F(WorkerPool, ACrashFailsOnlyItsFileAndAReplacementTakesTheRest) {
    auto decode = [](const DecodeRequest& request) -> std::int32_t {
        decode_telling_who(request);
        if (std::string(request.input_path) == "/m/5.mp3") {
            std::printf("about to crash\n");
            std::fflush(stdout);
            raise(SIGKILL);
        }
        usleep(2000);  // the crash is seen while files are still waiting
        return DECODE_OK;
    };
    BatchResult result = run(numbered_files(20), decode);
    EXPECT_EQ(attempted(result), 20);
    ASSERT_EQ(listed(result, FileEnd::Failed).size(), 1u);
    EXPECT_EQ(listed(result, FileEnd::Failed)[0],
              (Listed{"/m/5.mp3", "worker process killed by signal 9 (Killed)"}));
    ASSERT_EQ(listener.ends.size(), 20u);
    std::map<std::string, int> filesPerWorker;
    for (const auto& [index, end] : listener.ends) {
        std::string pid = end.messages.substr(0, end.messages.find(' '));
        ++filesPerWorker[pid];
        if (index == 5) {
            EXPECT_EQ(end.result, DECODE_FAILED);
            // What the crashed file wrote, read back by the parent, and only that.
            EXPECT_EQ(end.messages, pid + " 1\nabout to crash\n");
        } else {
            EXPECT_EQ(end.result, DECODE_OK) << index;
            EXPECT_EQ(end.messages, pid + " 1\n") << index;
        }
    }
    EXPECT_EQ(filesPerWorker.size(), 3u);  // the two first workers and the replacement
    EXPECT_EQ(result.stopped, false);
}

TEST_F(WorkerPool, ACancelStopsTheRunningFilesAndStartsNoOther) {
    std::vector<std::size_t> seenRunning;
    listener.onProgress = [&](const RunProgress& progress) {
        seenRunning.push_back(progress.running.size());
        if (progress.running.size() == 2 && test_run().cancelRequested == 0) {
            request_cancel(test_run());  // Ctrl-C while two files run and a third waits
        }
    };
    BatchResult result =
        run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}}, decode_until_cancelled);
    EXPECT_EQ(attempted(result), 2);
    EXPECT_EQ(listener.ends.count(2), 0u);  // never started
    EXPECT_EQ(listener.ends[0].result, DECODE_ABORTED);
    EXPECT_EQ(listener.ends[1].result, DECODE_ABORTED);
    EXPECT_EQ(result.stopped, true);
    EXPECT_TRUE(listed(result, FileEnd::Failed).empty());
    std::vector<std::string> partial = paths(result, FileEnd::Partial);
    std::sort(partial.begin(), partial.end());
    EXPECT_EQ(partial, (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3"}));
    BatchEnd end = finish_batch(result, test_run(), false);
    EXPECT_TRUE(end.cancelled);
    EXPECT_EQ(
        end.message.rfind("Decoding files aborted by user.\n\n2 files were stopped part way", 0),
        0u)
        << end.message;
}

TEST_F(WorkerPool, KillingTheWorkersFailsTheirFilesAtOnce) {
    // What a second Ctrl-C does: the workers end without finishing their files.
    bool killed = false;
    listener.onProgress = [&](const RunProgress& progress) {
        if (progress.running.size() == 2 && !killed) {
            kill_pool_workers();
            killed = true;
        }
    };
    BatchResult result = run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}}, decode_until_cancelled);
    ASSERT_TRUE(killed);
    EXPECT_EQ(listed(result, FileEnd::Failed).size(), 2u);
    EXPECT_EQ(listener.ends[0].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listener.ends[1].failure, "worker process killed by signal 9 (Killed)");
}

TEST_F(WorkerPool, ACancelBetweenFilesStartsNoFurtherFile) {
    listener.onFileEnded = [this](const PoolFileEnd&) {
        if (listener.ends.size() == 3) {
            request_cancel(test_run());
        }
    };
    BatchResult result = run(numbered_files(20), [](const DecodeRequest& request) {
        return request.progress(1, 1) != 0 ? DECODE_ABORTED : DECODE_OK;
    });
    // At the third end the worker that ended it was idle, so besides the three at most one
    // file was running; nothing started after.
    EXPECT_GE(attempted(result), 3);
    EXPECT_LE(attempted(result), 4);
    EXPECT_EQ(listener.ends.size(), static_cast<std::size_t>(attempted(result)));
    EXPECT_EQ(listener.ends.count(4), 0u);
    EXPECT_EQ(result.stopped, true);
    EXPECT_TRUE(finish_batch(result, test_run(), false).cancelled);
}

TEST_F(WorkerPool, ASecondCtrlCKillsFilesThatIgnoreTheFirst) {
    // Files that never look at the cancel: the first Ctrl-C starts nothing new, the second
    // (kill_pool_workers) ends the running ones; the waiting files never start.
    int rounds = 0;
    listener.onProgress = [&](const RunProgress& progress) {
        if (progress.running.size() == 2 && test_run().cancelRequested == 0) {
            request_cancel(test_run());
        } else if (test_run().cancelRequested != 0 && ++rounds == 3) {
            kill_pool_workers();
        }
    };
    BatchResult result = run(numbered_files(4), [](const DecodeRequest& request) {
        for (int i = 0; i < 20000; ++i) {
            request.progress(100, i % 100);
            usleep(1000);
        }
        return DECODE_OK;
    });
    EXPECT_EQ(attempted(result), 2);
    ASSERT_EQ(listener.ends.size(), 2u);
    EXPECT_EQ(listener.ends[0].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listener.ends[1].failure, "worker process killed by signal 9 (Killed)");
    EXPECT_EQ(listed(result, FileEnd::Failed).size(), 2u);
}

TEST_F(WorkerPool, RunsOnAThreadAndTakesACancelFromAnother) {
    // As the window runs it: the pool on a thread of its own, the cancel from the thread
    // that shows the dialog; the workers are forked from a process with two threads.
    std::atomic<int> running{0};
    listener.onProgress = [&](const RunProgress& progress) {
        running = static_cast<int>(progress.running.size());
    };
    BatchResult result;
    std::thread pool([&] { result = run(numbered_files(6), decode_until_cancelled); });
    for (int i = 0; i < 1000 && running < 2; ++i) {
        usleep(10000);
    }
    EXPECT_EQ(running, 2);
    request_cancel(test_run());
    pool.join();
    EXPECT_EQ(attempted(result), 2);
    EXPECT_EQ(listener.ends[0].result, DECODE_ABORTED);
    EXPECT_EQ(listener.ends[1].result, DECODE_ABORTED);
    EXPECT_EQ(result.stopped, true);
}

TEST_F(WorkerPool, TheInlineWorkerDecodesHereAndTakesACancelFromTheDialogsThread) {
    // As the window runs one file at a time: the pool on a thread of its own, no process
    // forked, the cancel from the thread that shows the dialog. The running file is kept,
    // marked as partial; the files after it never start.
    std::atomic<int> running{0};
    listener.onProgress = [&](const RunProgress& progress) {
        if (!progress.running.empty() && progress.running[0].doneKiB > 0) {
            running = 1;
        }
    };
    std::atomic<int> decodedIn{0};
    BatchState* const outer = progress_run();
    BatchResult result;
    std::thread pool([&] {
        result = run(
            {{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}},
            [&decodedIn](const DecodeRequest& request) {
                decodedIn = static_cast<int>(getpid());
                return decode_until_cancelled(request);
            },
            0);
    });
    for (int i = 0; i < 1000 && running == 0; ++i) {
        usleep(10000);
    }
    EXPECT_EQ(running, 1);
    request_cancel(test_run());
    pool.join();
    EXPECT_EQ(decodedIn, static_cast<int>(getpid()));
    EXPECT_EQ(listener.startedFiles, (std::vector<std::size_t>{0}));
    ASSERT_EQ(listener.ends.size(), 1u);
    EXPECT_EQ(listener.ends[0].result, DECODE_ABORTED);
    EXPECT_EQ(listener.notStartedFiles, 2);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(paths(result, FileEnd::Partial), (std::vector<std::string>{"/m/a.mp3"}));
    EXPECT_EQ(paths(result, FileEnd::NotStarted),
              (std::vector<std::string>{"/m/b.mp3", "/m/c.mp3"}));
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(read_file_bytes(out.file("a.wav")), &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].id, "part");
    EXPECT_TRUE(finish_batch(result, test_run(), false).cancelled);
    // The engine's callback reaches the run it reached before once the pool is done.
    EXPECT_EQ(progress_run(), outer);
}

TEST_F(WorkerPool, WorkersThatCannotStartFailTheFilesOnlyWhenNoneStartedAndNeverCancel) {
    // At the process limit fork fails. Root is exempt from the limit, so the test's own child
    // gives root up before it lowers the limit and runs the pool. The limit counts threads,
    // a sanitizer's own included: no room beyond this process's lets no worker start, room for
    // one more lets one start and refuses the second.
    auto with_process_limit = [this](rlim_t room) {
        // The limit counts every process of the user: root gives up to a user no account
        // has, since other tests run as nobody at the same time. The workers write as it.
        uid_t unused = 60999;
        while (unused > 60000 && getpwuid(unused) != nullptr) {
            --unused;
        }
        if (geteuid() == 0 && (chmod(out.path().c_str(), 0777) != 0 || setuid(unused) != 0)) {
            _exit(3);
        }
        rlim_t threads = 1;
        if (std::FILE* status = std::fopen("/proc/self/status", "re"); status != nullptr) {
            char line[256];
            while (std::fgets(line, sizeof line, status) != nullptr) {
                unsigned long count = 0;
                if (std::sscanf(line, "Threads: %lu", &count) == 1) {
                    threads = count;
                }
            }
            std::fclose(status);
        }
        const rlim_t limit = room == 0 ? 0 : threads + room;
        rlimit processes{limit, limit};
        if (setrlimit(RLIMIT_NPROC, &processes) != 0) {
            _exit(4);
        }
        BatchResult result = run({{"a.mp3", "/m/"}, {"b.mp3", "/m/"}, {"c.mp3", "/m/"}},
                                 [](const DecodeRequest&) { return DECODE_OK; });
        const BatchEnd end = finish_batch(result, test_run(), false);
        std::string reasons;
        for (const Listed& file : listed(result, FileEnd::Failed)) {
            reasons += "[" + file.reason + "]";
        }
        // The window's end message: the counts, and each file with its reason.
        const EndReport report = counted_end_report(result, end);
        std::fprintf(stderr, "decoded %zu, failed %s, cancelled %d, failures %d\n%s\nwindow: %s\n",
                     paths(result, FileEnd::Decoded).size(), reasons.c_str(), end.cancelled ? 1 : 0,
                     end.failures ? 1 : 0, end.message.c_str(), report_text(report, 1).c_str());
        _exit(0);
    };
    const std::string noWorker =
        "no worker process could be started: Resource temporarily "
        "unavailable";
    EXPECT_EXIT(with_process_limit(0), testing::ExitedWithCode(0),
                "decoded 0, failed \\[" + noWorker + "\\]\\[" + noWorker + "\\]\\[" + noWorker +
                    "\\], cancelled 0, failures 1\nDecoded 0 of 3 files\\.(.|\n)*\nwindow: 0 "
                    "decoded, 3 failed\\.\n\n/m/a\\.mp3: " +
                    noWorker + "\n\\.\\.\\. and 2 more");
    EXPECT_EXIT(with_process_limit(1), testing::ExitedWithCode(0),
                "decoded 3, failed , cancelled 0, failures 0\n.*Not every worker process could "
                "be started \\(Resource temporarily unavailable\\); the others decoded the "
                "files\\.");
}

}  // namespace

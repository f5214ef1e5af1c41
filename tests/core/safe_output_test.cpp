// The safe write with fake decodes: what lands under the output name, what is refused before
// anything is opened, and that no temporary file outlives a decode however it ends.
#include "app/core/safe_output.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A WAV file with no chunk yet, all a stopped file needs to be marked.
const Bytes EMPTY_WAV = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};

class SafeOutput : public testing::Test {
protected:
    // A request from input to output; the texts live in the fixture.
    DecodeRequest request(const std::string& input, const std::string& output) {
        input_ = input;
        output_ = output;
        DecodeRequest r;
        decode_request_init(&r);
        r.input_path = input_.c_str();
        r.output_path = output_.c_str();
        return r;
    }

    // Writes bytes to the path it is given and ends with result; remembers the path.
    DecodeFunction writing(const Bytes& bytes, std::int32_t result) {
        return [this, bytes, result](const DecodeRequest& r) {
            written = r.output_path;
            write_file_bytes(r.output_path, bytes);
            return result;
        };
    }

    TempDir dir;
    std::string written;
    std::string input_;
    std::string output_;
};

TEST_F(SafeOutput, AFinishedFileReplacesTheOldOneAStoppedOneNever) {
    write_file_bytes(dir.file("in.mp3"), {'m', 'p', '3'});
    write_file_bytes(dir.file("out.wav"), {'o', 'l', 'd'});
    FileOutcome ok = decode_into_place(request(dir.file("in.mp3"), dir.file("out.wav")),
                                       writing({'n', 'e', 'w'}, DECODE_OK));
    EXPECT_EQ(ok.end, FileEnd::Decoded);
    EXPECT_EQ(ok.reason, Reason{});
    EXPECT_EQ(ok.output, dir.file("out.wav"));
    // ".out.wav." and six letters or digits, in the output's folder.
    ASSERT_EQ(written.size(), dir.file(".out.wav.").size() + 6);
    EXPECT_EQ(written.rfind(dir.file(".out.wav."), 0), 0u) << written;
    EXPECT_EQ(read_file_bytes(dir.file("out.wav")), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"in.mp3", "out.wav"}));

    // A stopped file never replaces an older one: the older file stays, the reason says so.
    FileOutcome stopped = decode_into_place(request(dir.file("in.mp3"), dir.file("out.wav")),
                                            writing(EMPTY_WAV, DECODE_ABORTED));
    EXPECT_EQ(stopped.end, FileEnd::Partial);
    EXPECT_TRUE(stopped.output.empty());
    EXPECT_EQ(reason_text(stopped.reason), "the older WAV file was kept");
    EXPECT_EQ(read_file_bytes(dir.file("out.wav")), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"in.mp3", "out.wav"}));

    // With no older file it is kept, with the mark after it: RIFF size 4 + 24.
    FileOutcome kept = decode_into_place(request(dir.file("in.mp3"), dir.file("part.wav")),
                                         writing(EMPTY_WAV, DECODE_ABORTED));
    EXPECT_EQ(kept.output, dir.file("part.wav"));
    Bytes marked = EMPTY_WAV;
    marked[4] = 28;
    for (char c : std::string("part\x10\0\0\0stopped part way", 24)) {
        marked.push_back(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(read_file_bytes(dir.file("part.wav")), marked);
    unlink(dir.file("part.wav").c_str());

    // A decode that drops its stopped file (as --existing skip does) puts nothing in place.
    FileOutcome dropped = decode_into_place(request(dir.file("in.mp3"), dir.file("new.wav")),
                                            [](const DecodeRequest& r) {
                                                write_file_bytes(r.output_path, {'p'});
                                                unlink(r.output_path);
                                                return DECODE_ABORTED;
                                            });
    EXPECT_EQ(dropped.end, FileEnd::Partial);
    EXPECT_TRUE(dropped.output.empty());
    EXPECT_EQ(reason_text(dropped.reason), "its partial WAV file was removed");
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"in.mp3", "out.wav"}));

    // A new file has the mode a plain create gives under the umask, not mkstemp's 0600.
    mode_t mask = umask(022);
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(dir.file("out.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(SafeOutput, AFailedDecodeLeavesNothingAndTheOlderFileIntact) {
    write_file_bytes(dir.file("out.wav"), {'o', 'l', 'd'});
    // An input that is there and a regular file: the failure is the engine's own.
    FileOutcome failed = decode_into_place(request(fixture_path("short.mp3"), dir.file("out.wav")),
                                           writing({'h', 'a', 'l', 'f'}, DECODE_FAILED));
    EXPECT_EQ(failed.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(failed.reason), "decoding failed");
    EXPECT_EQ(read_file_bytes(dir.file("out.wav")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"out.wav"}));

    // The engine's verdict that there was no audio is the reason; its figures reach the
    // caller's record as well.
    DecodeStats seen{};
    DecodeRequest r = request(dir.file("in.mp3"), dir.file("new.wav"));
    r.stats = &seen;
    FileOutcome none = decode_into_place(r, [](const DecodeRequest& own) {
        EXPECT_NE(own.stats, nullptr);
        own.stats->no_audio = 1;
        own.stats->frames_decoded = 3;
        return DECODE_FAILED;
    });
    EXPECT_EQ(reason_text(none.reason), "no MPEG audio found");
    EXPECT_EQ(none.stats.frames_decoded, 3u);
    EXPECT_EQ(seen.frames_decoded, 3u);
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"out.wav"}));
}

TEST_F(SafeOutput, ALinkAtTheOutputNameIsReplacedAndItsTargetKept) {
    write_file_bytes(dir.file("precious.txt"), {'k', 'e', 'e', 'p'});
    mkdir(dir.file("out").c_str(), 0755);
    ASSERT_EQ(symlink("../precious.txt", dir.file("out/l.wav").c_str()), 0);
    ASSERT_EQ(symlink("../nowhere", dir.file("out/dangling.wav").c_str()), 0);
    for (const char* name : {"out/l.wav", "out/dangling.wav"}) {
        FileOutcome ok = decode_into_place(request(dir.file("in.mp3"), dir.file(name)),
                                           writing({'w', 'a', 'v'}, DECODE_OK));
        EXPECT_EQ(ok.end, FileEnd::Decoded) << name;
        struct stat info {};
        ASSERT_EQ(lstat(dir.file(name).c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
        EXPECT_EQ(read_file_bytes(dir.file(name)), (Bytes{'w', 'a', 'v'}));
    }
    EXPECT_EQ(read_file_bytes(dir.file("precious.txt")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(file_exists(dir.file("nowhere")));
}

TEST_F(SafeOutput, AnOutputThatIsTheInputOrAFolderIsRefusedBeforeAnyWrite) {
    write_file_bytes(dir.file("song.mp3"), {'m', 'p', '3'});
    ASSERT_EQ(symlink("song.mp3", dir.file("soft.wav").c_str()), 0);
    ASSERT_EQ(link(dir.file("song.mp3").c_str(), dir.file("hard.wav").c_str()), 0);
    mkdir(dir.file("folder.wav").c_str(), 0755);
    int calls = 0;
    auto counting = [&calls](const DecodeRequest&) {
        ++calls;
        return DECODE_OK;
    };
    for (const char* name : {"soft.wav", "hard.wav"}) {
        FileOutcome refused =
            decode_into_place(request(dir.file("song.mp3"), dir.file(name)), counting);
        EXPECT_EQ(refused.end, FileEnd::Refused);
        EXPECT_EQ(reason_text(refused.reason),
                  "the output " + dir.file(name) + " is the input file itself; not decoded");
    }
    FileOutcome folder =
        decode_into_place(request(dir.file("song.mp3"), dir.file("folder.wav")), counting);
    EXPECT_EQ(reason_text(folder.reason), dir.file("folder.wav") + ": Is a directory");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(read_file_bytes(dir.file("song.mp3")), (Bytes{'m', 'p', '3'}));
    EXPECT_EQ(folder_entries(dir.path()),
              (std::vector<std::string>{"folder.wav", "hard.wav", "soft.wav", "song.mp3"}));
}

TEST_F(SafeOutput, ATemporaryFileSwappedForALinkIsNeitherMovedNorRemoved) {
    write_file_bytes(dir.file("target"), {'t'});
    FileOutcome outcome = decode_into_place(
        request(dir.file("in.mp3"), dir.file("out.wav")), [this](const DecodeRequest& r) {
            written = r.output_path;
            unlink(r.output_path);
            EXPECT_EQ(symlink(dir.file("target").c_str(), r.output_path), 0);
            return DECODE_OK;
        });
    EXPECT_EQ(outcome.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(outcome.reason), "the file being written, " + written +
                                               ", was replaced; " + dir.file("out.wav") +
                                               " is left as it was");
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
    EXPECT_EQ(read_file_bytes(dir.file("target")), (Bytes{'t'}));
}

TEST_F(SafeOutput, AFolderThatTakesNoFileFailsWithTheSystemsReason) {
    // The folder is gone (the plan checked it before the run): said as such.
    FileOutcome outcome = decode_into_place(request(dir.file("in.mp3"), dir.file("none/out.wav")),
                                            writing({'x'}, DECODE_OK));
    EXPECT_EQ(outcome.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(outcome.reason), "the output folder was removed");
    EXPECT_EQ(written, "");  // never decoded

    // A plain file where the folder should be: the system's words.
    write_file_bytes(dir.file("plain"), {'p'});
    outcome = decode_into_place(request(dir.file("in.mp3"), dir.file("plain/out.wav")),
                                writing({'x'}, DECODE_OK));
    EXPECT_EQ(reason_text(outcome.reason),
              "cannot create a file in " + dir.file("plain") + ": Not a directory");

    // The folder removed while the file was being written: not "replaced", but gone.
    ASSERT_EQ(mkdir(dir.file("going").c_str(), 0755), 0);
    outcome = decode_into_place(request(dir.file("in.mp3"), dir.file("going/out.wav")),
                                [this](const DecodeRequest& r) {
                                    write_file_bytes(r.output_path, {'w'});
                                    unlink(r.output_path);
                                    rmdir(dir.file("going").c_str());
                                    return DECODE_OK;
                                });
    EXPECT_EQ(outcome.end, FileEnd::Failed);
    EXPECT_EQ(reason_text(outcome.reason), "the output folder was removed");
    EXPECT_TRUE(outcome.output.empty());
}

TEST_F(SafeOutput, FailuresSayTheSystemsReasonForTheOutputAndTheInput) {
    // What the engine reports about writing: the system's error, or the RIFF size limit.
    auto failing_with = [](std::int32_t error) {
        return [error](const DecodeRequest& r) {
            r.stats->output_error = error;
            return DECODE_FAILED;
        };
    };
    const std::string input = fixture_path("short.mp3");
    FileOutcome full = decode_into_place(request(input, dir.file("a.wav")), failing_with(ENOSPC));
    EXPECT_EQ(full.reason, (Reason{ReasonKind::Output, ENOSPC, {}}));
    EXPECT_EQ(reason_text(full.reason), "No space left on device");
    FileOutcome big = decode_into_place(request(input, dir.file("a.wav")), failing_with(EFBIG));
    EXPECT_EQ(reason_text(big.reason), "File too large");
    FileOutcome limit =
        decode_into_place(request(input, dir.file("a.wav")), failing_with(OUTPUT_PAST_WAV_LIMIT));
    EXPECT_EQ(reason_text(limit.reason), "output would pass the 4 GiB WAV limit");

    // The input side, as it is when the decode has failed.
    ASSERT_EQ(mkfifo(dir.file("fifo.mp3").c_str(), 0644), 0);
    FileOutcome fifo =
        decode_into_place(request(dir.file("fifo.mp3"), dir.file("b.wav")), failing_with(0));
    EXPECT_EQ(reason_text(fifo.reason), "not a regular file");
    FileOutcome gone =
        decode_into_place(request(dir.file("gone.mp3"), dir.file("b.wav")), failing_with(0));
    EXPECT_EQ(reason_text(gone.reason), "the input vanished");
    EXPECT_FALSE(file_exists(dir.file("a.wav")));
    EXPECT_FALSE(file_exists(dir.file("b.wav")));
}

TEST_F(SafeOutput, TheUnfinishedFileCanBeRemovedFromASignalHandler) {
    FileOutcome outcome = decode_into_place(
        request(dir.file("in.mp3"), dir.file("out.wav")), [](const DecodeRequest& r) {
            write_file_bytes(r.output_path, {'h', 'a', 'l', 'f'});
            remove_unfinished_output();  // what a second Ctrl-C does before the program ends
            EXPECT_FALSE(file_exists(r.output_path));
            return DECODE_FAILED;
        });
    EXPECT_EQ(outcome.end, FileEnd::Failed);
    EXPECT_TRUE(folder_entries(dir.path()).empty());
    remove_unfinished_output();  // between decodes: nothing to remove, nothing harmed
}

// What a worker or the command line does on a signal that ends it at once.
void remove_and_end(int signal) {
    remove_unfinished_output();
    _exit(128 + signal);
}

TEST_F(SafeOutput, ASignalThatEndsTheProgramAtAnyMomentLeavesNoTemporaryFile) {
    // Files written into place one after another until a signal ends the process, at moments
    // spread over the whole of a file's course: its temporary file's creation included, before
    // its name is held for the handler.
    const std::string out = dir.file("out.wav");
    int signals = 0;
    unsigned seed = 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < until) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            struct sigaction action {};
            action.sa_handler = remove_and_end;
            sigaction(SIGTERM, &action, nullptr);
            DecodeRequest r = request(dir.file("in.mp3"), out);
            for (;;) {
                decode_into_place(r, [](const DecodeRequest& each) {
                    write_file_bytes(each.output_path, EMPTY_WAV);
                    return DECODE_OK;
                });
            }
        }
        seed = seed * 1103515245u + 12345u;
        usleep(200 + (seed >> 16) % 800);
        kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        ++signals;
        for (const std::string& name : folder_entries(dir.path())) {
            ASSERT_EQ(name, "out.wav") << "after " << signals << " signals";
        }
    }
    EXPECT_GT(signals, 20);
}

TEST_F(SafeOutput, TemporaryNamesStayWithinTheLongestFileName) {
    EXPECT_EQ(temporary_output_name("/o/song.wav", "abcdef"), "/o/.song.wav.abcdef");
    EXPECT_EQ(temporary_output_name("song.wav", "abcdef"), ".song.wav.abcdef");
    std::string longest(NAME_MAX, 'x');
    std::string name = temporary_output_name("/o/" + longest, "abcdef");
    EXPECT_EQ(name.size(), 3u + NAME_MAX);
    EXPECT_EQ(name, "/o/." + longest.substr(0, NAME_MAX - 8) + ".abcdef");

    // And such a name can be created: the output of the longest name is decoded.
    std::string output = dir.file(std::string(NAME_MAX - 4, 'y') + ".wav");
    FileOutcome ok =
        decode_into_place(request(dir.file("in.mp3"), output), writing({'w'}, DECODE_OK));
    EXPECT_EQ(ok.end, FileEnd::Decoded) << reason_text(ok.reason);
    EXPECT_EQ(read_file_bytes(output), (Bytes{'w'}));
}

}  // namespace

#include "app/core/safe_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "app/core/output_name.h"
#include "app/core/partial_mark.h"
#include "app/core/system_message.h"

namespace {

// The temporary file of the decode in progress, for remove_unfinished_output: a signal
// handler can reach only process-wide data. Set while the name is ours to remove.
// Constant-initialised, so that a handler running before any dynamic initialisation finds
// them in their empty state; the fences keep the name's bytes from being seen after the flag.
constinit char unfinished[PATH_MAX] = {};
constinit volatile std::sig_atomic_t unfinishedSet = 0;

void hold_unfinished(const std::string& path) {
    if (path.size() < sizeof unfinished) {
        std::memcpy(unfinished, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_release);
        unfinishedSet = 1;
    }
}

void release_unfinished() {
    unfinishedSet = 0;
    std::atomic_signal_fence(std::memory_order_release);
}

std::string random_suffix() {
    static constexpr char LETTERS[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // Only the uniqueness matters, and O_EXCL guards that: any varying bytes do.
        static unsigned counter = 0;
        unsigned long seed = static_cast<unsigned long>(getpid()) * 2654435761u ^
                             static_cast<unsigned long>(std::time(nullptr)) ^ ++counter * 40503u;
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(seed);
            seed = seed * 1103515245u + 12345u;
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes) {
        suffix += LETTERS[byte % (sizeof LETTERS - 1)];
    }
    return suffix;
}

std::string folder_of(const std::string& path);

// A lock of the whole file held by an open file description: a record lock of the kind that
// is independent of flock, which the normalizer takes on the same file for its own purpose.
// type F_WRLCK for the writer, F_RDLCK to test for one; false when another holds a lock.
bool lock_whole_file(int fd, short type, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// A new file of ours (never one that was there, never through a link), with the mode a plain
// create gives, held under an exclusive lock for as long as it is open: the lock tells a
// later run that the file is still being written (see remove_stale_temporaries). Returns its
// descriptor, or -1 with errno set.
int create_temporary(const std::string& output, std::string& path) {
    // An unnamed file is locked before it gets its name, so that no other run ever sees the
    // name without the lock. Where the file system or /proc does not allow it, the name comes
    // first and the lock a moment later.
    int fd = open(folder_of(output).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd != -1) {
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
        if (lock_whole_file(fd, F_WRLCK, true)) {
            for (int attempt = 0; attempt < 100; ++attempt) {
                path = temporary_output_name(output, random_suffix());
                if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                    return fd;
                }
                if (errno != EEXIST) {
                    break;
                }
            }
        }
        close(fd);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = temporary_output_name(output, random_suffix());
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd != -1) {
            if (!lock_whole_file(fd, F_WRLCK, true)) {
                const int error = errno;
                unlink(path.c_str());
                close(fd);
                errno = error;
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Why the output must not be written, before anything is opened; kind None when it may.
Reason refusal(const DecodeRequest& request, const std::string& output) {
    struct stat target {};
    if (stat(output.c_str(), &target) != 0) {
        return {};  // nothing there, or a link to nothing: the link is replaced
    }
    struct stat link {};
    if (lstat(output.c_str(), &link) == 0 && S_ISDIR(link.st_mode)) {
        return {ReasonKind::Text, 0, path_error_message(output, EISDIR)};
    }
    struct stat input {};
    if (request.input_path != nullptr && stat(request.input_path, &input) == 0 &&
        same_file(input, target)) {
        return {ReasonKind::Text, 0,
                "the output " + output + " is the input file itself; not decoded"};
    }
    return {};
}

bool folder_gone(const std::string& output) {
    struct stat info {};
    return stat(folder_of(output).c_str(), &info) != 0 && errno == ENOENT;
}

// Why a decode failed, from what the engine reported and what the input and the output folder
// are now; the engine's prose is never read.
Reason failure_reason(const DecodeRequest& request, const DecodeStats& stats,
                      const std::string& output) {
    if (stats.no_audio != 0) {
        return {ReasonKind::NoAudio};
    }
    if (stats.output_error == OUTPUT_PAST_WAV_LIMIT) {
        return {ReasonKind::WavLimit};
    }
    if (!output.empty() && output != "-" && folder_gone(output)) {
        return {ReasonKind::OutputFolderGone};
    }
    if (stats.output_error != 0) {
        return {ReasonKind::Output, stats.output_error, {}};
    }
    if (request.input_path != nullptr) {
        // O_NONBLOCK: a FIFO put in the input's place must not hold this check up.
        int fd = open(request.input_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd == -1) {
            const int error = errno;
            return error == ENOENT ? Reason{ReasonKind::InputGone}
                                   : Reason{ReasonKind::Input, error, {}};
        }
        struct stat info {};
        const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        close(fd);
        if (!regular) {
            return {ReasonKind::NotRegular};
        }
    }
    return {ReasonKind::Engine};
}

// The decode wrote into the file we created, and the name still leads to it: nobody put a
// link or another file in its place meanwhile.
bool still_ours(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
           same_file(held, named);
}

// An existing file the user may not write is not replaced, as cp refuses it: renaming over it
// needs only the folder's permission, which would make the protection worthless.
bool write_protected(const std::string& output) {
    struct stat named {};
    return lstat(output.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
           faccessat(AT_FDCWD, output.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// 0 once from has the name to; otherwise the errno value, EEXIST when the name is taken.
int rename_no_replace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return errno;
    }
    // The file system cannot rename without replacing: a second name, which is made only
    // where none exists, and then the first one removed.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) {
        return errno;
    }
    // Nor links (FAT, exFAT): look, then rename. Only here can a file that appears between the
    // two calls be replaced.
    struct stat there {};
    if (lstat(to.c_str(), &there) == 0) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Renaming: the planned name, else the next free number at this moment. placed receives the
// name taken.
int place_numbered(const std::string& from, const std::string& output, std::string& placed) {
    int n = 1;
    const std::string unnumbered = unnumbered_file_path(output, &n);
    const std::size_t longest = longest_file_name(output);
    placed = output;
    for (int attempt = 0; attempt < 100000; ++attempt) {
        const int error = rename_no_replace(from, placed);
        if (error != EEXIST) {
            return error;
        }
        placed = numbered_file_path(unnumbered, ++n, longest);
    }
    return EEXIST;
}

// Where the temporary files of an output are and how their names begin.
struct StalePattern {
    std::string folder;  // "" or ending in '/'
    std::string prefix;  // "." + the (cut) name + "."
};

StalePattern stale_pattern(const std::string& output) {
    const std::string pattern = temporary_output_name(output, "XXXXXX");
    const std::size_t slash = pattern.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return {pattern.substr(0, start), pattern.substr(start, pattern.size() - start - 6)};
}

// The names in folder that could be temporary files of ours: ".name.XXXXXX".
std::vector<std::string> dot_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());  // close-on-exec in glibc
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 8 && name[0] == '.' && name[name.size() - 7] == '.') {
            names.push_back(name);
        }
    }
    closedir(dir);
    return names;
}

// Removes folder + name when it is a temporary file of the pattern's output that no writer
// holds: its writer ended without removing it. A live writer of this or another run holds
// the lock and keeps its file. True when the name is gone or no temporary file of ours.
bool remove_if_stale(const StalePattern& pattern, const std::string& name) {
    if (name.size() != pattern.prefix.size() + 6 ||
        name.compare(0, pattern.prefix.size(), pattern.prefix) != 0) {
        return false;
    }
    const std::string path = pattern.folder + name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) {
        return errno == ENOENT;
    }
    struct stat held {};
    struct stat named {};
    bool removed = false;
    if (lock_whole_file(fd, F_RDLCK, false) && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        lstat(path.c_str(), &named) == 0 && same_file(held, named)) {
        removed = unlink(path.c_str()) == 0;
    }
    close(fd);
    return removed;
}

// The dot names of each output folder, read at the first placement into it: a folder of
// thousands of WAV files is then not read again for every file put in place. Files of runs
// killed before this one started are all there; a worker of this run that is killed is
// cleaned up after at once (remove_stale_temporaries). The window places from one thread at
// a time, but the lock keeps that an assumption nobody has to check.
std::mutex staleMutex;
std::map<std::string, std::vector<std::string>> staleNames;

void remove_stale_before_placing(const std::string& output) {
    const StalePattern pattern = stale_pattern(output);
    std::lock_guard<std::mutex> hold(staleMutex);
    auto known = staleNames.find(pattern.folder);
    if (known == staleNames.end()) {
        known = staleNames.emplace(pattern.folder, dot_names(pattern.folder)).first;
    }
    std::vector<std::string>& names = known->second;
    for (std::size_t i = 0; i < names.size();) {
        if (remove_if_stale(pattern, names[i])) {
            names.erase(names.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

}  // namespace

std::string temporary_output_name(const std::string& output, const std::string& suffix) {
    std::size_t slash = output.rfind('/');
    std::string folder = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    const std::size_t room = NAME_MAX - 2 - suffix.size();  // the dots before and after
    if (name.size() > room) {
        name.resize(room);
    }
    return folder + "." + name + "." + suffix;
}

FileOutcome decode_into_place(const DecodeRequest& request, const DecodeFunction& decode,
                              ExistingPolicy existing) {
    FileOutcome outcome;
    outcome.input = request.input_path != nullptr ? request.input_path : "";
    const std::string output = request.output_path != nullptr ? request.output_path : "";
    DecodeRequest own = request;
    own.stats = &outcome.stats;
    auto run = [&decode, &outcome](const DecodeRequest& r) {
        outcome.engineRan = true;
        return decode ? decode(r) : decode_file(&r);
    };
    auto finish = [&request, &outcome] {
        if (request.stats != nullptr) {
            *request.stats = outcome.stats;
        }
        return outcome;
    };
    auto ended = [&](std::int32_t result) {
        if (result == DECODE_ABORTED) {
            outcome.end = FileEnd::Partial;
            outcome.reason = {ReasonKind::Stopped};
        } else if (result == DECODE_OK) {
            outcome.end = FileEnd::Decoded;
        } else {
            outcome.end = FileEnd::Failed;
            outcome.reason = failure_reason(request, outcome.stats, output);
        }
    };
    auto fail = [&outcome](Reason reason) {
        outcome.end = FileEnd::Failed;
        outcome.reason = std::move(reason);
    };
    if (output.empty() || output == "-") {
        ended(run(own));
        if (outcome.end != FileEnd::Failed) {
            outcome.output = output;
        }
        return finish();
    }

    outcome.reason = refusal(request, output);
    if (outcome.reason.kind != ReasonKind::None) {
        outcome.end = FileEnd::Refused;
        return finish();
    }
    if (existing == ExistingPolicy::Overwrite && write_protected(output)) {
        fail({ReasonKind::Text, 0, WRITE_PROTECTED_REASON});
        return finish();
    }
    std::string temporary;
    int fd = -1;
    {
        // A handler that ends the program at once removes the temporary file by the name held
        // for it: it waits until the file both exists and is held, or the file would be left.
        const EndingSignalsHeld held;
        fd = create_temporary(output, temporary);
        if (fd != -1) {
            hold_unfinished(temporary);
        }
    }
    if (fd == -1) {
        const int error = errno;
        fail(error == ENOENT && folder_gone(output)
                 ? Reason{ReasonKind::OutputFolderGone}
                 : Reason{ReasonKind::Output, error,
                          "cannot create a file in " + folder_of(output)});
        return finish();
    }
    own.output_path = temporary.c_str();
    ended(run(own));

    struct stat left {};
    if (outcome.end == FileEnd::Failed) {
        // the reason is set; the temporary file goes below
    } else if (outcome.end == FileEnd::Partial && lstat(temporary.c_str(), &left) != 0 &&
               errno == ENOENT) {
        // The decode function dropped the stopped file on purpose (output_decoder does, so
        // that a resumed run finds only finished files): nothing goes in place.
        outcome.reason = {ReasonKind::StoppedRemoved};
        release_unfinished();
        close(fd);
        return finish();
    } else if (folder_gone(output)) {
        fail({ReasonKind::OutputFolderGone});
        close(fd);
        release_unfinished();  // gone with its folder
        return finish();
    } else if (!still_ours(fd, temporary)) {
        fail({ReasonKind::Text, 0,
              "the file being written, " + temporary + ", was replaced; " + output +
                  " is left as it was"});
        close(fd);
        release_unfinished();  // not ours to remove any more
        return finish();
    } else {
        remove_stale_before_placing(output);
        std::string placed = output;
        int error = 0;
        if (outcome.end == FileEnd::Partial) {
            // A partial file never replaces anything, and carries a mark so that no later
            // run takes it for a finished one.
            if (!mark_partial_wav(fd)) {
                error = errno;
                outcome.reason = {ReasonKind::Text, error,
                                  "the partial file could not be marked as such and was removed"};
            } else if (existing == ExistingPolicy::Rename) {
                error = place_numbered(temporary, output, placed);
            } else {
                error = rename_no_replace(temporary, output);
            }
            if (error == EEXIST) {
                outcome.reason = {ReasonKind::StoppedOlderKept};
            } else if (error != 0 && outcome.reason.kind == ReasonKind::Stopped) {
                outcome.reason = {ReasonKind::Output, error,
                                  "cannot put the partial file in place as " + output};
            }
        } else if (existing == ExistingPolicy::Overwrite) {
            // Looked at again: the protected file may have been put there during the decode.
            if (write_protected(output)) {
                error = EACCES;
                fail({ReasonKind::Text, 0, WRITE_PROTECTED_REASON});
            } else {
                error = rename(temporary.c_str(), output.c_str()) == 0 ? 0 : errno;
            }
        } else if (existing == ExistingPolicy::Rename) {
            error = place_numbered(temporary, output, placed);
        } else {
            error = rename_no_replace(temporary, output);
            // A partial file of a cancelled run is no finished file: the resumed run
            // replaces it.
            if (error == EEXIST && is_partial_wav(output)) {
                error = rename(temporary.c_str(), output.c_str()) == 0 ? 0 : errno;
            }
            if (error == EEXIST) {
                fail({ReasonKind::Text, 0,
                      "a WAV file of that name appeared during the run; it is left as it was"});
            }
        }
        if (error == 0) {
            outcome.output = placed;
        } else if (outcome.end == FileEnd::Decoded) {
            fail({ReasonKind::Text, 0,
                  "cannot put the finished file in place: " + path_error_message(placed, error)});
        }
        if (error != 0) {
            unlink(temporary.c_str());
        }
    }
    if (outcome.end == FileEnd::Failed) {
        unlink(temporary.c_str());
    }
    release_unfinished();
    close(fd);
    return finish();
}

void remove_stale_temporaries(const std::string& output) {
    const StalePattern pattern = stale_pattern(output);
    for (const std::string& name : dot_names(pattern.folder)) {
        remove_if_stale(pattern, name);
    }
}

EndingSignalsHeld::EndingSignalsHeld() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&ending, signal);
    }
    pthread_sigmask(SIG_BLOCK, &ending, &before_);
}

EndingSignalsHeld::~EndingSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

void remove_unfinished_output() {
    if (unfinishedSet != 0) {
        std::atomic_signal_fence(std::memory_order_acquire);
        unlink(unfinished);
    }
}

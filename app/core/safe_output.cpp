#include "app/core/safe_output.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "app/core/system_message.h"

namespace {

// The temporary file of the decode in progress, for remove_unfinished_output: a signal
// handler can reach only process-wide data. Set while the name is ours to remove.
char unfinished[PATH_MAX];
volatile std::sig_atomic_t unfinishedSet = 0;

void hold_unfinished(const std::string& path) {
    if (path.size() < sizeof unfinished) {
        std::memcpy(unfinished, path.c_str(), path.size() + 1);
        unfinishedSet = 1;
    }
}

void release_unfinished() {
    unfinishedSet = 0;
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

// A new file of ours (O_EXCL: never one that was there, never through a link), with the
// mode a plain create gives. Returns its descriptor, or -1 with errno set.
int create_temporary(const std::string& output, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = temporary_output_name(output, random_suffix());
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd != -1 || errno != EEXIST) {
            return fd;
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

// Why the output must not be written, before anything is opened; empty when it may.
std::string refusal(const DecodeRequest& request, const std::string& output) {
    struct stat target {};
    if (stat(output.c_str(), &target) != 0) {
        return {};  // nothing there, or a link to nothing: the link is replaced
    }
    struct stat link {};
    if (lstat(output.c_str(), &link) == 0 && S_ISDIR(link.st_mode)) {
        return path_error_message(output, EISDIR);
    }
    struct stat input {};
    if (request.input_path != nullptr && stat(request.input_path, &input) == 0 &&
        same_file(input, target)) {
        return "the output " + output + " is the input file itself; not decoded";
    }
    return {};
}

// The decode wrote into the file we created, and the name still leads to it: nobody put a
// link or another file in its place meanwhile.
bool still_ours(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
           same_file(held, named);
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

FileOutcome decode_into_place(const DecodeRequest& request, const DecodeFunction& decode) {
    FileOutcome outcome;
    const std::string output = request.output_path != nullptr ? request.output_path : "";
    DecodeRequest own = request;
    own.stats = &outcome.stats;
    auto run = [&decode](const DecodeRequest& r) { return decode ? decode(r) : decode_file(&r); };
    auto finish = [&request, &outcome] {
        if (request.stats != nullptr) {
            *request.stats = outcome.stats;
        }
        return outcome;
    };
    if (output.empty() || output == "-") {
        outcome.result = run(own);
        if (outcome.result == DECODE_FAILED) {
            outcome.reason = outcome.stats.no_audio != 0 ? NO_AUDIO_REASON : DECODE_FAILED_REASON;
        }
        return finish();
    }

    outcome.reason = refusal(request, output);
    if (!outcome.reason.empty()) {
        return finish();
    }
    std::string temporary;
    int fd = create_temporary(output, temporary);
    if (fd == -1) {
        const int error = errno;
        outcome.reason =
            "cannot create a file in " + folder_of(output) + ": " + errno_message(error);
        return finish();
    }
    hold_unfinished(temporary);
    own.output_path = temporary.c_str();
    outcome.result = run(own);

    struct stat left {};
    if (outcome.result == DECODE_FAILED) {
        outcome.reason = outcome.stats.no_audio != 0 ? NO_AUDIO_REASON : DECODE_FAILED_REASON;
    } else if (outcome.result == DECODE_ABORTED && lstat(temporary.c_str(), &left) != 0 &&
               errno == ENOENT) {
        // The decode function dropped the stopped file on purpose (output_decoder does, so
        // that a resumed run finds only finished files): nothing goes in place.
        release_unfinished();
        close(fd);
        return finish();
    } else if (!still_ours(fd, temporary)) {
        outcome.result = DECODE_FAILED;
        outcome.reason = "the file being written, " + temporary + ", was replaced; " + output +
                         " is left as it was";
        close(fd);
        release_unfinished();  // not ours to remove any more
        return finish();
    } else if (rename(temporary.c_str(), output.c_str()) != 0) {
        const int error = errno;
        outcome.reason =
            "cannot put the finished file in place: " + path_error_message(output, error);
        outcome.result = DECODE_FAILED;
    } else {
        outcome.kept = true;
    }
    if (outcome.result == DECODE_FAILED) {
        unlink(temporary.c_str());
    }
    release_unfinished();
    close(fd);
    return finish();
}

void remove_unfinished_output() {
    if (unfinishedSet != 0) {
        unlink(unfinished);
    }
}

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
    std::string temporary;
    int fd = create_temporary(output, temporary);
    if (fd == -1) {
        const int error = errno;
        outcome.end = FileEnd::Failed;
        outcome.reason =
            error == ENOENT && folder_gone(output)
                ? Reason{ReasonKind::OutputFolderGone}
                : Reason{ReasonKind::Output, error, "cannot create a file in " + folder_of(output)};
        return finish();
    }
    hold_unfinished(temporary);
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
        outcome.end = FileEnd::Failed;
        outcome.reason = {ReasonKind::OutputFolderGone};
        close(fd);
        release_unfinished();  // gone with its folder
        return finish();
    } else if (!still_ours(fd, temporary)) {
        outcome.end = FileEnd::Failed;
        outcome.reason = {ReasonKind::Text, 0,
                          "the file being written, " + temporary + ", was replaced; " + output +
                              " is left as it was"};
        close(fd);
        release_unfinished();  // not ours to remove any more
        return finish();
    } else if (rename(temporary.c_str(), output.c_str()) != 0) {
        const int error = errno;
        outcome.end = FileEnd::Failed;
        outcome.reason = {
            ReasonKind::Text, 0,
            "cannot put the finished file in place: " + path_error_message(output, error)};
    } else {
        outcome.output = output;
    }
    if (outcome.end == FileEnd::Failed) {
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

#include "app/core/cue_sheet.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "app/core/natural_order.h"
#include "app/core/safe_output.h"
#include "app/core/system_message.h"
#include "info/tag_info.h"
#include "normalize/pcmwav.h"

namespace {

constexpr std::size_t CUE_TRACKS_MAX = 99;  // track numbers on a CD
constexpr std::uint32_t CD_RATE = 44100;

std::string two_digits(std::uint64_t n) {
    char text[24];
    std::snprintf(text, sizeof text, "%02llu", static_cast<unsigned long long>(n));
    return text;
}

std::string minutes_text(std::uint64_t frames) {
    const std::uint64_t seconds = frames / CD_RATE;
    return std::to_string(seconds / 60) + ":" + two_digits(seconds % 60);
}

bool has_suffix_wav(const std::string& name) {
    if (name.size() < 5) {
        return false;
    }
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix == ".wav";
}

// A file name the FILE line can carry as it is: no double quote, no control character.
bool nameable(const std::string& name) {
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

// The visible WAV files of a folder in name order; temporary files start with a dot.
std::vector<std::string> wav_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && has_suffix_wav(name)) {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), natural_less);
    return names;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder's name for its sheet: "/music/Album" gives "Album".
std::string folder_name(const std::string& folder) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::string name = base_name(trimmed);
    return name.empty() || name == "/" || name == "." ? "disc" : name;
}

// Writes text to path under a temporary name beside it, renamed into place when complete.
// Returns 0 or the errno of the step that failed.
int write_file_safely(const std::string& path, const std::string& text) {
    // A sheet is small: a signal that ends the program waits until it is in place or removed.
    const EndingSignalsHeld held;
    std::string temporary = temporary_output_name(path, "XXXXXX");
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd == -1) {
        return errno;
    }
    std::size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // A sheet is read by people and burners; the mode is what a new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    if (error == 0 && fchmod(fd, 0666 & ~mask) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
    }
    return error;
}

// The sheet of one folder; warnings are appended.
void write_folder_sheet(const std::string& folder, const std::map<std::string, std::string>& inputs,
                        std::vector<std::string>* warnings) {
    std::vector<CueTrack> tracks;
    std::set<std::string> albums;
    std::set<std::string> artists;
    bool untagged = false;
    for (const std::string& name : wav_names(folder)) {
        const std::string path = folder + "/" + name;
        if (!nameable(name)) {
            warnings->push_back(path +
                                ": a name with a double quote or a control character "
                                "cannot be given in a cue sheet; left out");
            continue;
        }
        PcmWavFile wav;
        if (pcmwav_open(path.c_str(), O_RDONLY, &wav) == 0) {
            warnings->push_back(path + ": not CD audio; left out of the cue sheet");
            continue;
        }
        const bool cd =
            wav.sample_rate == CD_RATE && wav.channels == 2 && wav.bits_per_sample == 16;
        const std::uint64_t frames = wav.data_size / 4;
        pcmwav_close(&wav);
        if (!cd) {
            warnings->push_back(path + ": not CD audio; left out of the cue sheet");
            continue;
        }
        CueTrack track{name, "", "", frames};
        const auto input = inputs.find(path);
        if (input != inputs.end()) {
            const TagInfo tag = read_tag_info(input->second.c_str());
            track.title = tag.title;
            track.performer = tag.artist;
            if (!tag.album.empty()) {
                albums.insert(tag.album);
            }
            if (!tag.artist.empty()) {
                artists.insert(tag.artist);
            }
            untagged = untagged || (tag.album.empty() && tag.artist.empty());
        } else {
            untagged = true;
        }
        tracks.push_back(track);
    }
    const std::string sheet = folder + "/" + folder_name(folder) + ".cue";
    if (tracks.empty()) {
        warnings->push_back(sheet + ": no CD audio in the folder; no cue sheet written");
        return;
    }
    if (tracks.size() > CUE_TRACKS_MAX) {
        warnings->push_back(sheet + ": " + std::to_string(tracks.size()) +
                            " tracks, more than a CD holds (99); no cue sheet written");
        return;
    }
    std::uint64_t total = 0;
    for (const CueTrack& track : tracks) {
        total += track.frames;
    }
    if (total > CUE_CD_FRAMES_MAX) {
        warnings->push_back(sheet + ": " + minutes_text(total) +
                            " of audio, longer than an 80-minute CD (79:57)");
    }
    const std::string title = albums.size() == 1 && !untagged ? *albums.begin() : "";
    const std::string performer = artists.size() == 1 && !untagged ? *artists.begin() : "";
    if (const int error = write_file_safely(sheet, cue_sheet_text(title, performer, tracks));
        error != 0) {
        warnings->push_back(path_error_message(sheet, error) + "; no cue sheet written");
    }
}

}  // namespace

std::string cue_quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '\'';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            quoted += ' ';
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string cue_sheet_text(const std::string& title, const std::string& performer,
                           const std::vector<CueTrack>& tracks) {
    std::string text;
    if (!performer.empty()) {
        text += "PERFORMER " + cue_quote(performer) + "\n";
    }
    if (!title.empty()) {
        text += "TITLE " + cue_quote(title) + "\n";
    }
    std::uint64_t number = 0;
    for (const CueTrack& track : tracks) {
        text += "FILE " + cue_quote(track.file) + " WAVE\n";
        text += "  TRACK " + two_digits(++number) + " AUDIO\n";
        if (!track.title.empty()) {
            text += "    TITLE " + cue_quote(track.title) + "\n";
        }
        if (!track.performer.empty()) {
            text += "    PERFORMER " + cue_quote(track.performer) + "\n";
        }
        text += "    INDEX 01 00:00:00\n";
    }
    return text;
}

std::vector<std::string> write_cue_sheets(const std::vector<CueSource>& sources) {
    std::vector<std::string> warnings;
    std::map<std::string, std::string> inputs;  // output path -> input path
    std::vector<std::string> folders;
    for (const CueSource& source : sources) {
        inputs[source.output] = source.input;
        const std::string folder = folder_of(source.output);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    for (const std::string& folder : folders) {
        write_folder_sheet(folder, inputs, &warnings);
    }
    return warnings;
}

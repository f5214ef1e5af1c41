// Cue sheets for burning a folder of CD-audio WAV files as one disc: one sheet per folder,
// `<folder name>.cue`, with each WAV file as a track in name order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A track of a sheet: the WAV file's name in its folder, its texts and its length.
struct CueTrack {
    std::string file;
    std::string title;      // empty: none
    std::string performer;  // empty: none
    std::uint64_t frames;   // sample frames at 44100 Hz
};

// The longest audio an 80-minute CD-R holds as burners count it: 79:57.
constexpr std::uint64_t CUE_CD_FRAMES_MAX = (79 * 60 + 57) * std::uint64_t{44100};

// A text as a quoted cue-sheet string. The format has no escape, so a double quote becomes
// an apostrophe and control characters become spaces; the text stays UTF-8.
std::string cue_quote(const std::string& text);

// The sheet of tracks (at most 99), album title and performer given once at the top when
// not empty.
std::string cue_sheet_text(const std::string& title, const std::string& performer,
                           const std::vector<CueTrack>& tracks);

// A WAV file written by the run, with the MPEG file it came from (for its tags).
struct CueSource {
    std::string input;
    std::string output;
};

// Writes the sheet of every folder the sources were written to: each CD-audio WAV file in
// the folder (44100 Hz, 16-bit, two channels), in name order with numbers by value, as a
// track; TITLE and PERFORMER from the source's tags, the album's once when every tagged track
// shares it. Each sheet goes under a temporary name and is renamed into place. Returns one
// line per warning or failure (a file left out and why, a folder over 79:57, a sheet not
// written); empty when all went well.
std::vector<std::string> write_cue_sheets(const std::vector<CueSource>& sources);

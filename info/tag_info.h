// The information page's data: seven tag fields read through id3lib, the genre names, and
// the four frame-header lines, without any window.
#pragma once

#include <array>
#include <string>

constexpr int GENRE_NONE = 255;
constexpr int GENRE_COUNT = 148;

// The name of genre number n, or "" when n is not below GENRE_COUNT.
const char* genre_name(int n);

// Texts are UTF-8, whatever encoding the tag stored them in.
struct TagInfo {
    std::string title;
    std::string artist;  // TPE1, else TPE2, else TPE3, else TCOM
    std::string album;
    std::string year;
    std::string comment;
    int track = 0;           // leading number of TRCK ("07/12" gives 7), 0 when absent
    int genre = GENRE_NONE;  // "(n)..." with n below 256, else GENRE_NONE
    std::string genreName;   // genre_name(genre); the text itself when it names no number
};

// Reads ID3v1, ID3v2 and Lyrics3 tags; a file that cannot be read gives empty fields.
// ID3v2 tags id3lib cannot parse without crashing (compressed frames, a size past the end of
// the file, damaged frame headers) are skipped; the tags at the end of the file still count.
TagInfo read_tag_info(const char* path);

// Everything the page shows.
struct InfoFields {
    std::string prompt;
    std::array<std::string, 4> headerLines;
    std::string gapLine;  // format_length_line, empty when no frame was found
    TagInfo tag;
};

constexpr const char* INFO_PROMPT = "Select an MP3 file to see its information.";

// The page for a selected file, and for none.
// exactLength: the play length without the encoder's delay and padding, as such a decode
// plays the file.
InfoFields info_fields_for(const std::string& path, bool exactLength = false);
InfoFields cleared_info_fields();

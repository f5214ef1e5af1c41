// How an input file's path becomes the path of its WAV file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The input's file name with an extension of up to three characters replaced by ".wav"
// (song.mp3 -> song.wav, a.b.mp3 -> a.b.wav); a longer extension stays (x.flac ->
// x.flac.wav), and a name without a dot just gains ".wav".
std::string output_file_name(std::string_view input_path);

// folder + "/" + name: one separator always appended, even after a folder ending in one.
std::string output_file_path(std::string_view folder, std::string_view input_path);

// "dir/name (n).wav" for "dir/name.wav", with the name part cut at a UTF-8 character boundary
// so that the whole file name stays within nameMax bytes: a long title must still give a name
// the file system takes, or the search for a free number never ends.
std::string numbered_file_path(std::string_view path, int n, std::size_t nameMax);

// The longest file name the folder of path takes (NAME_MAX when the system cannot say).
std::size_t longest_file_name(const std::string& path);

// For "dir/name (n).wav" the name without its number and n; otherwise path itself and 1.
std::string unnumbered_file_path(const std::string& path, int* n);

// How an input file's path becomes the path of its WAV file.
#pragma once

#include <string>
#include <string_view>

// The input's file name with an extension of up to three characters replaced by ".wav"
// (song.mp3 -> song.wav, a.b.mp3 -> a.b.wav); a longer extension stays (x.flac ->
// x.flac.wav), and a name without a dot just gains ".wav".
std::string output_file_name(std::string_view input_path);

// folder + "/" + name: one separator always appended, even after a folder ending in one.
std::string output_file_path(std::string_view folder, std::string_view input_path);

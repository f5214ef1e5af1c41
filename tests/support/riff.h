// An independent little RIFF WAVE parser for checking the files the engine writes. It shares
// no code with the writer or the pcmwav layer on purpose: a writer and a reader that share a
// bug agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ParsedWav {
    bool ok = false;
    std::string error;
    std::uint32_t riff_size = 0;
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint32_t data_size = 0;
    std::size_t data_offset = 0;
    std::size_t file_size = 0;
    std::vector<unsigned char> data;  // the data chunk's bytes as declared
};

ParsedWav parse_wav(const std::vector<unsigned char>& bytes);
ParsedWav parse_wav_file(const std::string& path);

// 16-bit samples of the data chunk, channels interleaved.
std::vector<std::int16_t> samples_s16(const ParsedWav& wav);

std::uint32_t le32(const unsigned char* p);
std::uint16_t le16(const unsigned char* p);

// An independent little RIFF WAVE parser for checking the files the engine writes. It shares
// no code with the writer or the pcmwav layer on purpose: a writer and a reader that share a
// bug agree.
#pragma once

#include <cstdint>
#include <map>
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

// Every top-level chunk of a RIFF WAVE file, in file order.
struct RiffChunk {
    std::string id;
    std::size_t offset = 0;  // of the chunk header
    std::uint32_t size = 0;  // as declared, without the pad byte
    std::vector<unsigned char> body;
};

// Walks the chunks up to the end the RIFF size declares. Fails (error set, chunks so far
// returned) unless the RIFF size is the file size less 8, every chunk lies inside it and
// every odd-sized chunk is followed by its pad byte.
std::vector<RiffChunk> riff_chunks(const std::vector<unsigned char>& bytes, std::string* error);

// The sub-chunks of a LIST/INFO chunk body by id, each text without its terminating NUL.
// Empty when the body is not "INFO" or a sub-chunk runs past its end.
std::map<std::string, std::string> info_texts(const RiffChunk& list);

std::uint32_t le32(const unsigned char* p);
std::uint16_t le16(const unsigned char* p);

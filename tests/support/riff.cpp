#include "tests/support/riff.h"

#include <cstring>

#include "tests/support/temp_dir.h"

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

ParsedWav parse_wav(const std::vector<unsigned char>& bytes) {
    ParsedWav wav;
    wav.file_size = bytes.size();
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        wav.error = "no RIFF/WAVE header";
        return wav;
    }
    wav.riff_size = le32(bytes.data() + 4);
    bool have_format = false;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        std::uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || pos + 8 + 16 > bytes.size()) {
                wav.error = "short format chunk";
                return wav;
            }
            wav.format_tag = le16(chunk + 8);
            wav.channels = le16(chunk + 10);
            wav.sample_rate = le32(chunk + 12);
            wav.byte_rate = le32(chunk + 16);
            wav.block_align = le16(chunk + 20);
            wav.bits_per_sample = le16(chunk + 22);
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) {
                wav.error = "data before format";
                return wav;
            }
            wav.data_size = size;
            wav.data_offset = pos + 8;
            if (wav.data_offset + size > bytes.size()) {
                wav.error = "data chunk runs past the end of the file";
                return wav;
            }
            wav.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(wav.data_offset),
                            bytes.begin() + static_cast<std::ptrdiff_t>(wav.data_offset + size));
            wav.ok = true;
            return wav;
        }
        pos += 8 + static_cast<std::size_t>(size) + (size & 1u);
    }
    wav.error = "no data chunk";
    return wav;
}

ParsedWav parse_wav_file(const std::string& path) {
    return parse_wav(read_file_bytes(path));
}

std::vector<std::int16_t> samples_s16(const ParsedWav& wav) {
    std::vector<std::int16_t> out(wav.data.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(le16(wav.data.data() + 2 * i));
    }
    return out;
}

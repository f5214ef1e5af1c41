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

std::vector<RiffChunk> riff_chunks(const std::vector<unsigned char>& bytes, std::string* error) {
    std::vector<RiffChunk> chunks;
    error->clear();
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *error = "no RIFF/WAVE header";
        return chunks;
    }
    const std::size_t end = std::size_t{le32(bytes.data() + 4)} + 8;
    if (end != bytes.size()) {
        *error = "RIFF size " + std::to_string(end - 8) + " but file size " +
                 std::to_string(bytes.size());
        return chunks;
    }
    std::size_t pos = 12;
    while (pos < end) {
        if (end - pos < 8) {
            *error = "partial chunk header at " + std::to_string(pos);
            return chunks;
        }
        RiffChunk chunk;
        chunk.id.assign(reinterpret_cast<const char*>(bytes.data() + pos), 4);
        chunk.offset = pos;
        chunk.size = le32(bytes.data() + pos + 4);
        const std::size_t taken = 8 + std::size_t{chunk.size} + (chunk.size & 1u);
        if (taken > end - pos) {
            *error = "chunk " + chunk.id + " at " + std::to_string(pos) + " runs past the end";
            return chunks;
        }
        if ((chunk.size & 1u) != 0 && bytes[pos + 8 + chunk.size] != 0) {
            *error = "chunk " + chunk.id + " has a pad byte that is not zero";
            return chunks;
        }
        const auto body = bytes.begin() + static_cast<std::ptrdiff_t>(pos + 8);
        chunk.body.assign(body, body + chunk.size);
        chunks.push_back(std::move(chunk));
        pos += taken;
    }
    return chunks;
}

std::map<std::string, std::string> info_texts(const RiffChunk& list) {
    std::map<std::string, std::string> texts;
    const std::vector<unsigned char>& b = list.body;
    if (list.id != "LIST" || b.size() < 4 || std::memcmp(b.data(), "INFO", 4) != 0) {
        return {};
    }
    std::size_t pos = 4;
    while (pos + 8 <= b.size()) {
        const std::string id(reinterpret_cast<const char*>(b.data() + pos), 4);
        const std::uint32_t size = le32(b.data() + pos + 4);
        if (size > b.size() - pos - 8) {
            return {};
        }
        std::string text(reinterpret_cast<const char*>(b.data() + pos + 8), size);
        if (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        texts[id] = text;
        pos += 8 + std::size_t{size} + (size & 1u);
    }
    return texts;
}

#include "tests/support/id3_bytes.h"

std::vector<unsigned char> syncsafe_bytes(std::size_t value) {
    return {static_cast<unsigned char>(value >> 21 & 0x7f),
            static_cast<unsigned char>(value >> 14 & 0x7f),
            static_cast<unsigned char>(value >> 7 & 0x7f),
            static_cast<unsigned char>(value & 0x7f)};
}

std::vector<unsigned char> concat(std::vector<unsigned char> first,
                                  const std::vector<unsigned char>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<unsigned char> id3v24_utf8_tag(const std::vector<Id3TextFrame>& frames,
                                           std::size_t padding) {
    std::vector<unsigned char> body;
    for (const auto& [id, text] : frames) {
        body.insert(body.end(), id.begin(), id.end());
        body = concat(body, syncsafe_bytes(text.size() + 1));
        body.insert(body.end(), {0, 0, 3});  // no flags; encoding 3 is UTF-8
        body.insert(body.end(), text.begin(), text.end());
    }
    body.resize(body.size() + padding, 0);
    std::vector<unsigned char> tag = {'I', 'D', '3', 4, 0, 0};
    tag = concat(tag, syncsafe_bytes(body.size()));
    return concat(tag, body);
}

std::vector<unsigned char> id3v1_tag(const std::string& title, const std::string& artist,
                                     const std::string& album, const std::string& year,
                                     const std::string& comment, unsigned char track,
                                     unsigned char genre) {
    std::vector<unsigned char> tag = {'T', 'A', 'G'};
    auto field = [&tag](const std::string& text, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            tag.push_back(i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
        }
    };
    field(title, 30);
    field(artist, 30);
    field(album, 30);
    field(year, 4);
    field(comment, 28);
    tag.push_back(0);  // ID3v1.1: a zero byte, then the track
    tag.push_back(track);
    tag.push_back(genre);
    return tag;
}

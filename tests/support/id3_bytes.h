// ID3 tags written byte by byte for tests that need tags the fixtures lack (UTF-8 text, an
// ID3v1 tag alone, damaged structures), so that no tag library writes what another reads.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Frame id and text.
using Id3TextFrame = std::pair<std::string, std::string>;

// An ID3v2.4 tag of text frames, each in encoding 3 (UTF-8) with one string, followed by
// padding zero bytes.
std::vector<unsigned char> id3v24_utf8_tag(const std::vector<Id3TextFrame>& frames,
                                           std::size_t padding = 0);

// An ID3v1.1 tag (128 bytes); texts are cut to their field and padded with NULs.
std::vector<unsigned char> id3v1_tag(const std::string& title, const std::string& artist,
                                     const std::string& album, const std::string& year,
                                     const std::string& comment, unsigned char track,
                                     unsigned char genre);

// Four 7-bit groups, most significant first.
std::vector<unsigned char> syncsafe_bytes(std::size_t value);

std::vector<unsigned char> concat(std::vector<unsigned char> first,
                                  const std::vector<unsigned char>& second);

// The texts of an ID3v2 tag's text and comment frames in their own encodings (ISO-8859-1,
// UTF-16 with or without a byte-order mark, UTF-16BE, UTF-8), read from the tag's bytes and
// given as UTF-8. id3lib narrows UTF-16 to one byte per character when it reads a tag, so the
// texts a page shows come from here.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// A text frame's data (its encoding byte, then the text) as UTF-8: the first string only,
// up to its terminator. Undecodable units become U+FFFD; an unknown encoding gives "".
std::string id3v2_frame_text(const unsigned char* data, std::size_t size);

// A COMM frame's data (encoding, language, description, text): the description and the
// text as UTF-8. False when the frame is too short for its language.
bool id3v2_comment_text(const unsigned char* data, std::size_t size, std::string* description,
                        std::string* text);

// ISO-8859-1 bytes as UTF-8.
std::string latin1_to_utf8(const std::string& bytes);

// The first tag's frames by ID3v2.3 id (ID3v2.2 ids mapped to them): each text frame's first
// string, and "COMM" the comment id3lib would choose (the first with an empty description,
// else the first). Frames that are encrypted or compressed are left out.
using Id3v2Texts = std::map<std::string, std::string>;

// body: the tag after its header, unsynchronisation undone; version: the header's.
Id3v2Texts id3v2_texts(const unsigned char* body, std::size_t length, int version,
                       bool extendedHeader);

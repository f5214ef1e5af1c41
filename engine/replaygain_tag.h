// ReplayGain 2.0 values as TXXX frames of the "id3 " chunk that follows a WAV file's data, for
// players that apply the gain themselves.
#pragma once

#include <cstdint>

struct ReplayGainValues {
    double track_gain_db;
    double track_peak;  // linear, 1.0 is full scale
    std::int32_t has_album;
    double album_gain_db;
    double album_peak;
    double reference_lufs;
};

// The frames' texts: "-6.52 dB", "0.988553", "-18.00 LUFS"; always with a decimal point.
void replaygain_gain_text(double gain_db, char* text, std::uint32_t room);
void replaygain_peak_text(double peak, char* text, std::uint32_t room);

// Adds REPLAYGAIN_TRACK_GAIN, REPLAYGAIN_TRACK_PEAK, with an album REPLAYGAIN_ALBUM_GAIN and
// REPLAYGAIN_ALBUM_PEAK, and REPLAYGAIN_REFERENCE_LOUDNESS to the ID3v2.3 or 2.4 tag of the
// "id3 " chunk among chunks (older REPLAYGAIN_ frames of the tag are replaced), or appends an
// "id3 " chunk with a new ID3v2.4 tag when there is none. chunks is a malloc'd block of whole
// chunks (or null) and is taken over; returns the new block and its *length. A tag that cannot
// be rewritten (ID3v2.2, unsynchronised, with an extended header or a footer) is left as it is
// after a message, and memory running out keeps the old block after a message.
unsigned char* add_replaygain_tags(unsigned char* chunks, std::uint32_t* length,
                                   const ReplayGainValues* values);

// MPEG audio frame-header scan: the first frame's facts, and the play length from walking
// every frame header. Reads headers only, never audio data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct MpegInfo {
    std::int32_t version;  // 3 MPEG-1, 2 MPEG-2, 1 MPEG-2.5, 0 none/reserved
    std::int32_t layer;    // 1..3, 0 none/reserved
    std::int32_t crc;
    std::uint32_t frameCount;
    std::int32_t bitrate;  // kbit/s
    std::int32_t sampleRate;
    std::int32_t channelMode;  // 0 stereo, 1 joint, 2 dual, 3 single
    std::int32_t emphasis;
    std::int32_t copyright;
    std::int32_t original;
    std::int32_t durationMs;
};

void reset(MpegInfo* info);
// Moves skip bytes forward (when positive), then searches at most 10,001 positions for the
// eleven sync bits. On success the file is just behind the header word.
bool find_sync(std::FILE* file, long skip, std::uint32_t* header);
// Both scans start behind a leading ID3v2 tag (and its footer), or at byte 0 without one.
// read_first_frame: false when the file cannot be opened or the first header has no known
// sample rate. scan_frames: false only when the file cannot be opened; sets durationMs.
bool read_first_frame(MpegInfo* info, const char* path);
bool scan_frames(MpegInfo* info, const char* path);
// A zero record for a null or empty path, else the result of scan_frames on it.
MpegInfo mpeg_info_scan(const char* path);
// Four lines for the information page; an MPEG-2.5 stream shows "MPEG Type: MPEG 2.5  Layer n".
std::vector<std::string> format_mpeg_info_lines(const MpegInfo& info);

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
// A zero record for a null or empty path, else the result of scan_frames on it (of
// scan_frames_exact with exactLength).
MpegInfo mpeg_info_scan(const char* path, bool exactLength = false);

// The encoder's header frame ("Xing" or "Info") at the first frame position, and the delay
// and padding of its LAME tag, as the player's exact length uses them.
struct EncoderGap {
    std::uint32_t kind;   // HEADER_FRAME_NONE, _XING or _INFO of mpeg/xing.h
    std::uint32_t flags;  // the header's field flags; 0x1: frames is valid
    std::uint32_t frames;
    std::int32_t hasLame;
    std::int32_t delay;    // samples
    std::int32_t padding;  // samples
    std::int32_t samplesPerFrame;
    std::int32_t sampleRate;
    std::int32_t headerMs;  // the header frame's share of scan_frames' durationMs
};

// False when the file cannot be opened; a file without a header frame gives kind 0.
bool read_encoder_gap(EncoderGap* gap, const char* path);
// The play time of the audio that was encoded: with a LAME tag and a frame count, the frames'
// samples less delay and padding; otherwise scan_frames' time less the header frame's.
bool scan_frames_exact(MpegInfo* info, const char* path);
// The audio's samples per channel from the tag, or -1 when the tag cannot tell.
std::int64_t exact_sample_count(const EncoderGap& gap);
// A play time of ms milliseconds: "m:ss.mmm", from one hour on "h:mm:ss.mmm".
std::string play_time_text(std::int64_t ms);
// "Delay 576  Padding 756  Exact 0:03.000" for the information page (the time only with a
// frame count); "" without a LAME tag.
std::string format_encoder_gap_line(const EncoderGap& gap);
// "Delay 576  Padding 756  Length 0:03.000" for the information page: the LAME tag's figures
// when it has them, and a play length in ms as the caller measured it (with or without exact
// length, as the decode will play it).
std::string format_length_line(const EncoderGap& gap, std::int32_t durationMs);
// Four lines for the information page; an MPEG-2.5 stream shows "MPEG Type: MPEG 2.5  Layer n".
std::vector<std::string> format_mpeg_info_lines(const MpegInfo& info);

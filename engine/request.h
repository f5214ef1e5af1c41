// The decode request: what the shell asks of the engine for one file.
#pragma once

#include <cstdint>

struct ProcessorTokens;

// Called every 26th output frame with the input's size and the estimated amount consumed,
// both in KiB. Returns 0 to go on, anything else to stop the decode.
using ProgressCallback = std::int32_t (*)(std::int32_t total_kib, std::int32_t done_kib);

// Gating blocks of a loudness measurement by their loudness, 0.1 LU a bin from -70 LUFS up
// (louder blocks go to the last bin): what several tracks' measurements add up to when an
// album is measured as one programme, possibly in several processes.
constexpr int LOUDNESS_BINS = 800;

// What measuring one programme (a file, or an album's files together) found.
struct LoudnessFigures {
    std::int32_t measured;   // 0: nothing was measured
    double integrated_lufs;  // gated integrated loudness; -HUGE_VAL: too short or too quiet
    double true_peak;        // the largest true peak of any channel; 1.0 is full scale
    std::uint32_t blocks[LOUDNESS_BINS];
};

// Which limit decided a loudness gain.
constexpr std::int32_t GAIN_ON_TARGET = 0;
constexpr std::int32_t GAIN_LIMITED_BY_PEAK = 1;   // lowered to keep the true peak at the ceiling
constexpr std::int32_t GAIN_LIMITED_BY_RANGE = 2;  // clamped to the attenuation's -175..+18 dB
constexpr std::int32_t GAIN_NOT_MEASURABLE = 3;    // too short or quiet to measure: gain 0

// What decode_file found in one file, the figures of its summary line, for callers that keep
// a record per file (a batch's report, a worker telling its parent).
struct DecodeStats {
    std::uint64_t frames_decoded;  // MPEG frames that reached the output
    std::uint64_t duration_ms;     // play time of the output
    std::int32_t peak_millibel;    // peak amplitude in 1/100 dB re full scale; see has_peak
    std::int32_t has_peak;         // 0: every sample was zero ("-inf" in the summary line)
    std::uint32_t clipped_samples;
    // 1: the input was read to its end and held no MPEG audio frame; the decode then fails,
    // since an empty WAV would pass for a decoded file.
    std::int32_t no_audio;
    // With loudness or replaygain: the input's figures as measured (before any gain), the
    // gain applied through the attenuation stage, the album's gain with an album, and which
    // limit decided the gain. Not measured: loudness.measured is 0.
    LoudnessFigures loudness;
    double gain_db;
    double album_gain_db;
    std::int32_t has_album_gain;
    std::int32_t gain_limit;
    // Why the WAV file could not be written, for a decode that failed there: the system's
    // error number (ENOSPC, EFBIG, ...) or OUTPUT_PAST_WAV_LIMIT; 0 when writing never failed.
    std::int32_t output_error;
    std::uint32_t warnings;  // WARNING_* bits: what a decode that went on left out or ignored
};

// DecodeStats::output_error when the next samples would take the file past the largest size
// a RIFF header can state.
constexpr std::int32_t OUTPUT_PAST_WAV_LIMIT = -1;

// The ID3v2 tag is too large for its "id3 " chunk, which is left out; the INFO fields stay.
constexpr std::uint32_t WARNING_ID3_CHUNK_LEFT_OUT = 1u << 0;
// The ID3v2 tag is damaged: neither its chunk nor its fields are copied.
constexpr std::uint32_t WARNING_ID3_TAG_DAMAGED = 1u << 1;
// No memory to copy the tags: none are copied.
constexpr std::uint32_t WARNING_TAGS_NOT_COPIED = 1u << 2;
// The LAME tag's encoder delay and padding cover the whole stream: its trim is ignored and
// the stream decoded in full.
constexpr std::uint32_t WARNING_LAME_TRIM_IGNORED = 1u << 3;

// Texts are NUL-terminated; an empty text means "not given". The engine keeps pointers into
// the request for the duration of decode_file only.
struct DecodeRequest {
    std::uint32_t play_length_ms;
    const char* fade_in_text;
    const char* fade_out_text;
    const char* gap_text;
    const char* bit_depth_text;
    const char* spare_text;
    std::int32_t half_rate;
    std::int32_t no_dither;
    std::int32_t ignore_crc;
    std::int32_t cross_fade;
    const char* attenuation_text;
    const char* channel_text;
    std::int32_t stereo;
    std::int32_t mono;
    const char* output_path;
    const char* input_path;
    ProgressCallback progress;
    std::int32_t skip_silence;
    std::int32_t normalize;
    // Drop the encoder's header frame and, from its LAME tag, the encoder delay and padding.
    std::int32_t exact_length;
    // When not null, decode_file fills it in, also for a file that fails or is stopped.
    DecodeStats* stats;
    std::int32_t copy_tags;  // the input's tags as LIST/INFO and "id3 " chunks after the data
    // Hz, 8000 to 192000: the output is converted to this rate after the channel routing and
    // before quantization; 0 keeps the stream's own rate.
    std::uint32_t output_rate;
    // Threads that decode this one file; 0 or 1 decode it on the calling thread. The output
    // bytes, messages and progress calls are the same for every count.
    std::int32_t threads;
    // When not null, the run's free processors (processor_tokens.h): the decode takes up more
    // threads than `threads` as other files free processors, and gives them back when done.
    const ProcessorTokens* tokens;
    // Decode once to measure the loudness (the signal as it will be written, nothing written)
    // and once to write: with loudness, through the attenuation stage at the gain that brings
    // the file (or with album_figures the album) to target_lufs with its true peak at most
    // true_peak_dbtp; with replaygain, unchanged, with ReplayGain tags in an "id3 " chunk.
    std::int32_t loudness;
    std::int32_t replaygain;
    double target_lufs;     // -18 after decode_request_init
    double true_peak_dbtp;  // -1 after decode_request_init
    // When set, the file's own figures, measured before: the file is then decoded once.
    const LoudnessFigures* track_figures;
    // When set, the gain is the album's, from these figures of all its files together.
    const LoudnessFigures* album_figures;
};

constexpr std::int32_t DECODE_OK = 0;
constexpr std::int32_t DECODE_ABORTED = 2;
constexpr std::int32_t DECODE_FAILED = 4;

// Texts empty, bit depth "16", switches 0. The input path, play length and callback are
// left for the caller.
void decode_request_init(DecodeRequest* request);

// Parses the request's option texts as decode_file does and returns when all are valid. An
// invalid text ends the process with status 1 after decode_file's message, so that a front
// end can refuse it before any file starts.
void check_request_texts(const DecodeRequest* request);

// What decode_file prints first about every file, before its tag and its summary line, on
// the same line as the first of them.
const char* decode_banner();

// Decodes request->input_path into request->output_path. Returns DECODE_OK, DECODE_ABORTED
// (stopped by the callback) or DECODE_FAILED. Invalid option texts end the process with
// status 1 after a message. Never run two decodes at once: the engine has module-wide state.
std::int32_t decode_file(const DecodeRequest* request);

// Decodes the input with the request's options as decode_file would write it, writes nothing
// and leaves the dither alone; fills figures. DECODE_OK, DECODE_ABORTED or DECODE_FAILED.
std::int32_t measure_file(const DecodeRequest* request, LoudnessFigures* figures);

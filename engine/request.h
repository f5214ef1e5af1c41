// The decode request: what the shell asks of the engine for one file.
#pragma once

#include <cstdint>

// Called every 26th output frame with the input's size and the estimated amount consumed,
// both in KiB. Returns 0 to go on, anything else to stop the decode.
using ProgressCallback = std::int32_t (*)(std::int32_t total_kib, std::int32_t done_kib);

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
    // Why the WAV file could not be written, for a decode that failed there: the system's
    // error number (ENOSPC, EFBIG, ...) or OUTPUT_PAST_WAV_LIMIT; 0 when writing never failed.
    std::int32_t output_error;
};

// DecodeStats::output_error when the next samples would take the file past the largest size
// a RIFF header can state.
constexpr std::int32_t OUTPUT_PAST_WAV_LIMIT = -1;

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

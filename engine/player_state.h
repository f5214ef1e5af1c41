// The engine's record for one decode call, its flag bits and the per-frame filter chain.
#pragma once

#include <mad.h>

#include <cstdint>

#include "dsp/filters.h"
#include "dsp/pcm.h"
#include "dsp/resampler.h"
#include "engine/decoder_snapshot.h"
#include "engine/exact_length.h"
#include "engine/output.h"
#include "engine/request.h"

struct ParallelPipeline;
#include "mpeg/xing.h"

constexpr std::uint32_t FLAG_HALF_RATE = 0x2;
constexpr std::uint32_t FLAG_IGNORE_CRC = 0x4;
constexpr std::uint32_t FLAG_NORMALIZE = 0x8;
constexpr std::uint32_t FLAG_STREAM_TAGS = 0x80;
constexpr std::uint32_t FLAG_FADE_IN = 0x100;
constexpr std::uint32_t FLAG_SKIP_SILENCE = 0x200;
constexpr std::uint32_t FLAG_GAP = 0x400;
constexpr std::uint32_t FLAG_CROSS_FADE = 0x800;
constexpr std::uint32_t FLAG_FADE_OUT = 0x1000;
constexpr std::uint32_t FLAG_EXACT_LENGTH = 0x2000;
constexpr std::uint32_t FLAG_COPY_TAGS = 0x10000;
// Loudness decodes: the gain filter runs after the fade filter, so that the silence checks
// decide alike in the measuring and the writing decode whatever gain the second applies.
constexpr std::uint32_t FLAG_LOUDNESS = 0x20000;

struct LoudnessMeter;
struct RateStage;

// Which part of the file's progress a decode reports: a loudness run decodes each file twice,
// and its one progress bar shows the measuring decode as the first half.
using ProgressPart = std::int32_t;
constexpr ProgressPart PROGRESS_WHOLE = 0;
constexpr ProgressPart PROGRESS_FIRST_HALF = 1;
constexpr ProgressPart PROGRESS_SECOND_HALF = 2;

// Channel selection. SELECT_DEFAULT_WARNED is the default after the dual-channel warning.
using ChannelSelect = std::int32_t;
constexpr ChannelSelect SELECT_DEFAULT = 0;
constexpr ChannelSelect SELECT_LEFT = 1;
constexpr ChannelSelect SELECT_RIGHT = 2;
constexpr ChannelSelect SELECT_MONO = 3;
constexpr ChannelSelect SELECT_STEREO = 4;
constexpr ChannelSelect SELECT_DEFAULT_WARNED = -1;

constexpr std::uint32_t INPUT_BUFFER_SIZE = 40000;

using FilterFunction = mad_flow (*)(void* data, mad_frame* frame);

constexpr std::uint32_t FILTER_HEAP = 0x1;  // node is freed with the list

struct FilterNode {
    std::uint32_t flags;
    FilterFunction function;
    void* data;
    FilterNode* next;
};

struct PlayerState {
    // control
    std::int32_t stop_requested;
    std::uint32_t flags;
    std::int32_t repeat;
    ProgressCallback progress;
    ProgressPart progress_part;
    // playlist
    const char** entries;
    std::int32_t count;
    std::int32_t current;
    // times and silence: the fade lengths and the silence state live in the fade filter's
    // own record, whose clocks point at total_time and play_timer below (so a PlayerState is
    // never copied once initialized)
    FadeState fade;
    mad_timer_t gap;
    // input
    const char* input_path;
    std::int32_t input_fd;
    unsigned char* input_buffer;  // INPUT_BUFFER_SIZE + MAD_BUFFER_GUARD bytes, per file
    std::uint32_t input_length;
    std::int32_t input_eof;
    XingInfo xing;
    // output
    OutputMode mode;
    mad_fixed_t attenuation;
    FilterNode* filters;
    std::uint32_t channels_in;
    std::uint32_t channels_out;
    ChannelSelect select;
    std::uint32_t speed_in;
    std::uint32_t speed_out;
    std::uint32_t precision_in;
    std::uint32_t precision_out;
    const char* output_path;
    OutputCommand command;
    ResamplerState resampler[2];
    mad_fixed_t* resample_buffer;  // 2 x RESAMPLE_MAX_OUTPUT samples while resampling
    // statistics
    std::uint32_t progress_counter;
    std::uint32_t total_bytes;
    std::uint32_t bytes_done;
    mad_timer_t total_time;
    mad_timer_t play_timer;
    std::uint32_t frames_total;
    std::uint32_t frames_seen;
    std::uint32_t frames_played;
    std::uint32_t error_frame;
    std::uint32_t mute_frame;
    ClipStats clip;
    // The one-entry playlist; the request's own path field stays untouched when an entry
    // fails and is cleared.
    const char* playlist_entry;
    ExactLength exact;  // used with FLAG_EXACT_LENGTH only
    // With FLAG_COPY_TAGS: the chunks the writer appends after the data (wav_tag_chunks),
    // malloc'd, freed by player_release.
    unsigned char* tag_chunks;
    std::uint32_t tag_chunks_length;
    // Tells MPEG audio from the false frames libmad finds in foreign data (the PCM of a WAV
    // under an MPEG name): audio once two decoded frames at a bit rate MPEG audio can have
    // share layer, sample rate and channel mode. One bit per such kind of frame seen.
    std::uint64_t frame_kinds[2];
    std::int32_t audio_found;
    std::int32_t no_audio;  // the input was read through without finding audio
    // The rate the request asks for (0: the stream's own). Frames at another rate go through
    // rate_stage, started for the stream's rate (rate_stage_in) and channels and restarted
    // when either changes; released by player_release.
    std::uint32_t output_rate;
    RateStage* rate_stage;
    std::uint32_t rate_stage_in;
    // One file on several threads (decode_parallel). The sequential decoder can stop before
    // the header at stop_offset, leaving its state in snapshot, and can start again at
    // input_offset from snapshot when resume is set.
    std::int32_t threads;        // 1: the file is decoded on the calling thread alone
    mad_decoder* decoder;        // the running decoder, for its state
    std::uint64_t input_offset;  // file offset of input_buffer[0]
    std::uint64_t stop_offset;   // 0: never stop
    std::int32_t stopped;
    std::int32_t resume;
    DecoderSnapshot* snapshot;
    // While the sequential decoder plays a file that may take up more threads: the run's
    // free processors and the decode that watches them (parallel_growth_stop).
    const ProcessorTokens* tokens;
    ParallelPipeline* growth;
    std::uint32_t growth_countdown;
    // A measuring decode's meter, fed the samples right before they would be packed; null
    // when writing.
    LoudnessMeter* meter;
    std::uint32_t warnings;  // WARNING_* bits for DecodeStats
};

#include "info/mpeg_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mpeg/big_endian.h"
#include "mpeg/lame_tag.h"

namespace {

// Rows: MPEG-1 layers I, II, III; lower sample rates layer I; lower sample rates II and III.
// Index 0 is free format, index 15 forbidden.
constexpr std::int32_t kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
};

// By version code (0 reserved, 1 MPEG-2.5, 2 MPEG-2, 3 MPEG-1) and sample-rate index 0..2.
constexpr std::int32_t kSampleRates[4][3] = {
    {0, 0, 0},
    {11025, 12000, 8000},
    {22050, 24000, 16000},
    {44100, 48000, 32000},
};

// By the two version bits and the two layer bits.
constexpr std::int32_t kVersionCodes[4] = {1, 0, 2, 3};
constexpr std::int32_t kLayerCodes[4] = {0, 3, 2, 1};

std::uint32_t header_bits(std::uint32_t header, int shift, std::uint32_t mask) {
    return (header >> shift) & mask;
}

// Decodes one header into info and the scan's running bit rate (kbit/s, kept from the last
// lookup while the layer is 0). Returns false when no sample rate is known; the header is then
// not counted. On true, frame_length holds the frame's length in bytes (negative for the
// forbidden bit-rate index).
bool decode_header(MpegInfo* info, std::uint32_t header, std::int32_t* bitrate,
                   std::int32_t* frame_length) {
    if (info->frameCount == 0) {
        info->version = kVersionCodes[header_bits(header, 19, 3)];
        info->layer = kLayerCodes[header_bits(header, 17, 3)];
        info->crc = header_bits(header, 16, 1) == 0 ? 1 : 0;
    }
    if (info->layer != 0) {
        int row = info->version == 3 ? info->layer - 1 : (info->layer == 1 ? 3 : 4);
        *bitrate = kBitrates[row][header_bits(header, 12, 15)];
    }
    std::uint32_t rate_index = header_bits(header, 10, 3);
    if (rate_index != 3 && info->version != 0) {
        info->sampleRate = kSampleRates[info->version][rate_index];
    }
    if (info->sampleRate == 0) {
        return false;
    }
    info->channelMode = static_cast<std::int32_t>(header_bits(header, 6, 3));
    info->copyright = static_cast<std::int32_t>(header_bits(header, 3, 1));
    info->original = static_cast<std::int32_t>(header_bits(header, 2, 1));
    info->emphasis = static_cast<std::int32_t>(header_bits(header, 0, 3));

    auto padding = static_cast<std::int32_t>(header_bits(header, 9, 1));
    if (info->layer == 1) {
        *frame_length = (12000 * *bitrate / info->sampleRate + padding) * 4;
    } else if (info->layer == 3 && info->version != 3) {
        *frame_length = 72000 * *bitrate / info->sampleRate + padding;
    } else {
        // Layer 0 never looks a bit rate up, so the length is the padding alone.
        *frame_length = 144000 * *bitrate / info->sampleRate + padding;
    }
    ++info->frameCount;
    return true;
}

// find_sync over a stdio stream, as callers with their own FILE* use it.
struct StdioSource {
    std::FILE* file;

    bool seek(long delta) { return std::fseek(file, delta, SEEK_CUR) == 0; }
    bool read4(unsigned char* out) { return std::fread(out, 1, 4, file) == 4; }
};

// The scans' own reader: the same seek and read semantics as a stream (a seek may pass the
// end, a read there fails, a read error counts as the end), but a seek inside the buffer
// costs no system call, where a stdio seek costs one per frame.
struct BufferedSource {
    int fd;
    off_t position;
    off_t buffer_start;
    std::size_t buffer_length;
    unsigned char buffer[16384];

    bool seek(long delta) {
        if (delta < 0 && -static_cast<off_t>(delta) > position) {
            return false;
        }
        position += delta;
        return true;
    }

    std::size_t read(unsigned char* out, std::size_t count) {
        if (position < buffer_start || position + static_cast<off_t>(count) >
                                           buffer_start + static_cast<off_t>(buffer_length)) {
            fill();
        }
        auto offset = static_cast<std::size_t>(position - buffer_start);
        std::size_t available = buffer_length > offset ? buffer_length - offset : 0;
        std::size_t n = count < available ? count : available;
        std::memcpy(out, buffer + offset, n);
        position += static_cast<off_t>(n);
        return n;
    }

    bool read4(unsigned char* out) { return read(out, 4) == 4; }

    void fill() {
        buffer_start = position;
        buffer_length = 0;
        while (buffer_length < sizeof buffer) {
            ssize_t n = ::pread(fd, buffer + buffer_length, sizeof buffer - buffer_length,
                                position + static_cast<off_t>(buffer_length));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            buffer_length += static_cast<std::size_t>(n);
        }
    }
};

template <typename Source>
bool find_sync_in(Source* source, long skip, std::uint32_t* header) {
    if (skip > 0 && !source->seek(skip)) {
        return false;
    }
    unsigned char bytes[4];
    if (!source->read4(bytes)) {
        return false;
    }
    for (int step = 0; (big_endian32(bytes) & 0xFFE00000u) != 0xFFE00000u; ++step) {
        if (step == 10000 || !source->seek(-3) || !source->read4(bytes)) {
            return false;
        }
    }
    *header = big_endian32(bytes);
    return true;
}

// Opens for reading only; a folder or other non-regular file counts as one that cannot be
// opened (O_NONBLOCK keeps a FIFO from blocking the open).
bool open_source(const char* path, BufferedSource* source) {
    source->fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (source->fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(source->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(source->fd);
        return false;
    }
    source->position = 0;
    source->buffer_start = 0;
    source->buffer_length = 0;
    return true;
}

void close_source(BufferedSource* source) {
    // Read-only: a failed close loses nothing.
    ::close(source->fd);
}

// Leaves the source behind a leading ID3v2 tag, or at the start when there is none. Tag data
// such as JPEG cover art holds 0xFF 0xE0.. byte pairs that would pass for a frame header.
void skip_id3v2_tag(BufferedSource* source) {
    unsigned char tag[10];
    off_t end = 0;
    if (source->read(tag, 10) == 10 && std::memcmp(tag, "ID3", 3) == 0 && tag[3] != 0xFF &&
        tag[4] != 0xFF && (tag[6] | tag[7] | tag[8] | tag[9]) < 0x80) {
        off_t size = static_cast<off_t>(tag[6]) << 21 | static_cast<off_t>(tag[7]) << 14 |
                     static_cast<off_t>(tag[8]) << 7 | static_cast<off_t>(tag[9]);
        bool has_footer = (tag[5] & 0x10) != 0;
        end = 10 + size + (has_footer ? 10 : 0);
    }
    source->position = end;
}

}  // namespace

void reset(MpegInfo* info) {
    *info = {};
}

bool find_sync(std::FILE* file, long skip, std::uint32_t* header) {
    StdioSource source{file};
    return find_sync_in(&source, skip, header);
}

bool read_first_frame(MpegInfo* info, const char* path) {
    reset(info);
    BufferedSource source;
    if (!open_source(path, &source)) {
        return false;
    }
    skip_id3v2_tag(&source);
    bool known = true;
    std::uint32_t header = 0;
    if (find_sync_in(&source, 0, &header)) {
        std::int32_t bitrate = 0;
        std::int32_t frame_length = 0;
        known = decode_header(info, header, &bitrate, &frame_length);
        if (known) {
            info->frameCount = 1;
            info->bitrate = bitrate > 0 ? bitrate : 0;
        }
    }
    close_source(&source);
    return known;
}

bool scan_frames(MpegInfo* info, const char* path) {
    reset(info);
    BufferedSource source;
    if (!open_source(path, &source)) {
        return false;
    }
    skip_id3v2_tag(&source);
    double seconds = 0.0;
    std::uint32_t bitrate_sum = 0;
    std::int32_t bitrate = 0;
    long skip = 0;
    std::uint32_t header = 0;
    while (find_sync_in(&source, skip, &header)) {
        std::int32_t frame_length = 0;
        if (!decode_header(info, header, &bitrate, &frame_length)) {
            break;
        }
        if (bitrate > 0) {
            bitrate_sum += static_cast<std::uint32_t>(bitrate);
            seconds += static_cast<double>(frame_length * 8) / static_cast<double>(bitrate * 1000);
        }
        skip = frame_length - 4;
    }
    if (info->frameCount > 0) {
        info->bitrate = static_cast<std::int32_t>(bitrate_sum / info->frameCount);
        info->durationMs = static_cast<std::int32_t>(seconds * 1000);
    }
    close_source(&source);
    return true;
}

MpegInfo mpeg_info_scan(const char* path, bool exactLength) {
    MpegInfo info{};
    if (path != nullptr && *path != '\0') {
        if (exactLength) {
            scan_frames_exact(&info, path);
        } else {
            scan_frames(&info, path);
        }
    }
    return info;
}

bool read_encoder_gap(EncoderGap* gap, const char* path) {
    *gap = {};
    BufferedSource source;
    if (!open_source(path, &source)) {
        return false;
    }
    skip_id3v2_tag(&source);
    std::uint32_t header = 0;
    MpegInfo info{};
    std::int32_t bitrate = 0;
    std::int32_t frame_length = 0;
    // The longest layer III frame (320 kbit/s at 32 kHz, padded) is 1441 bytes.
    unsigned char bytes[2048];
    if (find_sync_in(&source, 0, &header) &&
        decode_header(&info, header, &bitrate, &frame_length) && frame_length > 4 &&
        source.seek(-4)) {
        std::size_t wanted = static_cast<std::size_t>(frame_length) < sizeof bytes
                                 ? static_cast<std::size_t>(frame_length)
                                 : sizeof bytes;
        std::size_t got = source.read(bytes, wanted);
        HeaderFrame frame;
        if (parse_header_frame(&frame, bytes, got) != HEADER_FRAME_NONE) {
            gap->kind = frame.kind;
            gap->flags = frame.flags;
            gap->frames = frame.frames;
            gap->hasLame = frame.has_lame;
            gap->delay = static_cast<std::int32_t>(frame.delay);
            gap->padding = static_cast<std::int32_t>(frame.padding);
            gap->samplesPerFrame = static_cast<std::int32_t>(frame.samples_per_frame);
            gap->sampleRate = static_cast<std::int32_t>(frame.sample_rate);
            if (bitrate > 0) {
                gap->headerMs = static_cast<std::int32_t>(static_cast<double>(frame_length * 8) /
                                                          static_cast<double>(bitrate));
            }
        }
    }
    close_source(&source);
    return true;
}

std::int64_t exact_sample_count(const EncoderGap& gap) {
    if (gap.hasLame == 0 || (gap.flags & 0x1) == 0) {
        return -1;
    }
    std::int64_t samples =
        static_cast<std::int64_t>(gap.frames) * gap.samplesPerFrame - gap.delay - gap.padding;
    return samples > 0 ? samples : 0;
}

std::string play_time_text(std::int64_t ms) {
    const long long t = ms > 0 ? ms : 0;
    char text[48];
    if (t >= 3600000) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", t / 3600000, t / 60000 % 60,
                      t / 1000 % 60, t % 1000);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", t / 60000, t / 1000 % 60, t % 1000);
    }
    return text;
}

std::string format_encoder_gap_line(const EncoderGap& gap) {
    if (gap.hasLame == 0) {
        return "";
    }
    char line[128];
    int n = std::snprintf(line, sizeof line, "Delay %d  Padding %d", gap.delay, gap.padding);
    const std::int64_t samples = exact_sample_count(gap);
    if (samples >= 0 && gap.sampleRate > 0 && n > 0) {
        const std::int64_t ms = samples * 1000 / gap.sampleRate;
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "  Exact %s",
                      play_time_text(ms).c_str());
    }
    return line;
}

std::string format_length_line(const EncoderGap& gap, std::int32_t durationMs) {
    const long long ms = durationMs > 0 ? durationMs : 0;
    char line[128];
    int n = 0;
    if (gap.hasLame != 0) {
        n = std::snprintf(line, sizeof line, "Delay %d  Padding %d  ", gap.delay, gap.padding);
    }
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "Length %s",
                  play_time_text(ms).c_str());
    return line;
}

bool scan_frames_exact(MpegInfo* info, const char* path) {
    if (!scan_frames(info, path)) {
        return false;
    }
    EncoderGap gap;
    if (!read_encoder_gap(&gap, path) || gap.kind == HEADER_FRAME_NONE) {
        return true;
    }
    std::int64_t samples = exact_sample_count(gap);
    if (samples >= 0 && gap.sampleRate > 0) {
        info->durationMs = static_cast<std::int32_t>(samples * 1000 / gap.sampleRate);
    } else {
        info->durationMs = info->durationMs > gap.headerMs ? info->durationMs - gap.headerMs : 0;
    }
    return true;
}

std::vector<std::string> format_mpeg_info_lines(const MpegInfo& info) {
    static constexpr const char* kModes[4] = {"Stereo", "Joint Stereo", "Dual Channel",
                                              "Single Channel"};
    static constexpr const char* kEmphases[4] = {"None", "50/15 ms", "Reserved", "CCIT J.17"};
    auto word = [](const char* const* words, std::int32_t value) {
        return value >= 0 && value < 4 ? words[value] : "";
    };
    auto yes_no = [](std::int32_t value) { return value != 0 ? "Yes" : "No"; };

    char line[128];
    std::vector<std::string> lines;
    if (info.version == 1) {
        std::snprintf(line, sizeof line, "MPEG Type: MPEG 2.5  Layer %d", info.layer);
    } else {
        int number = info.version == 3 ? 1 : (info.version == 2 ? 2 : 0);
        std::snprintf(line, sizeof line, "MPEG Type: MPEG %d  Layer %d", number, info.layer);
    }
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "Bitrate: %dkbps,   %dHz  %s", info.bitrate, info.sampleRate,
                  word(kModes, info.channelMode));
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "Copyright:  %s        Original:  %s", yes_no(info.copyright),
                  yes_no(info.original));
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "CRC:  %s               Emphasis:  %s", yes_no(info.crc),
                  word(kEmphases, info.emphasis));
    lines.emplace_back(line);
    return lines;
}

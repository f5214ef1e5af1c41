#include "engine/wav_writer.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsp/pcm.h"
#include "engine/testing.h"

namespace {

// The player drives its output through one entry point that carries no handle, so the open
// file and its running sizes live at module level; hence one WAV file at a time.
struct WavWriterState {
    std::FILE* file;
    std::uint64_t riff_length;  // bytes after the RIFF size field
    std::uint64_t data_length;  // sample bytes, without the pad byte
    std::int32_t data_chunk_offset;
    std::uint32_t configured_bits;  // 0 = no format written yet
    std::uint32_t configured_channels;
    std::uint32_t configured_rate;
    Packer converter;
    const unsigned char* trailer;  // chunks after the data chunk, owned by the caller
    std::uint32_t trailer_length;
    // 1: an RF64 file (EBU Tech 3306) whose true sizes live in the ds64 chunk at offset 12;
    // its 32-bit size fields keep 0xFFFFFFFF for good.
    std::int32_t rf64;
};

WavWriterState writer = {};

// Module-wide for the same reason: the player reads it after a failed command.
const char* error_text = "";

constexpr std::uint32_t PART_SAMPLES = 3456;        // per channel, per write
constexpr std::size_t CONVERT_BUFFER_SIZE = 27648;  // PART_SAMPLES x 2 channels x 4 bytes
static_assert(CONVERT_BUFFER_SIZE == PART_SAMPLES * 2 * 4);

// The stream's own buffer is one file-system block: a 16-bit stereo file then took a write
// call per 1024 sample frames, and those calls cost more than the copying into a larger
// buffer. One file at a time (see above), so one buffer serves them all; only a file opened
// and never finished would keep it, and the next file then does without.
constexpr std::size_t FILE_BUFFER_SIZE = 256 * 1024;
char file_buffer[FILE_BUFFER_SIZE];
std::FILE* file_buffer_user = nullptr;

// Called just before the stream is closed: once closed, it no longer uses the buffer.
void release_file_buffer(const std::FILE* closing) {
    if (closing == file_buffer_user) {
        file_buffer_user = nullptr;
    }
}

// The RIFF size field is the largest count of the file: with the pad byte it must still fit.
// A file that would pass it becomes an RF64 file.
constexpr std::uint64_t RIFF_SIZE_MAX = 0xFFFFFFFFu;

// The ds64 chunk: header, then the RIFF size, the data size and the sample frame count as
// 64-bit numbers, then an empty table of further large chunks.
constexpr std::size_t DS64_CHUNK_SIZE = 8 + 28;
constexpr long DS64_SIZES_OFFSET = 12 + 8;
constexpr std::size_t RF64_MOVE_BLOCK = 1u << 20;

void put_u64_le(std::uint64_t value, unsigned char* bytes) {
    put_u32_le(static_cast<std::uint32_t>(value & 0xFFFFFFFFu), bytes);
    put_u32_le(static_cast<std::uint32_t>(value >> 32), bytes + 4);
}

// The file header and the ds64 chunk with the given sizes.
void put_rf64_header(unsigned char* bytes, std::uint64_t riff_size, std::uint64_t data_size,
                     std::uint64_t frames) {
    std::memcpy(bytes, "RF64", 4);
    put_u32_le(0xFFFFFFFFu, bytes + 4);
    std::memcpy(bytes + 8, "WAVE", 4);
    std::memcpy(bytes + 12, "ds64", 4);
    put_u32_le(DS64_CHUNK_SIZE - 8, bytes + 16);
    put_u64_le(riff_size, bytes + 20);
    put_u64_le(data_size, bytes + 28);
    put_u64_le(frames, bytes + 36);
    put_u32_le(0, bytes + 44);  // no table
}

// Bytes past the RIFF limit: the header, the data with its pad byte and the trailer.
bool passes_riff_limit(std::uint64_t data_length) {
    const std::uint64_t riff = writer.riff_length - writer.data_length + data_length +
                               (data_length & 1u) + writer.trailer_length;
    return riff > RIFF_SIZE_MAX;
}

int wav_patch(long offset, const unsigned char* bytes, std::size_t n) {
    if (std::fseek(writer.file, offset, SEEK_SET) != 0) {
        error_text = ":fseek";
        return -1;
    }
    if (std::fwrite(bytes, 1, n, writer.file) != n) {
        error_text = ":fwrite";
        return -1;
    }
    if (std::fseek(writer.file, 0, SEEK_END) != 0) {
        error_text = ":fseek";
        return -1;
    }
    return 0;
}

int wav_patch_u32(long offset, std::uint32_t value) {
    unsigned char bytes[4];
    put_u32_le(value, bytes);
    return wav_patch(offset, bytes, sizeof bytes);
}

// pread or pwrite of n bytes at offset, over partial transfers and interrupted calls.
template <typename Byte, typename Transfer>
bool transfer_at(int fd, Byte* bytes, std::size_t n, off_t offset, Transfer transfer) {
    while (n > 0) {
        const ssize_t done = transfer(fd, bytes, n, offset);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        bytes += done;
        n -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

// A canonical file that turns out too long for its 32-bit sizes (the header scan said it
// would fit, or knew no length) is made an RF64 file in place: everything after the 12-byte
// file header moves up by the ds64 chunk's 36 bytes, from the end backwards so that no byte
// is overwritten before it has been moved, and the RF64 header goes in front. It is our own
// temporary file, and nobody reads it until it is finished; a failure part-way leaves a file
// that the decode's failure removes. Copying the data once costs a few seconds per GiB, the
// price of a misjudged length only.
int wav_convert_to_rf64() {
    if (std::fflush(writer.file) != 0) {
        error_text = ":fwrite";
        return -1;
    }
    const int fd = fileno(writer.file);
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 12) {
        error_text = ":fseek";
        return -1;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(RF64_MOVE_BLOCK));
    if (block == nullptr) {
        error_text = "not enough memory to convert the output to RF64";
        return -1;
    }
    int r = 0;
    for (off_t from = end; from > 12 && r == 0;) {
        const off_t left = from - 12;
        const std::size_t n = left < static_cast<off_t>(RF64_MOVE_BLOCK)
                                  ? static_cast<std::size_t>(left)
                                  : RF64_MOVE_BLOCK;
        from -= static_cast<off_t>(n);
        if (!transfer_at(fd, block, n, from, ::pread)) {
            error_text = ":pread";
            r = -1;
        } else if (!transfer_at(fd, static_cast<const unsigned char*>(block), n,
                                from + static_cast<off_t>(DS64_CHUNK_SIZE), ::pwrite)) {
            error_text = ":pwrite";
            r = -1;
        }
    }
    std::free(block);
    if (r != 0) {
        return -1;
    }
    unsigned char header[12 + DS64_CHUNK_SIZE];
    // The sizes are filled in at finish, as a canonical file's are.
    put_rf64_header(header, ~std::uint64_t{0}, ~std::uint64_t{0}, 0);
    if (!transfer_at(fd, static_cast<const unsigned char*>(header), sizeof header, 0, ::pwrite)) {
        error_text = ":pwrite";
        return -1;
    }
    if (std::fseek(writer.file, 0, SEEK_END) != 0) {
        error_text = ":fseek";
        return -1;
    }
    writer.rf64 = 1;
    writer.riff_length += DS64_CHUNK_SIZE;
    writer.data_chunk_offset += static_cast<std::int32_t>(DS64_CHUNK_SIZE);
    return 0;
}

// Lays the file out as RF64 before its format is written: the RF64 file header over the
// canonical one and the ds64 chunk where the format chunk would go. Returns 0 or -1.
int wav_begin_rf64() {
    unsigned char header[12 + DS64_CHUNK_SIZE];
    put_rf64_header(header, ~std::uint64_t{0}, ~std::uint64_t{0}, 0);
    if (wav_patch(0, header, 12) != 0) {
        return -1;
    }
    if (std::fwrite(header + 12, 1, DS64_CHUNK_SIZE, writer.file) != DS64_CHUNK_SIZE) {
        error_text = ":fwrite";
        return -1;
    }
    writer.rf64 = 1;
    writer.riff_length += DS64_CHUNK_SIZE;
    return 0;
}

std::int32_t wav_open(const OutputControl* control) {
    const char* path = control->path;
    if (path == nullptr || std::strcmp(path, "-") == 0) {
        writer.file = stdout;
    } else {
        // Readable too: a file that outgrows the RIFF limit is rewritten in place as RF64.
        writer.file = std::fopen(path, "w+b");
        if (writer.file == nullptr) {
            error_text = ":";  // the player names the path with the system error
            return -1;
        }
        // Not for standard output, which may have been written to already. Should it fail,
        // the stream's own buffer writes the same bytes, only in more calls.
        if (file_buffer_user == nullptr &&
            std::setvbuf(writer.file, file_buffer, _IOFBF, sizeof file_buffer) == 0) {
            file_buffer_user = writer.file;
        }
    }
    unsigned char header[12];
    std::memcpy(header, "RIFF", 4);
    put_u32_le(0xFFFFFFFFu, header + 4);
    std::memcpy(header + 8, "WAVE", 4);
    if (std::fwrite(header, 1, sizeof header, writer.file) != sizeof header) {
        error_text = ":fwrite";
        // The player gives up without a finish after a failed open, so nobody else would
        // close this stream; keep errno for the message the player is about to print.
        if (writer.file != stdout) {
            int saved_errno = errno;
            release_file_buffer(writer.file);
            std::fclose(writer.file);
            errno = saved_errno;
        }
        writer.file = nullptr;
        return -1;
    }
    writer.riff_length = 4;
    writer.trailer = control->trailer;
    writer.trailer_length = control->trailer != nullptr ? control->trailer_length : 0;
    // Not part of the layout until config, but a finish after a failed config must not pad
    // by the previous file's length.
    writer.data_length = 0;
    writer.data_chunk_offset = -1;
    writer.configured_bits = 0;
    writer.configured_channels = 0;
    writer.configured_rate = 0;
    writer.rf64 = 0;
    return 0;
}

std::int32_t wav_config(OutputControl* control) {
    if (writer.configured_bits != 0) {
        // The format of a file never changes once written; the player adapts to this one.
        control->precision = writer.configured_bits;
        control->channels = writer.configured_channels;
        control->speed = writer.configured_rate;
        return 0;
    }
    std::uint32_t bits = control->precision;
    if (bits == 0) {
        bits = 16;
    } else if (bits > 32) {
        bits = 32;
    }
    const std::uint32_t channels = control->channels;
    const std::uint32_t speed = control->speed;
    const std::uint32_t block_align = channels * ((bits + 7) / 8);

    // Only a file of our own can have its first bytes rewritten; standard output may have
    // been written to before.
    const std::uint64_t expected_data = control->expected_frames * block_align;
    const std::uint64_t expected_riff =
        writer.riff_length + 24 + 8 + expected_data + (expected_data & 1u) + writer.trailer_length;
    if (writer.file != stdout && expected_riff > RIFF_SIZE_MAX && wav_begin_rf64() != 0) {
        return -1;
    }

    unsigned char format[24];
    std::memcpy(format, "fmt ", 4);
    put_u32_le(16, format + 4);
    put_u16_le(1, format + 8);  // PCM
    put_u16_le(channels, format + 10);
    put_u32_le(speed, format + 12);
    put_u32_le(speed * block_align, format + 16);
    put_u16_le(block_align, format + 20);
    put_u16_le(bits, format + 22);
    if (std::fwrite(format, 1, sizeof format, writer.file) != sizeof format) {
        error_text = ":fwrite";
        return -1;
    }
    writer.riff_length += 24;

    // A stream that cannot tell its position (a pipe) leaves -1: its data size is not patched.
    writer.data_chunk_offset = static_cast<std::int32_t>(std::ftell(writer.file));

    unsigned char data_header[8];
    std::memcpy(data_header, "data", 4);
    put_u32_le(0xFFFFFFFFu, data_header + 4);
    if (std::fwrite(data_header, 1, sizeof data_header, writer.file) != sizeof data_header) {
        error_text = ":fwrite";
        return -1;
    }
    writer.riff_length += 8;
    writer.data_length = 0;

    control->precision = bits;
    writer.converter = packer_for_bits(bits);
    writer.configured_bits = bits;
    writer.configured_rate = speed;
    writer.configured_channels = channels;
    return 0;
}

std::int32_t wav_play(const OutputControl* control) {
    const std::uint32_t n = control->nsamples;
    const mad_fixed_t* left = control->samples[0];
    const mad_fixed_t* right = control->samples[1];
    const std::uint64_t channels = right != nullptr ? 2 : 1;
    const std::uint64_t sample_bytes = (writer.configured_bits + 7) / 8;

    // A stream that cannot be rewritten refuses the whole block rather than wrap the 32-bit
    // size fields: what was written before stays a valid file once finish patches its true
    // sizes and adds the trailer.
    if (writer.rf64 == 0 && passes_riff_limit(writer.data_length + n * channels * sample_bytes)) {
        if (writer.file == stdout || writer.data_chunk_offset == -1) {
            error_text = "output file too large for WAV";
            return -1;
        }
        if (wav_convert_to_rf64() != 0) {
            return -1;
        }
    }

    // After resampling a block can hold about twice what the buffer takes, so it goes out in
    // parts.
    unsigned char buffer[CONVERT_BUFFER_SIZE];
    for (std::uint32_t done = 0; done < n;) {
        const std::uint32_t part = n - done < PART_SAMPLES ? n - done : PART_SAMPLES;
        const std::uint32_t count =
            writer.converter(buffer, part, left + done, right != nullptr ? right + done : nullptr,
                             control->mode, control->stats);
        if (std::fwrite(buffer, 1, count, writer.file) != count) {
            error_text = ":fwrite";
            return -1;
        }
        writer.riff_length += count;
        writer.data_length += count;
        done += part;
    }
    return 0;
}

std::int32_t wav_finish() {
    std::int32_t r = 0;
    if (writer.configured_bits == 0) {
        // Even a run that produced no audio leaves a complete file.
        OutputControl control;
        output_control_init(&control, OUTPUT_CONFIG);
        control.channels = 2;
        control.speed = 44100;
        control.precision = 0;
        r = wav_config(&control);
    }
    if ((writer.data_length & 1u) != 0) {
        if (std::fputc(0, writer.file) == EOF && r == 0) {
            error_text = ":fputc";
            r = -1;
        }
        writer.riff_length += 1;
    }
    // Behind the data, so that the 44-byte header and every reader that stops at the data
    // stay as they are. A stream that cannot be patched keeps its "unknown" data size, and a
    // reader would take the chunks for samples.
    if (r == 0 && writer.trailer_length != 0 && writer.data_chunk_offset != -1) {
        if (std::fwrite(writer.trailer, 1, writer.trailer_length, writer.file) !=
            writer.trailer_length) {
            error_text = ":fwrite";
            r = -1;
        }
        writer.riff_length += writer.trailer_length;
    }
    if (r == 0 && writer.rf64 != 0) {
        unsigned char header[12 + DS64_CHUNK_SIZE];
        const std::uint32_t block_align =
            writer.configured_channels * ((writer.configured_bits + 7) / 8);
        put_rf64_header(header, writer.riff_length, writer.data_length,
                        block_align != 0 ? writer.data_length / block_align : 0);
        if (wav_patch(DS64_SIZES_OFFSET, header + DS64_SIZES_OFFSET, 24) != 0) {
            r = -1;
        }
    } else if (r == 0) {
        if (writer.data_chunk_offset != -1 &&
            wav_patch_u32(static_cast<long>(writer.data_chunk_offset) + 4,
                          static_cast<std::uint32_t>(writer.data_length)) != 0) {
            r = -1;
        }
        if (r == 0 && wav_patch_u32(4, static_cast<std::uint32_t>(writer.riff_length)) != 0) {
            r = -1;
        }
    }
    if (writer.file != stdout) {
        release_file_buffer(writer.file);
        const int closed = std::fclose(writer.file);
        writer.file = nullptr;
        if (closed != 0 && r == 0) {
            error_text = ":fclose";
            return -1;
        }
    }
    return r;
}

}  // namespace

std::int32_t wav_command(OutputControl* control) {
    error_text = "";
    switch (control->command) {
        case OUTPUT_OPEN:
            return wav_open(control);
        case OUTPUT_CONFIG:
            return wav_config(control);
        case OUTPUT_PLAY:
            return wav_play(control);
        case OUTPUT_STOP:
            return 0;
        case OUTPUT_FINISH:
            return wav_finish();
        default:
            return 0;
    }
}

const char* output_error() {
    return error_text;
}

void put_u32_le(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value & 0xFFu);
    bytes[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
    bytes[2] = static_cast<unsigned char>((value >> 16) & 0xFFu);
    bytes[3] = static_cast<unsigned char>((value >> 24) & 0xFFu);
}

void put_u16_le(std::uint32_t value, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(value & 0xFFu);
    bytes[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}

void wav_preset_data_length_for_testing(std::uint64_t data_length) {
    writer.riff_length += data_length - writer.data_length;
    writer.data_length = data_length;
}

#include "normalize/pcmwav.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// One text for every file: the normalizer handles one file at a time and reads the cause of
// a failure right after the failing call.
char error_text[256];

[[gnu::format(printf, 1, 2)]] void set_error(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(error_text, sizeof error_text, format, args);
    va_end(args);
}

constexpr const char* kReadError = "Read error: this is not a correct PCM WAV file.\n";

// Loops over partial transfers and interrupted calls; stops at the end of the file or at the
// first real error. Returns the number of bytes moved.
template <typename Byte, typename Transfer>
std::size_t transfer_fully(int fd, Byte* bytes, std::size_t count, Transfer transfer) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = transfer(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t read_fully(int fd, void* buffer, std::size_t count) {
    return transfer_fully(fd, static_cast<unsigned char*>(buffer), count, ::read);
}

std::size_t write_fully(int fd, const void* buffer, std::size_t count) {
    return transfer_fully(fd, static_cast<const unsigned char*>(buffer), count, ::write);
}

std::uint32_t get_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t get_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

bool read_chunk_size(int fd, std::int32_t* size) {
    unsigned char bytes[4];
    if (read_fully(fd, bytes, 4) != 4) {
        return false;
    }
    *size = static_cast<std::int32_t>(get_u32(bytes));
    return true;
}

// The walk after the file header. Every chunk must lie inside the file, so the position only
// ever moves forward and a damaged size cannot send the walk backwards or into a loop.
// Returns 1 with file->data_size and file->data_offset set; on 0 the error text is set.
int walk_chunks(PcmWavFile* file, off_t file_size, bool rf64) {
    off_t position = 12;
    bool have_ds64 = false;
    std::uint64_t ds64_data_size = 0;
    bool have_format = false;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    for (;;) {
        char id[4];
        if (read_fully(file->handle, id, 4) != 4) {
            set_error("%s", kReadError);
            return 0;
        }
        if (std::memcmp(id, "data", 4) == 0 && !(rf64 && position == 12)) {
            break;
        }
        std::int32_t size = 0;
        if (!read_chunk_size(file->handle, &size)) {
            set_error("%s", kReadError);
            return 0;
        }
        off_t body = position + 8;
        bool is_format = std::memcmp(id, "fmt ", 4) == 0;
        // In an RF64 file the ds64 chunk comes first and holds the true data size.
        if (rf64 && position == 12) {
            unsigned char sizes[16];
            if (std::memcmp(id, "ds64", 4) != 0 || size < 28 || body + size > file_size ||
                read_fully(file->handle, sizes, 16) != 16 ||
                ::lseek(file->handle, size - 16, SEEK_CUR) < 0) {
                set_error("%s", kReadError);
                return 0;
            }
            ds64_data_size = get_u32(sizes + 8) | std::uint64_t{get_u32(sizes + 12)} << 32;
            have_ds64 = true;
            position = body + size;
            continue;
        }
        if (size < 0 || (is_format && size < 16) || body + size > file_size) {
            set_error("%s", kReadError);
            return 0;
        }
        if (is_format) {
            unsigned char format[16];
            if (read_fully(file->handle, format, 16) != 16) {
                set_error("%s", kReadError);
                return 0;
            }
            if (get_u16(format) != 1) {
                set_error("Error in format subchunk: this is not a PCM WAV file.\n");
                return 0;
            }
            file->bits_per_sample = get_u16(format + 14);
            if (file->bits_per_sample != 8 && file->bits_per_sample != 16) {
                set_error("Can only deal with 8-bit or 16-bit samples.\n");
                return 0;
            }
            channels = get_u16(format + 2);
            sample_rate = get_u32(format + 4);
            have_format = true;
            if (size != 16 && ::lseek(file->handle, size - 16, SEEK_CUR) < 0) {
                set_error("%s", kReadError);
                return 0;
            }
        } else if (::lseek(file->handle, size, SEEK_CUR) < 0) {
            set_error("%s", kReadError);
            return 0;
        }
        position = body + size;
    }
    if (!have_format) {
        set_error("Encountered data subchunk, but no format subchunk found.\n");
        return 0;
    }
    unsigned char size_bytes[4];
    off_t data_offset = position + 8;
    // data_offset must fit its 32-bit field, or a rewind would land on the wrong bytes.
    if (read_fully(file->handle, size_bytes, 4) != 4 || data_offset > 0xFFFFFFFF) {
        set_error("%s", kReadError);
        return 0;
    }
    file->data_size = get_u32(size_bytes);
    if (have_ds64 && file->data_size == 0xFFFFFFFFu) {
        file->data_size = ds64_data_size;
    }
    file->channels = channels;
    file->sample_rate = sample_rate;
    file->data_offset = static_cast<std::uint32_t>(data_offset);
    return 1;
}

}  // namespace

int pcmwav_open(const char* path, int access, PcmWavFile* file) {
    *file = {};
    file->handle = ::open(path, access | O_CLOEXEC);
    if (file->handle < 0) {
        set_error("Cannot open file %s.\n", path);
        return 0;
    }
    // The exclusive lock stands for opening without sharing; the chunk bounds need the size
    // of a regular file.
    struct stat info {};
    if (::flock(file->handle, LOCK_EX | LOCK_NB) != 0 || ::fstat(file->handle, &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        set_error("Cannot open file %s.\n", path);
        pcmwav_close(file);
        return 0;
    }
    unsigned char header[12] = {};
    const bool read = read_fully(file->handle, header, 12) == 12;
    const bool rf64 = read && std::memcmp(header, "RF64", 4) == 0;
    if (!read || (std::memcmp(header, "RIFF", 4) != 0 && !rf64) ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        set_error("This is not a PCM WAV file.\n");
        pcmwav_close(file);
        return 0;
    }
    if (walk_chunks(file, info.st_size, rf64) == 0) {
        pcmwav_close(file);
        return 0;
    }
    return 1;
}

int pcmwav_read(PcmWavFile* file, void* buffer, std::uint32_t count) {
    std::size_t done = read_fully(file->handle, buffer, count);
    if (done != count) {
        set_error("Error in pcmwav_read(); only read %lu instead of %lu bytes.",
                  static_cast<unsigned long>(done), static_cast<unsigned long>(count));
        return 0;
    }
    return 1;
}

int pcmwav_write(PcmWavFile* file, const void* buffer, std::uint32_t count) {
    std::size_t done = write_fully(file->handle, buffer, count);
    if (done != count) {
        set_error("Error in pcmwav_write(); only wrote %lu instead of %lu bytes.",
                  static_cast<unsigned long>(done), static_cast<unsigned long>(count));
        return 0;
    }
    return 1;
}

int pcmwav_rewind(PcmWavFile* file) {
    if (::lseek(file->handle, static_cast<off_t>(file->data_offset), SEEK_SET) < 0) {
        set_error("Error in pcmwav_rewind().");
        return 0;
    }
    return 1;
}

int pcmwav_seek(PcmWavFile* file, std::int32_t delta) {
    if (::lseek(file->handle, static_cast<off_t>(delta), SEEK_CUR) < 0) {
        set_error("Error in pcmwav_seek() - pos = %ld", static_cast<long>(delta));
        return 0;
    }
    return 1;
}

int pcmwav_close(PcmWavFile* file) {
    if (file->handle >= 0) {
        // Nothing useful follows a failed close of a file whose blocks were already written.
        ::close(file->handle);
        file->handle = -1;
    }
    return 1;
}

const char* pcmwav_error() {
    return error_text;
}

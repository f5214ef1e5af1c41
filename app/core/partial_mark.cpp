#include "app/core/partial_mark.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// "part", a body size of 16, then 16 bytes a person reading the file can understand. A
// finished file never ends like this: the writer puts only data and tag chunks there.
constexpr char MARK[] = "part\x10\0\0\0stopped part way";
constexpr std::size_t MARK_SIZE = sizeof MARK - 1;
constexpr std::size_t HEADER_SIZE = 12;
constexpr off_t RF64_RIFF_SIZE_AT = 20;  // after "RF64", size, "WAVE", "ds64" and its size

bool full_pwrite(int fd, const void* bytes, std::size_t size, off_t at) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t n = pwrite(fd, next, size, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        next += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool full_pread(int fd, void* bytes, std::size_t size, off_t at) {
    auto* next = static_cast<char*>(bytes);
    while (size > 0) {
        ssize_t n = pread(fd, next, size, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EINVAL;
            }
            return false;
        }
        next += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

// "RIFF" or "RF64", then "WAVE".
bool wav_header(int fd, char header[HEADER_SIZE]) {
    return full_pread(fd, header, HEADER_SIZE, 0) &&
           (std::memcmp(header, "RIFF", 4) == 0 || std::memcmp(header, "RF64", 4) == 0) &&
           std::memcmp(header + 8, "WAVE", 4) == 0;
}

void put_le(unsigned char* out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

bool mark_partial_wav(int fd) {
    struct stat info {};
    char header[HEADER_SIZE];
    if (fstat(fd, &info) != 0) {
        return false;
    }
    if (!wav_header(fd, header)) {
        errno = EINVAL;
        return false;
    }
    off_t end = info.st_size;
    if ((end & 1) != 0) {
        // Chunks start at even offsets: the last one's pad byte is missing.
        if (!full_pwrite(fd, "", 1, end)) {
            return false;
        }
        ++end;
    }
    if (!full_pwrite(fd, MARK, MARK_SIZE, end)) {
        return false;
    }
    const std::uint64_t riffSize = static_cast<std::uint64_t>(end) + MARK_SIZE - 8;
    unsigned char size[8];
    if (std::memcmp(header, "RF64", 4) == 0) {
        put_le(size, riffSize, 8);
        return full_pwrite(fd, size, 8, RF64_RIFF_SIZE_AT);
    }
    if (riffSize > 0xFFFFFFFFu) {
        return true;  // past what the field holds, as the file's own size already was
    }
    put_le(size, riffSize, 4);
    return full_pwrite(fd, size, 4, 4);
}

bool is_partial_wav(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) {
        return false;
    }
    struct stat info {};
    char header[HEADER_SIZE];
    char tail[MARK_SIZE];
    const bool marked =
        fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size >= static_cast<off_t>(HEADER_SIZE + MARK_SIZE) && wav_header(fd, header) &&
        full_pread(fd, tail, MARK_SIZE, info.st_size - static_cast<off_t>(MARK_SIZE)) &&
        std::memcmp(tail, MARK, MARK_SIZE) == 0;
    close(fd);
    return marked;
}

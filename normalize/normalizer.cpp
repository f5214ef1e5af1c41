#include "normalize/normalizer.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "normalize/pcmwav.h"

namespace {

struct NormalizerSettings {
    std::uint32_t block_size;  // bytes
    double target_level;       // percent of full scale
};

constexpr NormalizerSettings kSettings = {65536, 100.0};

// The data of an RF64 file can pass 4 GiB, so the count of bytes left is 64-bit.
std::uint32_t next_block(std::uint64_t left) {
    return left < kSettings.block_size ? static_cast<std::uint32_t>(left) : kSettings.block_size;
}

std::int32_t s16_at(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

// Pass 1 keeps minimum <= 0 <= maximum, both starting at 0. False on a failed read.
bool scan_peaks_u8(PcmWavFile* file, unsigned char* buffer, std::int32_t* minimum,
                   std::int32_t* maximum) {
    for (std::uint64_t left = file->data_size; left > 0;) {
        std::uint32_t n = next_block(left);
        if (pcmwav_read(file, buffer, n) == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            std::int32_t s = static_cast<std::int32_t>(buffer[i]) - 128;
            if (s < *minimum) {
                *minimum = s;
            } else if (s > *maximum) {
                *maximum = s;
            }
        }
        left -= n;
    }
    return true;
}

// A trailing odd byte is not a sample.
bool scan_peaks_s16(PcmWavFile* file, unsigned char* buffer, std::int32_t* minimum,
                    std::int32_t* maximum) {
    for (std::uint64_t left = file->data_size; left > 0;) {
        std::uint32_t n = next_block(left);
        if (pcmwav_read(file, buffer, n) == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i + 1 < n; i += 2) {
            std::int32_t s = s16_at(buffer + i);
            if (s < *minimum) {
                *minimum = s;
            } else if (s > *maximum) {
                *maximum = s;
            }
        }
        left -= n;
    }
    return true;
}

// The products and comparisons stay in long double (64-bit significand on x86-64) so that
// values such as 32 x 1.984375 = 63.5 truncate exactly as computed, not after a rounding.
void fill_table_u8(unsigned char* table, double gain) {
    for (std::int32_t s = -128; s <= 127; ++s) {
        long double x = static_cast<long double>(s) * static_cast<long double>(gain);
        std::int32_t entry;
        if (x > 127) {
            entry = 255;
        } else if (x < -127) {
            entry = 0;
        } else {
            entry = static_cast<std::int32_t>(x) + 128;
        }
        table[s + 128] = static_cast<unsigned char>(entry);
    }
}

// Indexed by the raw 16-bit pattern of the sample.
void fill_table_s16(std::int16_t* table, double gain) {
    for (std::int32_t s = -32768; s <= 32767; ++s) {
        long double x = static_cast<long double>(s) * static_cast<long double>(gain);
        std::int32_t entry;
        if (x > 32767) {
            entry = 32767;
        } else if (x < -32767) {
            entry = -32767;
        } else {
            entry = static_cast<std::int32_t>(x);
        }
        table[static_cast<std::uint16_t>(s)] = static_cast<std::int16_t>(entry);
    }
}

// Pass 2 starts at the first sample. False at the first failed read, seek or write; the
// blocks before it stay rewritten.
bool apply_table_u8(PcmWavFile* file, unsigned char* buffer, const unsigned char* table) {
    for (std::uint64_t left = file->data_size; left > 0;) {
        std::uint32_t n = next_block(left);
        if (pcmwav_read(file, buffer, n) == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            buffer[i] = table[buffer[i]];
        }
        if (pcmwav_seek(file, -static_cast<std::int32_t>(n)) == 0 ||
            pcmwav_write(file, buffer, n) == 0) {
            return false;
        }
        left -= n;
    }
    return true;
}

bool apply_table_s16(PcmWavFile* file, unsigned char* buffer, const std::int16_t* table) {
    for (std::uint64_t left = file->data_size; left > 0;) {
        std::uint32_t n = next_block(left);
        if (pcmwav_read(file, buffer, n) == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i + 1 < n; i += 2) {
            auto raw = static_cast<std::uint16_t>(buffer[i] | buffer[i + 1] << 8);
            auto out = static_cast<std::uint16_t>(table[raw]);
            buffer[i] = static_cast<unsigned char>(out & 0xFF);
            buffer[i + 1] = static_cast<unsigned char>(out >> 8);
        }
        if (pcmwav_seek(file, -static_cast<std::int32_t>(n)) == 0 ||
            pcmwav_write(file, buffer, n) == 0) {
            return false;
        }
        left -= n;
    }
    return true;
}

// Everything after a successful open; the caller closes the file and frees the buffer.
int normalize_open_file(PcmWavFile* file, unsigned char* buffer) {
    bool eight_bit = file->bits_per_sample == 8;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    bool scanned = eight_bit ? scan_peaks_u8(file, buffer, &minimum, &maximum)
                             : scan_peaks_s16(file, buffer, &minimum, &maximum);
    // Without the rewind pass 2 would rewrite the wrong bytes, so it counts as a pass 1 failure.
    if (!scanned || pcmwav_rewind(file) == 0) {
        return NORMALIZE_CANNOT_OPEN;
    }

    std::int32_t full_scale = eight_bit ? 127 : 32767;
    if (minimum == -full_scale - 1) {
        minimum = -full_scale;
    }
    std::int32_t peak = maximum > -minimum ? maximum : -minimum;
    double gain = 1.0;
    if (peak != 0) {
        long double level = static_cast<long double>(kSettings.target_level) * full_scale;
        gain = static_cast<double>(level / (static_cast<long double>(peak) * 100));
    }
    if (gain == 1.0) {
        return NORMALIZE_NOTHING_TO_DO;
    }

    std::size_t table_bytes = eight_bit ? 256 : 65536 * sizeof(std::int16_t);
    void* table = std::malloc(table_bytes);
    if (table == nullptr) {
        return NORMALIZE_NO_TABLE;
    }
    bool applied;
    if (eight_bit) {
        auto* table_u8 = static_cast<unsigned char*>(table);
        fill_table_u8(table_u8, gain);
        applied = apply_table_u8(file, buffer, table_u8);
    } else {
        auto* table_s16 = static_cast<std::int16_t*>(table);
        fill_table_s16(table_s16, gain);
        applied = apply_table_s16(file, buffer, table_s16);
    }
    std::free(table);
    return applied ? NORMALIZE_DONE : NORMALIZE_WRITE_FAILED;
}

bool is_regular_file(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int normalize_file(const char* path) {
    PcmWavFile file;
    if (pcmwav_open(path, O_RDWR, &file) == 0) {
        return NORMALIZE_CANNOT_OPEN;
    }
    auto* buffer = static_cast<unsigned char*>(std::malloc(kSettings.block_size));
    int code = buffer == nullptr ? NORMALIZE_CANNOT_OPEN : normalize_open_file(&file, buffer);
    std::free(buffer);
    pcmwav_close(&file);
    return code;
}

int normalize_path(const char* path) {
    // A file name may itself contain * ? [ ; an existing file is never read as a pattern.
    if (is_regular_file(path)) {
        return normalize_file(path);
    }
    glob_t matches{};
    bool found = false;
    int code = NORMALIZE_CANNOT_OPEN;
    if (::glob(path, 0, nullptr, &matches) == 0) {
        for (std::size_t i = 0; i < matches.gl_pathc; ++i) {
            const char* match = matches.gl_pathv[i];
            if (!is_regular_file(match)) {
                continue;
            }
            found = true;
            code = normalize_file(match);
            if (code != NORMALIZE_DONE && code != NORMALIZE_NOTHING_TO_DO) {
                break;
            }
        }
    }
    ::globfree(&matches);
    if (!found) {
        std::fprintf(stderr, "Could not find file %s.\n", path);
        return NORMALIZE_CANNOT_OPEN;
    }
    return code;
}

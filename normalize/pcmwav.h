// Block access to the sample data of an 8-bit or 16-bit PCM WAV file. Every operation
// returns 1 for success or 0 for failure, leaving a message in pcmwav_error().
#pragma once

#include <cstdint>

struct PcmWavFile {
    std::uint16_t channels;
    std::uint32_t sample_rate;
    std::uint32_t bits_per_sample;  // 8 or 16 after a successful open
    // As declared by the data chunk header; in an RF64 file by its ds64 chunk.
    std::uint64_t data_size;
    int handle;                 // file descriptor
    std::uint32_t data_offset;  // position of the first sample byte
};

// access: open(2) flags such as O_RDWR. The file is locked exclusively (flock); a file that
// someone else holds locked, or that is not a regular file, fails to open. Every chunk before
// the data chunk must lie inside the file; the data chunk's declared size is not checked.
// An RF64 file (EBU Tech 3306: "RF64" and a ds64 chunk first, holding the 64-bit sizes) is
// read like a RIFF file, its data size taken from the ds64 chunk.
int pcmwav_open(const char* path, int access, PcmWavFile* file);
int pcmwav_read(PcmWavFile* file, void* buffer, std::uint32_t count);
int pcmwav_write(PcmWavFile* file, const void* buffer, std::uint32_t count);
int pcmwav_rewind(PcmWavFile* file);
int pcmwav_seek(PcmWavFile* file, std::int32_t delta);
int pcmwav_close(PcmWavFile* file);

// The shared error text of the last failed operation (at most 255 characters).
const char* pcmwav_error();

#include "engine/frame_walk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t WALK_BUFFER_SIZE = 65536;

// What must stay equal from frame to frame for the run's frames to share duration, slots and
// channel count; a change of bit rate or joint-stereo mode is fine.
struct FrameFormat {
    mad_layer layer;
    unsigned samplerate;
    int version_flags;
    int single_channel;
};

FrameFormat format_of(const mad_header* header) {
    return {header->layer, header->samplerate,
            header->flags & (MAD_FLAG_LSF_EXT | MAD_FLAG_MPEG_2_5_EXT),
            header->mode == MAD_MODE_SINGLE_CHANNEL ? 1 : 0};
}

bool same_format(const FrameFormat& a, const FrameFormat& b) {
    return a.layer == b.layer && a.samplerate == b.samplerate &&
           a.version_flags == b.version_flags && a.single_channel == b.single_channel;
}

int push_offset(FrameRun* run, std::uint32_t* capacity, std::uint32_t offset) {
    if (run->count + 1 >= *capacity) {
        std::uint32_t grown = *capacity == 0 ? 4096 : *capacity * 2;
        auto* offsets =
            static_cast<std::uint32_t*>(std::realloc(run->offsets, grown * sizeof(std::uint32_t)));
        if (offsets == nullptr) {
            return -1;
        }
        run->offsets = offsets;
        *capacity = grown;
    }
    run->offsets[run->count] = offset;
    return 0;
}

struct WalkInput {
    int fd;
    unsigned char* buffer;  // WALK_BUFFER_SIZE + MAD_BUFFER_GUARD
    std::uint32_t length;
    std::uint64_t base;  // file offset of buffer[0]
    std::uint64_t read_to;
    int eof;
};

// Keeps the bytes from next_frame on and appends more; at the end the guard bytes let libmad
// decode the last header. Returns 0, 1 at the end, or -1 after a failed read.
int refill(WalkInput* in, mad_stream* stream) {
    if (in->eof != 0) {
        return 1;
    }
    if (stream->next_frame != nullptr) {
        auto used = static_cast<std::uint32_t>(stream->next_frame - in->buffer);
        std::memmove(in->buffer, stream->next_frame, in->length - used);
        in->length -= used;
        in->base += used;
    }
    ssize_t got;
    do {
        got = pread(in->fd, in->buffer + in->length, WALK_BUFFER_SIZE - in->length,
                    static_cast<off_t>(in->read_to));
    } while (got == -1 && errno == EINTR);
    if (got == -1) {
        return -1;
    }
    if (got == 0) {
        in->eof = 1;
        std::memset(in->buffer + in->length, 0, MAD_BUFFER_GUARD);
        in->length += MAD_BUFFER_GUARD;
    } else {
        in->length += static_cast<std::uint32_t>(got);
        in->read_to += static_cast<std::uint64_t>(got);
    }
    mad_stream_buffer(stream, in->buffer, in->length);
    return 0;
}

}  // namespace

int walk_frame_run(int fd, std::uint32_t min_frames, FrameRun* run) {
    *run = {};
    struct stat info {};
    if (fstat(fd, &info) == -1 || info.st_size > static_cast<off_t>(UINT32_MAX)) {
        return -1;
    }
    WalkInput in{fd, static_cast<unsigned char*>(std::malloc(WALK_BUFFER_SIZE + MAD_BUFFER_GUARD)),
                 0,  0,
                 0,  0};
    if (in.buffer == nullptr) {
        return -1;
    }
    mad_stream stream;
    mad_stream_init(&stream);
    mad_header header;
    mad_header_init(&header);

    std::uint32_t capacity = 0;
    FrameFormat format{};
    std::uint64_t expected = 0;  // where the run's next frame has to start
    int result = -1;
    bool failed = refill(&in, &stream) == -1;
    while (!failed) {
        if (mad_header_decode(&header, &stream) == -1) {
            if (stream.error == MAD_ERROR_BUFLEN) {
                int more = refill(&in, &stream);
                failed = more == -1;
                if (more != 0) {
                    break;
                }
                continue;
            }
            if (!MAD_RECOVERABLE(stream.error)) {
                break;
            }
            // Damage or foreign bytes: whatever follows starts a new run.
            if (run->count >= min_frames) {
                break;
            }
            run->count = 0;
            continue;
        }
        const std::uint64_t offset =
            in.base + static_cast<std::uint64_t>(stream.this_frame - in.buffer);
        const FrameFormat here = format_of(&header);
        const bool free_format = (header.flags & MAD_FLAG_FREEFORMAT) != 0;
        const bool follows = run->count > 0 && offset == expected && same_format(here, format) &&
                             mad_timer_compare(header.duration, run->duration) == 0;
        if (!follows) {
            if (run->count >= min_frames) {
                break;
            }
            run->count = 0;
        }
        if (free_format) {
            // Its frame length depends on what follows; the run cannot be cut inside it.
            run->count = 0;
            continue;
        }
        if (run->count == 0) {
            format = here;
            run->duration = header.duration;
            run->slots = static_cast<std::uint32_t>(MAD_NSBSAMPLES(&header));
        }
        if (push_offset(run, &capacity, static_cast<std::uint32_t>(offset)) == -1) {
            failed = true;
            break;
        }
        ++run->count;
        expected = in.base + static_cast<std::uint64_t>(stream.next_frame - in.buffer);
    }
    if (!failed && run->count >= min_frames &&
        push_offset(run, &capacity, static_cast<std::uint32_t>(expected)) == 0) {
        result = 0;
    }
    mad_header_finish(&header);
    mad_stream_finish(&stream);
    std::free(in.buffer);
    if (result == -1) {
        frame_run_free(run);
    }
    return result;
}

void frame_run_free(FrameRun* run) {
    std::free(run->offsets);
    *run = {};
}

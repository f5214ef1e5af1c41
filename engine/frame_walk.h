// A walk over a file's frame headers with libmad's own header decoder, finding the first long
// run of frames that follow one another without a gap and share one format, where a decode
// may be split into independent pieces.
#pragma once

#include <mad.h>

#include <cstdint>

struct FrameRun {
    std::uint32_t* offsets;  // count + 1 file offsets, malloc'd: each frame's, then the run's end
    std::uint32_t count;     // frames in the run
    mad_timer_t duration;    // of every frame
    std::uint32_t slots;     // subband sample slots per frame: 12, 18 or 36
};

// Fills run with the first run of at least min_frames frames of fd (read with pread, so the
// file position stays). Returns 0, or -1 when there is none, the file is beyond 4 GiB, a read
// fails or memory runs out; run then holds nothing to free.
int walk_frame_run(int fd, std::uint32_t min_frames, FrameRun* run);

void frame_run_free(FrameRun* run);

// Albums for loudness: the files that share a folder are measured as one programme, and every
// one of them is written at the album's gain once all of them have been measured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/core/batch.h"
#include "engine/request.h"

struct AlbumLoudness {
    std::vector<std::string> inputs;      // per file, its input path
    std::vector<LoudnessFigures> tracks;  // per file; measured 0 when its measuring failed
    std::vector<std::size_t> albumOf;     // per file, into albums
    std::vector<LoudnessFigures> albums;  // per folder, in the order the files meet them
};

// The files' folders as albums, nothing measured yet.
AlbumLoudness group_albums(const std::vector<BatchFile>& files);

// Adds one file's measured figures to it and to its album.
void add_track_figures(AlbumLoudness& albums, std::size_t file, const LoudnessFigures& figures);

// Measures every file with its request (built by build, writing nothing) and adds the figures
// up per album: with workers above 1 in that many worker processes at once, else in this
// process. Runs in state, started with begin_batch: a stop or cancel ends the measuring and
// the run then writes nothing.
AlbumLoudness measure_albums(BatchState& state, const std::vector<BatchFile>& files,
                             const RequestBuilder& build, int workers);

// build with each file's request given its measured figures (so it is decoded once more, not
// twice) and its album's; albums must outlive every request built.
RequestBuilder album_requests(const RequestBuilder& build, const AlbumLoudness& albums);

// Albums for loudness: the files that share a folder are measured as one programme, and every
// one of them is written at the album's gain once all of them have been measured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/core/batch.h"
#include "app/core/output_plan.h"
#include "app/core/shared_memory.h"
#include "app/core/worker_pool.h"
#include "engine/request.h"

// The figures live in memory shared with the worker processes, so that a worker forked before
// an album was measured writes its files with the album's figures.
using SharedFigures = std::vector<LoudnessFigures, SharedAllocator<LoudnessFigures>>;

struct AlbumLoudness {
    std::vector<std::string> inputs;   // per file, its input path
    SharedFigures tracks;              // per file; measured 0 when its measuring failed
    std::vector<std::size_t> albumOf;  // per file, into albums
    SharedFigures albums;              // per folder, in the order the files meet them
};

// The files' folders as albums, nothing measured yet.
AlbumLoudness group_albums(const std::vector<BatchFile>& files);

// Adds one file's measured figures to it and to its album.
void add_track_figures(AlbumLoudness& albums, std::size_t file, const LoudnessFigures& figures);

// The files the plan skips (their WAV file exists and is kept) in the albums of files it
// decodes: an album's gain does not depend on which of its files a run writes.
std::vector<BatchFile> kept_album_files(const std::vector<PlannedFile>& plan);

// The files of a run with albums, in one run of the worker pool (settings as for the files
// alone): every file is measured (a decode that writes nothing), and a file is written at its
// album's gain once every file of its album has been measured, while the files of other
// albums are still measured. Files are written in list order, so that with one worker the
// dither runs on from file to file as in a run without albums. measuredOnly: files that count
// towards their album but are not written (the WAV file exists and is kept).
// The observer hears of the writing only: every file of files ends once, in its index; the
// batch's progress counts the measuring and the writing, scaled to state's batchTotalKiB. A
// stop or cancel during the measuring leaves the files not yet written not started. measure
// stands in for the engine's measuring (it puts the figures in the request's stats).
BatchResult run_album_files(BatchState& state, const std::vector<BatchFile>& files,
                            const std::vector<BatchFile>& measuredOnly, const RequestBuilder& build,
                            const PoolSettings& settings, RunObserver& observer,
                            const DecodeFunction& decode = {}, const DecodeFunction& measure = {});

// build with each file's request given its measured figures (so it is decoded once more, not
// twice) and its album's; albums must outlive every request built.
RequestBuilder album_requests(const RequestBuilder& build, const AlbumLoudness& albums);

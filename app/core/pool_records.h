// What the worker pool's parent and a worker tell each other over the worker's socket: one
// job per file from the parent; progress and one end record per file from the worker. Fields
// are fixed-width in the host's byte order: both ends are the same program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/core/run_types.h"
#include "engine/request.h"

struct PoolJob {
    std::uint64_t index;  // into the files given to the pool
    BatchFile file;
};

struct WorkerNews {
    bool ended;  // an end record; otherwise a progress record
    std::int32_t totalKiB;
    std::int32_t doneKiB;
    FileOutcome outcome;  // the rest only in an end record; its input is the parent's to set
    std::string messages;
};

// What a take_ function found at the offset.
enum class RecordTake {
    Whole,       // one record, taken
    Incomplete,  // only part of the next record so far
    Invalid,     // bytes that are no record of ours (an unknown kind, an absurd size): the
                 // other end is not speaking this protocol and must not be trusted further
};

std::string encode_job(std::uint64_t index, const BatchFile& file);
std::string encode_progress(std::int32_t totalKiB, std::int32_t doneKiB);
// The end of a file: its outcome and what its decode wrote.
std::string encode_end(const FileOutcome& outcome, const std::string& messages);

// Each takes one whole record from buffer at offset and moves offset past it; offset stays
// unchanged unless the answer is Whole.
RecordTake take_job(const std::string& buffer, std::size_t& offset, PoolJob& job);
RecordTake take_news(const std::string& buffer, std::size_t& offset, WorkerNews& news);

// The processors of a run with several files at once, shared as tokens (processor_tokens.h)
// with the engine in the workers: every running file holds its threads' processors from its
// start until its worker is given no next file, and a file that is decoding takes up the
// tokens the others give back, so that the last files of a batch decode on the processors the
// first ones freed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/processor_tokens.h"

class RunProcessors {
public:
    // tokens null: nothing is shared and every call does nothing. slots: the pool's workers.
    RunProcessors(ProcessorTokens* tokens, int fileThreads, std::size_t slots);
    ~RunProcessors();
    RunProcessors(const RunProcessors&) = delete;
    RunProcessors& operator=(const RunProcessors&) = delete;

    // Before the first file: the processors of the files that start at once, in slots
    // [0, running), are taken out of the free ones.
    void begin(std::size_t running);
    // What the worker in slot decodes with: the run's tokens, counted in memory this process
    // reads after the worker ended. No pipe when nothing is shared.
    ProcessorTokens workerTokens(std::size_t slot) const;
    // The worker in slot is given no further file: its file's processors go back to the run.
    void release(std::size_t slot);
    // The worker in slot has ended, maybe killed while decoding: the tokens it had taken and
    // not given back return to the run.
    void reclaim(std::size_t slot);
    // Every worker has ended: every processor is free again, whatever was lost on the way.
    void end();

private:
    void give(int count);

    ProcessorTokens* tokens_;
    int perFile_;
    std::size_t slots_;
    std::atomic<std::int32_t>* taken_ = nullptr;  // one per slot, shared with the workers
    std::uint64_t holding_ = 0;                   // slots whose file holds perFile_ processors
    int owed_ = 0;  // processors the first files hold beyond the run's: paid back first
};

#include "app/core/run_processors.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

RunProcessors::RunProcessors(ProcessorTokens* tokens, int fileThreads, std::size_t slots)
    : tokens_(tokens),
      perFile_(std::max(1, fileThreads)),
      slots_(std::min<std::size_t>(slots, 64)) {
    if (tokens_ == nullptr || tokens_->read_fd == -1) {
        tokens_ = nullptr;
        return;
    }
    // Shared with the forked workers, so that a killed worker's count survives it.
    void* shared = mmap(nullptr, slots_ * sizeof(std::atomic<std::int32_t>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        tokens_ = nullptr;  // every file keeps the processors it starts with
        return;
    }
    taken_ = static_cast<std::atomic<std::int32_t>*>(shared);
    for (std::size_t slot = 0; slot < slots_; ++slot) {
        new (&taken_[slot]) std::atomic<std::int32_t>(0);
    }
}

RunProcessors::~RunProcessors() {
    if (taken_ != nullptr) {
        munmap(taken_, slots_ * sizeof(std::atomic<std::int32_t>));
    }
}

void RunProcessors::begin(std::size_t running) {
    if (tokens_ == nullptr) {
        return;
    }
    running = std::min(running, slots_);
    for (std::size_t slot = 0; slot < running; ++slot) {
        holding_ |= std::uint64_t{1} << slot;
        // Nothing decodes yet: every token is there to take.
        for (int i = 0; i < perFile_; ++i) {
            if (processor_tokens_take(tokens_) == 0) {
                ++owed_;  // more files at once than processors
            }
        }
    }
}

ProcessorTokens RunProcessors::workerTokens(std::size_t slot) const {
    if (tokens_ == nullptr || slot >= slots_) {
        return {-1, -1, 0, nullptr};
    }
    ProcessorTokens tokens = *tokens_;
    tokens.held = &taken_[slot];
    return tokens;
}

void RunProcessors::give(int count) {
    const int paid = std::min(count, owed_);
    owed_ -= paid;
    processor_tokens_give(tokens_, count - paid);
}

void RunProcessors::release(std::size_t slot) {
    const std::uint64_t bit = std::uint64_t{1} << slot;
    if (tokens_ == nullptr || slot >= slots_ || (holding_ & bit) == 0) {
        return;
    }
    holding_ &= ~bit;
    give(perFile_);
}

void RunProcessors::reclaim(std::size_t slot) {
    if (tokens_ == nullptr || slot >= slots_) {
        return;
    }
    const std::int32_t lost = taken_[slot].exchange(0);
    processor_tokens_give(tokens_, lost);
}

void RunProcessors::end() {
    if (tokens_ != nullptr) {
        processor_tokens_recount(tokens_, tokens_->total);
        holding_ = 0;
        owed_ = 0;
    }
}

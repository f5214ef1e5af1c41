// The processors of a run that no running file holds, as one byte each in a pipe, the way
// make's jobserver shares its job slots: a file decoding on several threads takes a byte
// (without waiting) before it starts one more thread and writes it back when that thread is
// done, so that the processors a finished file frees go to the files still decoding and the
// run never decodes on more threads than it has processors. Both ends are close-on-exec and
// not blocking: forked workers share them, programs started from the run do not.
#pragma once

#include <atomic>
#include <cstdint>

struct ProcessorTokens {
    int read_fd;         // -1: no pool
    int write_fd;        // -1: no pool
    std::int32_t total;  // the run's processors, the most tokens there are
    // The tokens this process has taken and not given back, or null. In memory its parent
    // can read after it ended, so that the tokens of a worker that was killed are not lost.
    std::atomic<std::int32_t>* held;
};

// A pool of total tokens, all free. Returns 0, or -1 with errno set (tokens then holds none).
int processor_tokens_create(ProcessorTokens* tokens, std::int32_t total);
// One token, if one is free at once. Returns 1 when taken, 0 when none was there.
int processor_tokens_take(const ProcessorTokens* tokens);
// Gives count tokens back.
void processor_tokens_give(const ProcessorTokens* tokens, std::int32_t count);
// The tokens free now.
std::int32_t processor_tokens_free(const ProcessorTokens* tokens);
// Sets the free tokens to free, whatever went before (a holder that ended without giving
// its tokens back): only while no other process or thread takes or gives any.
void processor_tokens_recount(const ProcessorTokens* tokens, std::int32_t free);
void processor_tokens_close(ProcessorTokens* tokens);

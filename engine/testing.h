// Test-only entry points into the engine and its WAV writer, and through dsp/testing.h into
// dsp. Production code calls none of them.
#pragma once

#include <cstdint>

#include "dsp/testing.h"

// Pretends that data_length sample bytes have been written since config (the RIFF size moves
// with it), so that the 4 GiB limit can be reached without writing 4 GiB.
void wav_preset_data_length_for_testing(std::uint64_t data_length);

// What the last decode_file with more than one thread did: the pieces it played from other
// threads, and whether the sequential decoder took over before the end of the frames the
// threads were given (an error in a piece, a failed state check, a filter that kept state).
// threads_started counts the decoding threads it ran, tokens_taken the free processors of
// the run (processor_tokens.h) it took up on the way.
struct ParallelTrace {
    std::uint32_t pieces_played;
    std::int32_t fell_back;
    std::uint32_t threads_started;
    std::uint32_t tokens_taken;
};
ParallelTrace parallel_trace_for_testing();

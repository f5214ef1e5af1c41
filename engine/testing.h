// Test-only entry points into the engine and its WAV writer, and through dsp/testing.h into
// dsp. Production code calls none of them.
#pragma once

#include <cstdint>

#include "dsp/testing.h"

// Pretends that data_length sample bytes have been written since config (the RIFF size moves
// with it), so that the 4 GiB limit can be reached without writing 4 GiB.
void wav_preset_data_length_for_testing(std::uint64_t data_length);

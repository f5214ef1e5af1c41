// The WAV writer: a canonical 44-byte-header PCM RIFF WAVE file, sizes patched at finish.
// One module-wide writer, so one file is written at a time.
#pragma once

#include <cstdint>

#include "engine/output.h"

std::int32_t wav_command(OutputControl* control);

// Text of the last failure: ":" (open failed on the path), ":fwrite", ":fseek", ":fputc",
// ":fclose", or a plain message. Cleared before each command.
const char* output_error();

void put_u32_le(std::uint32_t value, unsigned char* bytes);
void put_u16_le(std::uint32_t value, unsigned char* bytes);

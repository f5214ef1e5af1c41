// How a file's loudness figures read in the list, on the command line and in --json.
#pragma once

#include <string>

#include "engine/request.h"

// Empty when the file's loudness was not measured. "-18.0 LUFS" (the written file's loudness;
// the measured one when only tags were written), then ", gain +3.2 dB" when a gain was
// applied, with " limited by true peak" or " limited by range" when a limit decided it;
// "loudness not measurable, gain 0 dB" for a file too short or too quiet.
std::string loudness_text(const DecodeStats& stats);

// The list row's short form: "-18.0 LUFS", "-20.3 LUFS, true peak" or "-26.0 LUFS, range"
// when a limit decided the gain, "loudness not measurable"; empty when not measured.
std::string loudness_status_text(const DecodeStats& stats);

// "target", "true peak", "range" or "not measurable".
const char* gain_limit_name(std::int32_t limit);

// Which tone a channel of a 16-bit WAV file carries, measured with the Goertzel algorithm
// on the samples read by the independent RIFF parser. The stereo fixtures carry a different
// tone per channel, so a test can say which signal landed where.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "tests/support/riff.h"

// The tones of the stereo fixtures (tests/data/README.md): left and right channel.
constexpr double LEFT_TONE = 440.0;
constexpr double RIGHT_TONE = 660.0;

struct ToneReading {
    double frequency = 0;  // the strongest candidate, Hz; 0 when the span holds no samples
    double amplitude = 0;  // its amplitude as a fraction of full scale (0.5 for -6 dBFS)
    // Power of the strongest candidate over the power of everything else in the span, in dB:
    // a clean tone scores high; a click, a jump in phase or a second signal lowers it.
    double purity_db = 0;
};

// Reads one channel of a 16-bit file over frames [first, first + count). The span must hold
// whole cycles of every candidate (0.2 s does for 440 and 660 Hz at every MPEG rate), so
// that the candidates do not leak into one another.
ToneReading read_tone(const ParsedWav& wav, unsigned channel, std::size_t first, std::size_t count,
                      std::initializer_list<double> candidates);

// The amplitude of one frequency in that span, as a fraction of full scale.
double tone_amplitude(const ParsedWav& wav, unsigned channel, std::size_t first, std::size_t count,
                      double frequency);

// Reads every 0.2 s span of a channel from `from_s` up to `to_s` seconds (at the file's own
// rate) with LEFT_TONE and RIGHT_TONE as candidates, and describes the spans that do not
// carry `expected` at `min_purity_db` or better. An empty text means the whole stretch is the
// expected clean tone; a stretch outside the file is a fault, so the check cannot pass by
// reading nothing.
std::string tone_faults(const ParsedWav& wav, unsigned channel, double from_s, double to_s,
                        double expected, double min_purity_db);

// Conversion of the engine's samples to one output rate with libsoxr, for outputs at a rate the
// user chooses: libsoxr's very-high-quality recipe, at the precision the output word can show.
#pragma once

#include <mad.h>

#include <cstdint>

struct soxr;

// Input samples per channel one call may pass: a 1152-sample frame.
constexpr std::uint32_t RATE_CONVERTER_MAX_INPUT = 1152;
// Output samples per channel one call may give: libsoxr hands its output over in bursts of
// its own block size, so the room is far above one frame at the largest ratio (8000 Hz to
// 192000 Hz gives 27648 a frame).
constexpr std::uint32_t RATE_CONVERTER_MAX_OUTPUT = 1u << 17;

constexpr std::uint32_t RATE_CONVERTER_MIN_RATE = 8000;
constexpr std::uint32_t RATE_CONVERTER_MAX_RATE = 192000;

// Zero-initialised (= {}) means not started; rate_converter_release returns it there.
struct RateConverter {
    soxr* resampler;         // null while not started
    std::uint32_t channels;  // 1 or 2
    std::uint32_t rate_in;
    std::uint32_t rate_out;
    mad_fixed_t* samples;  // the converted block: RATE_CONVERTER_MAX_OUTPUT per channel
};

// Starts (after releasing any earlier start) a conversion of channels (1 or 2) from rate_in
// to rate_out, for an output word of output_bits (up to 16 bits libsoxr's 20-bit precision
// serves; above, its 28-bit one). Returns 0, or -1 when a rate is outside 8000 to 192000 Hz,
// memory runs out or libsoxr refuses; the converter is then not started.
int rate_converter_start(RateConverter* converter, std::uint32_t channels, std::uint32_t rate_in,
                         std::uint32_t rate_out, std::uint32_t output_bits);

// Converts n (at most RATE_CONVERTER_MAX_INPUT) samples of each channel; right is ignored
// with one channel. On return *left and, with two channels, *right point at the converted
// samples inside the converter, valid until its next call. Returns their count per channel,
// or -1 when libsoxr fails.
std::int64_t rate_converter_process(RateConverter* converter, std::uint32_t n,
                                    const mad_fixed_t** left, const mad_fixed_t** right);

// The samples still held once the input has ended, in the same form; call until it returns
// 0. Returns -1 when libsoxr fails.
std::int64_t rate_converter_drain(RateConverter* converter, const mad_fixed_t** left,
                                  const mad_fixed_t** right);

void rate_converter_release(RateConverter* converter);

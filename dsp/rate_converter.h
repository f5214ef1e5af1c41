// Conversion of the engine's samples to one output rate with libsoxr, for outputs at a rate the
// user chooses: libsoxr's very-high-quality recipe, at the precision the output word can show.
#pragma once

#include <mad.h>

#include <cstddef>
#include <cstdint>

struct soxr;

constexpr std::uint32_t RATE_CONVERTER_MIN_RATE = 8000;
constexpr std::uint32_t RATE_CONVERTER_MAX_RATE = 192000;

// Zero-initialised (= {}) means not started; rate_converter_release returns it there.
struct RateConverter {
    soxr* resampler;         // null while not started
    std::uint32_t channels;  // 1 or 2
    std::uint32_t rate_in;
    std::uint32_t rate_out;
    bool single;    // float samples through libsoxr's 20-bit engine, else double through its 28
    void* scratch;  // converted samples on their way out, in libsoxr's type
};

// Starts (after releasing any earlier start) a conversion of channels (1 or 2) from rate_in
// to rate_out, for an output word of output_bits (up to 16 bits libsoxr's 20-bit precision
// serves; above, its 28-bit one). Returns 0, or -1 when a rate is outside 8000 to 192000 Hz,
// memory runs out or libsoxr refuses; the converter is then not started.
int rate_converter_start(RateConverter* converter, std::uint32_t channels, std::uint32_t rate_in,
                         std::uint32_t rate_out, std::uint32_t output_bits);

// The input goes to the converter staged in libsoxr's own type (a float or a double), so that
// taking it over is the only copy made of it: the size of one staged sample, and n samples
// written staged into `to`.
std::size_t rate_converter_staged_size(const RateConverter* converter);
void rate_converter_stage(const RateConverter* converter, const mad_fixed_t* from, std::uint32_t n,
                          void* to);

// Converts n staged samples of each channel of in (in[1] is ignored with one channel) into
// out, which has room for `room` samples per channel. libsoxr gives its output in bursts of its
// own block size, so the room must be well above the input's share at the rate ratio. Returns
// the count written per channel, or -1 when libsoxr fails or the room runs out.
std::int64_t rate_converter_process(RateConverter* converter, std::uint32_t n,
                                    const void* const in[2], mad_fixed_t* const out[2],
                                    std::uint32_t room);

// Once the input has ended: writes the samples still held into out in the same way, up to
// `room` per channel; call until it returns 0. Returns -1 when libsoxr fails.
std::int64_t rate_converter_drain(RateConverter* converter, mad_fixed_t* const out[2],
                                  std::uint32_t room);

void rate_converter_release(RateConverter* converter);

#include "dsp/rate_converter.h"

#include <soxr.h>

#include <cstddef>
#include <cstdlib>

#include "dsp/fixed.h"

namespace {

// Output samples per channel one libsoxr call may give: few enough to stay in the processor's
// cache until they are taken back to the fixed point.
constexpr std::uint32_t OUT_STEP = 8192;

// Conversion back to the fixed-point type stops well inside its range: the packers add the
// rounding bias and the dither in 32-bit arithmetic, which must not wrap. Four times full
// scale leaves every overshoot of the filter far inside.
constexpr mad_fixed_t SAMPLE_LIMIT = 4 * FIXED_ONE;

// The samples go to libsoxr as fractions of full scale in its own type: the type its engine
// computes in, so that it converts nothing itself. A float holds the 24 bits the 20-bit engine
// keeps, a double the fixed point whole; scaling by a power of two changes no rounding.
template <typename T>
void stage(const mad_fixed_t* in, std::uint32_t n, T* out) {
    const T scale = static_cast<T>(1) / static_cast<T>(FIXED_ONE);
    for (std::uint32_t i = 0; i < n; ++i) {
        out[i] = static_cast<T>(in[i]) * scale;
    }
}

// Back to the fixed point, rounded to the nearest integer with ties to even as libsoxr's own
// conversion rounds. Adding and taking away 1.5 * 2^52 rounds a double so, in a form the
// compiler vectorizes, where a call of lrint per sample would cost as much as the filter.
template <typename T>
void give_out(const T* in, std::size_t n, mad_fixed_t* out) {
    constexpr double ROUND = 6755399441055744.0;
    constexpr auto scale = static_cast<double>(FIXED_ONE);
    constexpr auto limit = static_cast<double>(SAMPLE_LIMIT);
    for (std::size_t i = 0; i < n; ++i) {
        const double value = (static_cast<double>(in[i]) * scale + ROUND) - ROUND;
        // Written so that a NaN, which libsoxr never gives for finite input, clamps as well.
        out[i] = !(value < limit)  ? SAMPLE_LIMIT - 1
                 : value <= -limit ? -SAMPLE_LIMIT
                                   : static_cast<mad_fixed_t>(value);
    }
}

// Runs libsoxr over n staged input samples per channel (end: the input has ended, in is
// null) and writes what it gives into out. Returns the count per channel, or -1.
template <typename T>
std::int64_t run(RateConverter* converter, std::uint32_t n, const void* const in[2],
                 mad_fixed_t* const out[2], std::uint32_t room) {
    const bool end = in == nullptr;
    const T* const from[2] = {
        end ? nullptr : static_cast<const T*>(in[0]),
        end || converter->channels == 1 ? nullptr : static_cast<const T*>(in[1])};
    T* const base = static_cast<T*>(converter->scratch);
    T* const step[2] = {base, base + OUT_STEP};
    std::size_t produced = 0;
    std::size_t consumed = 0;
    for (;;) {
        const void* at[2] = {from[0] + consumed, from[1] != nullptr ? from[1] + consumed : nullptr};
        void* to[2] = {step[0], step[1]};
        const std::size_t space = end && room - produced < OUT_STEP ? room - produced : OUT_STEP;
        std::size_t used = 0;
        std::size_t done = 0;
        if (soxr_process(converter->resampler, end ? nullptr : static_cast<soxr_in_t>(at),
                         n - consumed, &used, static_cast<soxr_out_t>(to), space,
                         &done) != nullptr ||
            done > room - produced) {
            return -1;
        }
        for (std::uint32_t channel = 0; channel < converter->channels; ++channel) {
            give_out(step[channel], done, out[channel] + produced);
        }
        produced += done;
        consumed += used;
        if (end ? done == 0 || produced == room : consumed == n) {
            break;
        }
        // libsoxr keeps input back only while it has output to give.
        if (!end && used == 0 && done == 0) {
            return -1;
        }
    }
    return static_cast<std::int64_t>(produced);
}

}  // namespace

int rate_converter_start(RateConverter* converter, std::uint32_t channels, std::uint32_t rate_in,
                         std::uint32_t rate_out, std::uint32_t output_bits) {
    rate_converter_release(converter);
    if (channels < 1 || channels > 2 || rate_in < RATE_CONVERTER_MIN_RATE ||
        rate_in > RATE_CONVERTER_MAX_RATE || rate_out < RATE_CONVERTER_MIN_RATE ||
        rate_out > RATE_CONVERTER_MAX_RATE) {
        return -1;
    }
    // libsoxr's very-high-quality recipe (passband to 91 % of the lower Nyquist frequency,
    // linear phase). Its 28-bit precision runs libsoxr's double-precision engine, which alone
    // costs about half a plain decode; for a word of 16 bits or fewer the 20-bit precision of
    // its single-precision SIMD engine is used instead: that engine's error stays more than
    // 140 dB below a tone, some 40 dB under the word's own quantization step, and it takes
    // about a sixth less time.
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    converter->single = output_bits <= 16;
    if (converter->single) {
        quality.precision = 20;
    }
    const std::size_t sample_size = rate_converter_staged_size(converter);
    converter->scratch = std::malloc(2 * std::size_t{OUT_STEP} * sample_size);
    if (converter->scratch == nullptr) {
        *converter = {};
        return -1;
    }
    const soxr_datatype_t type = converter->single ? SOXR_FLOAT32_S : SOXR_FLOAT64_S;
    const soxr_io_spec_t io = soxr_io_spec(type, type);
    // One thread: the batch already runs one decode per processor.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    converter->resampler =
        soxr_create(rate_in, rate_out, channels, &error, &io, &quality, &runtime);
    if (converter->resampler == nullptr || error != nullptr) {
        rate_converter_release(converter);
        return -1;
    }
    converter->channels = channels;
    converter->rate_in = rate_in;
    converter->rate_out = rate_out;
    return 0;
}

std::size_t rate_converter_staged_size(const RateConverter* converter) {
    return converter->single ? sizeof(float) : sizeof(double);
}

void rate_converter_stage(const RateConverter* converter, const mad_fixed_t* from, std::uint32_t n,
                          void* to) {
    if (converter->single) {
        stage(from, n, static_cast<float*>(to));
    } else {
        stage(from, n, static_cast<double*>(to));
    }
}

std::int64_t rate_converter_process(RateConverter* converter, std::uint32_t n,
                                    const void* const in[2], mad_fixed_t* const out[2],
                                    std::uint32_t room) {
    return converter->single ? run<float>(converter, n, in, out, room)
                             : run<double>(converter, n, in, out, room);
}

std::int64_t rate_converter_drain(RateConverter* converter, mad_fixed_t* const out[2],
                                  std::uint32_t room) {
    if (room == 0) {
        return -1;
    }
    return converter->single ? run<float>(converter, 0, nullptr, out, room)
                             : run<double>(converter, 0, nullptr, out, room);
}

void rate_converter_release(RateConverter* converter) {
    if (converter->resampler != nullptr) {
        soxr_delete(converter->resampler);
    }
    std::free(converter->scratch);
    *converter = {};
}

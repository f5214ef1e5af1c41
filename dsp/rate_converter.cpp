#include "dsp/rate_converter.h"

#include <soxr.h>

#include <cstdlib>

#include "dsp/fixed.h"

namespace {

// Conversion back to the fixed-point type stops well inside its range: the packers add the
// rounding bias and the dither in 32-bit arithmetic, which must not wrap. Four times full
// scale leaves every overshoot of the filter far inside.
constexpr mad_fixed_t SAMPLE_LIMIT = 4 * FIXED_ONE;

// Runs libsoxr over n input samples per channel (null input: the end of the input) straight
// into the fixed-point block. The samples go in and come out as 32-bit integers: libsoxr reads
// them as fractions of 2^31 and writes its result on the same scale, rounded, so the fixed
// point's 28 fraction bits pass through unchanged and no copy is made on either side.
std::int64_t run(RateConverter* converter, std::uint32_t n, const mad_fixed_t* left,
                 const mad_fixed_t* right, bool end, const mad_fixed_t** left_out,
                 const mad_fixed_t** right_out) {
    mad_fixed_t* samples[2] = {converter->samples, converter->samples + RATE_CONVERTER_MAX_OUTPUT};
    std::size_t produced = 0;
    std::size_t consumed = 0;
    for (;;) {
        const void* in[2] = {left != nullptr ? left + consumed : nullptr,
                             right != nullptr ? right + consumed : nullptr};
        void* out[2] = {samples[0] + produced, samples[1] + produced};
        std::size_t used = 0;
        std::size_t done = 0;
        const soxr_error_t error = soxr_process(
            converter->resampler, end ? nullptr : static_cast<soxr_in_t>(in), n - consumed, &used,
            static_cast<soxr_out_t>(out), RATE_CONVERTER_MAX_OUTPUT - produced, &done);
        if (error != nullptr) {
            return -1;
        }
        consumed += used;
        produced += done;
        if (end || consumed >= n) {
            break;
        }
        // libsoxr keeps input back only when the output is full: the room is far above what
        // one frame gives, and a full buffer is reported rather than input dropped.
        if (produced == RATE_CONVERTER_MAX_OUTPUT || (used == 0 && done == 0)) {
            return -1;
        }
    }

    for (std::uint32_t channel = 0; channel < converter->channels; ++channel) {
        mad_fixed_t* block = samples[channel];
        for (std::size_t i = 0; i < produced; ++i) {
            const mad_fixed_t value = block[i];
            block[i] = value >= SAMPLE_LIMIT    ? SAMPLE_LIMIT - 1
                       : value <= -SAMPLE_LIMIT ? -SAMPLE_LIMIT
                                                : value;
        }
    }
    *left_out = samples[0];
    *right_out = converter->channels == 2 ? samples[1] : nullptr;
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
    converter->samples = static_cast<mad_fixed_t*>(
        std::malloc(2 * std::size_t{RATE_CONVERTER_MAX_OUTPUT} * sizeof(mad_fixed_t)));
    if (converter->samples == nullptr) {
        return -1;
    }

    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT32_S, SOXR_INT32_S);
    // libsoxr's very-high-quality recipe (passband to 91 % of the lower Nyquist frequency,
    // linear phase). Its 28-bit precision runs libsoxr's double-precision engine, which alone
    // costs about half a plain decode; for a word of 16 bits or fewer the 20-bit precision of
    // its single-precision SIMD engine is used instead: that engine's error stays more than
    // 140 dB below a tone, some 40 dB under the word's own quantization step, and it takes
    // about a sixth less time.
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    if (output_bits <= 16) {
        quality.precision = 20;
    }
    // One thread: the batch already runs one decode per processor.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    converter->resampler =
        soxr_create(rate_in, rate_out, channels, &error, &io, &quality, &runtime);
    if (converter->resampler == nullptr || error != nullptr) {
        if (converter->resampler != nullptr) {
            soxr_delete(converter->resampler);
            converter->resampler = nullptr;
        }
        std::free(converter->samples);
        *converter = {};
        return -1;
    }
    converter->channels = channels;
    converter->rate_in = rate_in;
    converter->rate_out = rate_out;
    return 0;
}

std::int64_t rate_converter_process(RateConverter* converter, std::uint32_t n,
                                    const mad_fixed_t** left, const mad_fixed_t** right) {
    if (n > RATE_CONVERTER_MAX_INPUT) {
        return -1;
    }
    return run(converter, n, *left, *right, false, left, right);
}

std::int64_t rate_converter_drain(RateConverter* converter, const mad_fixed_t** left,
                                  const mad_fixed_t** right) {
    return run(converter, 0, nullptr, nullptr, true, left, right);
}

void rate_converter_release(RateConverter* converter) {
    if (converter->resampler != nullptr) {
        soxr_delete(converter->resampler);
    }
    std::free(converter->samples);
    *converter = {};
}

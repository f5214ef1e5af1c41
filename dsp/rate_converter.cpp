#include "dsp/rate_converter.h"

#include <soxr.h>

#include <cstdlib>

#include "dsp/fixed.h"

namespace {

// Conversion back to the fixed-point type stops well inside its range: the packers add the
// rounding bias and the dither in 32-bit arithmetic, which must not wrap. Four times full
// scale leaves every overshoot of the filter far inside.
constexpr double SAMPLE_LIMIT = 4.0 * FIXED_ONE;

// Rounds half away from zero; without a library call per sample, which took a tenth of the
// conversion's time.
mad_fixed_t to_fixed(double value) {
    const double scaled = value * FIXED_ONE;
    if (scaled >= SAMPLE_LIMIT) {
        return static_cast<mad_fixed_t>(SAMPLE_LIMIT - 1);
    }
    if (scaled <= -SAMPLE_LIMIT) {
        return static_cast<mad_fixed_t>(-SAMPLE_LIMIT);
    }
    return static_cast<mad_fixed_t>(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

// Runs libsoxr over n input samples per channel (null input: the end of the input) and
// converts what it gives into the fixed-point block.
std::int64_t run(RateConverter* converter, std::uint32_t n, bool end, const mad_fixed_t** left,
                 const mad_fixed_t** right) {
    std::size_t produced = 0;
    std::size_t consumed = 0;
    for (;;) {
        // Split channels: libsoxr takes an array of one pointer per channel.
        const void* in[2] = {converter->in[0] + consumed, converter->in[1] + consumed};
        void* out[2] = {converter->out[0] + produced, converter->out[1] + produced};
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
        mad_fixed_t* samples = converter->samples + channel * RATE_CONVERTER_MAX_OUTPUT;
        for (std::size_t i = 0; i < produced; ++i) {
            samples[i] = to_fixed(converter->out[channel][i]);
        }
    }
    *left = converter->samples;
    *right = converter->channels == 2 ? converter->samples + RATE_CONVERTER_MAX_OUTPUT : nullptr;
    return static_cast<std::int64_t>(produced);
}

}  // namespace

int rate_converter_start(RateConverter* converter, std::uint32_t channels, std::uint32_t rate_in,
                         std::uint32_t rate_out) {
    rate_converter_release(converter);
    if (channels < 1 || channels > 2 || rate_in < RATE_CONVERTER_MIN_RATE ||
        rate_in > RATE_CONVERTER_MAX_RATE || rate_out < RATE_CONVERTER_MIN_RATE ||
        rate_out > RATE_CONVERTER_MAX_RATE) {
        return -1;
    }
    // One block for every buffer, so that one check covers them and one free releases them.
    const std::size_t in_bytes = std::size_t{RATE_CONVERTER_MAX_INPUT} * sizeof(double);
    const std::size_t out_bytes = std::size_t{RATE_CONVERTER_MAX_OUTPUT} * sizeof(double);
    const std::size_t fixed_bytes = std::size_t{RATE_CONVERTER_MAX_OUTPUT} * sizeof(mad_fixed_t);
    auto* block =
        static_cast<unsigned char*>(std::malloc(2 * in_bytes + 2 * out_bytes + 2 * fixed_bytes));
    if (block == nullptr) {
        return -1;
    }
    converter->in[0] = reinterpret_cast<double*>(block);
    converter->in[1] = reinterpret_cast<double*>(block + in_bytes);
    converter->out[0] = reinterpret_cast<double*>(block + 2 * in_bytes);
    converter->out[1] = reinterpret_cast<double*>(block + 2 * in_bytes + out_bytes);
    converter->samples = reinterpret_cast<mad_fixed_t*>(block + 2 * in_bytes + 2 * out_bytes);

    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_S, SOXR_FLOAT64_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
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
        std::free(block);
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
    const mad_fixed_t* channel_in[2] = {*left, *right};
    for (std::uint32_t channel = 0; channel < converter->channels; ++channel) {
        for (std::uint32_t i = 0; i < n; ++i) {
            converter->in[channel][i] = static_cast<double>(channel_in[channel][i]) / FIXED_ONE;
        }
    }
    return run(converter, n, false, left, right);
}

std::int64_t rate_converter_drain(RateConverter* converter, const mad_fixed_t** left,
                                  const mad_fixed_t** right) {
    return run(converter, 0, true, left, right);
}

void rate_converter_release(RateConverter* converter) {
    if (converter->resampler != nullptr) {
        soxr_delete(converter->resampler);
    }
    std::free(converter->in[0]);  // the start of the one block
    *converter = {};
}

// The rate converter run over a whole signal as the player fed it: frames of `block` samples,
// then the drain. Header-only, so that the support library does not link dsp.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dsp/rate_converter.h"

// Calls take(count, left, right) with every converted run in order; right is null with one
// channel.
template <typename Take>
void convert_whole(std::uint32_t rate_in, std::uint32_t rate_out, std::uint32_t output_bits,
                   const std::vector<mad_fixed_t>& left, const std::vector<mad_fixed_t>* right,
                   std::uint32_t block, Take take) {
    RateConverter converter = {};
    EXPECT_EQ(
        rate_converter_start(&converter, right != nullptr ? 2 : 1, rate_in, rate_out, output_bits),
        0);
    // A block's share at the rate ratio and room for libsoxr's bursts on top.
    const std::uint32_t room =
        static_cast<std::uint32_t>(std::uint64_t{block} * rate_out / rate_in + 1 + (1u << 17));
    std::vector<mad_fixed_t> out_left(room);
    std::vector<mad_fixed_t> out_right(room);
    mad_fixed_t* const out[2] = {out_left.data(), out_right.data()};
    const mad_fixed_t* const right_out = right != nullptr ? out_right.data() : nullptr;
    for (std::size_t at = 0; at < left.size(); at += block) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, left.size() - at));
        const std::size_t size = rate_converter_staged_size(&converter);
        std::vector<unsigned char> staged_left(std::size_t{n} * size);
        std::vector<unsigned char> staged_right(std::size_t{n} * size);
        rate_converter_stage(&converter, left.data() + at, n, staged_left.data());
        if (right != nullptr) {
            rate_converter_stage(&converter, right->data() + at, n, staged_right.data());
        }
        const void* const in[2] = {staged_left.data(), staged_right.data()};
        const std::int64_t count = rate_converter_process(&converter, n, in, out, room);
        EXPECT_GE(count, 0);
        take(count, out_left.data(), right_out);
    }
    for (;;) {
        const std::int64_t count = rate_converter_drain(&converter, out, room);
        EXPECT_GE(count, 0);
        if (count <= 0) {
            break;
        }
        take(count, out_left.data(), right_out);
    }
    rate_converter_release(&converter);
    EXPECT_EQ(converter.resampler, nullptr);
}

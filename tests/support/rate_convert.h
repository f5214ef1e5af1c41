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
    for (std::size_t at = 0; at < left.size(); at += block) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, left.size() - at));
        const mad_fixed_t* l = left.data() + at;
        const mad_fixed_t* r = right != nullptr ? right->data() + at : nullptr;
        const std::int64_t count = rate_converter_process(&converter, n, &l, &r);
        EXPECT_GE(count, 0);
        take(count, l, r);
    }
    for (;;) {
        const mad_fixed_t* l = nullptr;
        const mad_fixed_t* r = nullptr;
        const std::int64_t count = rate_converter_drain(&converter, &l, &r);
        EXPECT_GE(count, 0);
        if (count <= 0) {
            break;
        }
        take(count, l, r);
    }
    rate_converter_release(&converter);
    EXPECT_EQ(converter.resampler, nullptr);
}

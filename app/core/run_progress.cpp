#include "app/core/run_progress.h"

#include <algorithm>
#include <cstdio>

std::vector<std::uint64_t> batch_weights(const std::vector<std::uint64_t>& sizes) {
    std::vector<std::uint64_t> sums(sizes.size() + 1, 0);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sums[i + 1] = sums[i] + sizes[i] + FILE_OVERHEAD_BYTES;
    }
    return sums;
}

int batch_per_mille(const std::vector<std::uint64_t>& weights, int current, std::int64_t fileDone,
                    std::int64_t fileTotal) {
    if (weights.size() < 2 || current < 0) {
        return 0;
    }
    const std::size_t files = weights.size() - 1;
    const std::size_t at = std::min(static_cast<std::size_t>(current), files);
    const std::uint64_t total = weights[files];
    // Long double keeps whole gigabytes of weight times a per-mille exact enough.
    long double done = static_cast<long double>(weights[at]);
    if (at < files && fileTotal > 0) {
        const std::int64_t part = std::clamp<std::int64_t>(fileDone, 0, fileTotal);
        done += static_cast<long double>(weights[at + 1] - weights[at]) *
                static_cast<long double>(part) / static_cast<long double>(fileTotal);
    }
    return static_cast<int>(done * 1000 / static_cast<long double>(total));
}

std::int64_t time_left_ms(std::int64_t elapsedMs, int perMille) {
    if (elapsedMs < 1000 || perMille < 10) {
        return -1;
    }
    if (perMille >= 1000) {
        return 0;
    }
    return elapsedMs * (1000 - perMille) / perMille;
}

std::string clock_text(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
    const long long h = static_cast<long long>(seconds / 3600);
    const long long m = static_cast<long long>(seconds / 60 % 60);
    const long long s = static_cast<long long>(seconds % 60);
    char text[48];
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", m, s);
    }
    return text;
}

#include "app/core/loudness_text.h"

#include <cmath>
#include <cstdio>

std::string loudness_text(const DecodeStats& stats) {
    if (stats.loudness.measured == 0) {
        return {};
    }
    if (stats.gain_limit == GAIN_NOT_MEASURABLE || !std::isfinite(stats.loudness.integrated_lufs)) {
        return "loudness not measurable, gain 0 dB";
    }
    char text[128];
    const double written = stats.loudness.integrated_lufs + stats.gain_db;
    int used = std::snprintf(text, sizeof text, "%.1f LUFS", written);
    if (stats.gain_db != 0 || stats.gain_limit != GAIN_ON_TARGET) {
        used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used),
                              ", gain %+.1f dB", stats.gain_db);
    }
    if (stats.gain_limit == GAIN_LIMITED_BY_PEAK || stats.gain_limit == GAIN_LIMITED_BY_RANGE) {
        std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), " limited by %s",
                      gain_limit_name(stats.gain_limit));
    }
    return text;
}

std::string loudness_status_text(const DecodeStats& stats) {
    if (stats.loudness.measured == 0) {
        return {};
    }
    if (stats.gain_limit == GAIN_NOT_MEASURABLE || !std::isfinite(stats.loudness.integrated_lufs)) {
        return "loudness not measurable";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f LUFS", stats.loudness.integrated_lufs + stats.gain_db);
    const bool limited =
        stats.gain_limit == GAIN_LIMITED_BY_PEAK || stats.gain_limit == GAIN_LIMITED_BY_RANGE;
    return limited ? text + std::string(", ") + gain_limit_name(stats.gain_limit) : text;
}

const char* gain_limit_name(std::int32_t limit) {
    switch (limit) {
        case GAIN_LIMITED_BY_PEAK:
            return "true peak";
        case GAIN_LIMITED_BY_RANGE:
            return "range";
        case GAIN_NOT_MEASURABLE:
            return "not measurable";
        default:
            return "target";
    }
}

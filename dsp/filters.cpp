#include "dsp/filters.h"

#include <cstdint>

#include "dsp/fixed.h"
#include "dsp/testing.h"

namespace {

// One table for the process: the player points its gain filter node at it, so the node needs
// no allocation of its own. Decodes never overlap, so the table is never shared at once.
GainTable the_gain_table = [] {
    GainTable table{};
    for (auto& channel : table.factor) {
        for (mad_fixed_t& factor : channel) {
            factor = FIXED_ONE;
        }
    }
    return table;
}();

constexpr unsigned LOUD_LEADING = 12;  // frames below this level are leading silence
constexpr unsigned LOUD_RUN = 24;      // frames below this level extend a quiet run

unsigned frame_slots(const mad_frame* frame) {  // 12, 18 or 36
    return static_cast<unsigned>(MAD_NSBSAMPLES(&frame->header));
}

unsigned frame_channels(const mad_frame* frame) {  // 1 or 2
    return frame->header.mode == MAD_MODE_SINGLE_CHANNEL ? 1u : 2u;
}

inline mad_units rate_units(const mad_frame* frame) {
    return static_cast<mad_units>(frame->header.samplerate);
}

inline signed long count(mad_timer_t t, mad_units units) {
    return mad_timer_count(t, units);
}

// a - b
inline mad_timer_t timer_diff(mad_timer_t a, mad_timer_t b) {
    mad_timer_negate(&b);
    mad_timer_add(&a, b);
    return a;
}

// The fraction num / den scaled to `scale`, computed by libmad's timer so that its rounding
// is libmad's. A ratio of 1 or more keeps only its fractional part, and a zero denominator
// gives 0.
inline unsigned long scaled_ratio(signed long num, signed long den, unsigned long scale) {
    mad_timer_t t;
    mad_timer_set(&t, 0, static_cast<unsigned long>(num), static_cast<unsigned long>(den));
    return mad_timer_fraction(t, scale);
}

// One slot's gain increment for a fade of `length` samples. A fade shorter than one slot
// (32 samples) would divide by zero; it takes the whole range in one step instead.
inline mad_fixed_t fade_step(signed long length) {
    const signed long slots = length / 32;
    if (slots == 0) {
        return FIXED_ONE;
    }
    return static_cast<mad_fixed_t>(FIXED_ONE / slots);
}

inline void scale_slot(mad_frame* frame, unsigned nch, unsigned slot, mad_fixed_t gain) {
    for (unsigned ch = 0; ch < nch; ++ch) {
        for (mad_fixed_t& sample : frame->sbsample[ch][slot]) {
            sample = fixed_mul(sample, gain);
        }
    }
}

}  // namespace

void fade_state_init(FadeState* fade, const mad_timer_t* total_time,
                     const mad_timer_t* play_timer) {
    *fade = {};
    fade->fade_in = mad_timer_zero;
    fade->fade_out = mad_timer_zero;
    fade->quiet_run = mad_timer_zero;
    fade->lead_in = mad_timer_zero;
    mad_timer_set(&fade->quiet_limit, 2, 0, 0);
    fade->total_time = total_time;
    fade->play_timer = play_timer;
}

GainTable* gain_table() {
    return &the_gain_table;
}

void gain_table_fill(mad_fixed_t factor) {
    for (auto& channel : the_gain_table.factor) {
        for (mad_fixed_t& entry : channel) {
            entry = factor;
        }
    }
}

unsigned frame_level(const mad_frame* frame) {
    const unsigned nch = frame_channels(frame);
    const unsigned ns = frame_slots(frame);
    std::uint32_t sum = 0;
    for (unsigned ch = 0; ch < nch; ++ch) {
        for (unsigned s = 0; s < ns; ++s) {
            for (const mad_fixed_t sample : frame->sbsample[ch][s]) {
                const std::int32_t coarse = sample >> 21;
                sum += static_cast<std::uint32_t>(coarse < 0 ? -coarse : coarse);
            }
        }
    }
    return sum / ((nch * ns * 32) >> 6);
}

mad_flow mono_filter(void* data, mad_frame* frame) {
    (void)data;
    if (frame->header.mode == MAD_MODE_SINGLE_CHANNEL) {
        return MAD_FLOW_CONTINUE;
    }
    const unsigned ns = frame_slots(frame);
    for (unsigned s = 0; s < ns; ++s) {
        for (unsigned sb = 0; sb < 32; ++sb) {
            // The sum wraps at 32 bits like the other sample sums; the halving truncates
            // toward zero.
            const auto sum =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(frame->sbsample[0][s][sb]) +
                                          static_cast<std::uint32_t>(frame->sbsample[1][s][sb]));
            frame->sbsample[0][s][sb] = sum / 2;
        }
    }
    frame->header.mode = MAD_MODE_SINGLE_CHANNEL;
    return MAD_FLOW_CONTINUE;
}

mad_flow gain_filter(void* data, mad_frame* frame) {
    const auto* table = static_cast<const GainTable*>(data);
    const unsigned nch = frame_channels(frame);
    const unsigned ns = frame_slots(frame);
    for (unsigned sb = 0; sb < 32; ++sb) {
        for (unsigned ch = 0; ch < nch; ++ch) {
            const mad_fixed_t factor = table->factor[ch][sb];
            if (factor == FIXED_ONE) {
                continue;
            }
            for (unsigned s = 0; s < ns; ++s) {
                frame->sbsample[ch][s][sb] = fixed_mul(frame->sbsample[ch][s][sb], factor);
            }
        }
    }
    return MAD_FLOW_CONTINUE;
}

mad_flow leading_silence_check(FadeState* state, const mad_frame* frame) {
    if (state->silence_enabled == 0) {
        return MAD_FLOW_CONTINUE;
    }
    if (frame_level(frame) >= LOUD_LEADING) {
        state->in_leading_silence = 0;
        return MAD_FLOW_CONTINUE;
    }
    return state->in_leading_silence != 0 ? MAD_FLOW_IGNORE : MAD_FLOW_CONTINUE;
}

mad_flow long_silence_check(FadeState* state, const mad_frame* frame) {
    if (state->silence_enabled == 0 || state->in_leading_silence != 0) {
        return MAD_FLOW_CONTINUE;
    }
    if (frame_level(frame) >= LOUD_RUN) {
        state->quiet_run = mad_timer_zero;
    } else {
        mad_timer_add(&state->quiet_run, frame->header.duration);
    }
    return mad_timer_compare(state->quiet_run, state->quiet_limit) > 0 ? MAD_FLOW_IGNORE
                                                                       : MAD_FLOW_CONTINUE;
}

// The fade-in measured from the end of the lead-in: slots before it are silenced (they are cut
// away after synthesis), the ramp starts at the first kept sample. Kept apart from the plain
// fade-in so that a file without a lead-in is faded by exactly the same arithmetic as ever.
void apply_fade_in_after_lead_in(const FadeState* state, mad_frame* frame) {
    const mad_units units = rate_units(frame);
    const signed long fade_length = count(state->fade_in, units);
    const signed long start = count(*state->play_timer, units) - count(state->lead_in, units);
    if (fade_length <= 0 || start >= fade_length) {
        return;
    }
    const unsigned nch = frame_channels(frame);
    const unsigned ns = frame_slots(frame);
    const signed long samples = count(frame->header.duration, units);
    for (unsigned s = 0; s < ns; ++s) {
        const signed long position = start + samples * static_cast<signed long>(s) / ns;
        if (position >= fade_length) {
            break;
        }
        const auto gain = position <= 0
                              ? mad_fixed_t{0}
                              : static_cast<mad_fixed_t>(scaled_ratio(
                                    position, fade_length, static_cast<unsigned long>(FIXED_ONE)));
        scale_slot(frame, nch, s, gain);
    }
}

void apply_fade_in(const FadeState* state, mad_frame* frame) {
    if (mad_timer_sign(state->lead_in) != 0) {
        apply_fade_in_after_lead_in(state, frame);
        return;
    }
    if (mad_timer_compare(*state->play_timer, state->fade_in) >= 0) {
        return;
    }
    const mad_units units = rate_units(frame);
    const mad_timer_t duration = frame->header.duration;
    const mad_timer_t start = *state->play_timer;
    mad_timer_t end = start;
    mad_timer_add(&end, duration);

    const unsigned nch = frame_channels(frame);
    const unsigned ns = frame_slots(frame);
    const signed long fade_length = count(state->fade_in, units);

    unsigned long n = ns;
    if (mad_timer_compare(state->fade_in, end) < 0) {
        n = scaled_ratio(count(timer_diff(state->fade_in, start), units), count(duration, units),
                         ns);
    }
    // The share of the fade already played, as a gain.
    mad_fixed_t gain = static_cast<mad_fixed_t>(
        scaled_ratio(count(start, units), fade_length, static_cast<unsigned long>(FIXED_ONE)));
    const mad_fixed_t step = fade_step(fade_length);

    for (unsigned s = 0; s < n && s < ns; ++s) {
        scale_slot(frame, nch, s, gain);
        // Wraps rather than overflows should a frame's duration disagree with its slots.
        gain = static_cast<mad_fixed_t>(static_cast<std::uint32_t>(gain) +
                                        static_cast<std::uint32_t>(step));
    }
}

void apply_fade_out(const FadeState* state, mad_frame* frame) {
    const mad_timer_t total = *state->total_time;
    const mad_timer_t fade = state->fade_out;
    const mad_timer_t duration = frame->header.duration;
    const mad_timer_t start = *state->play_timer;
    mad_timer_t end = start;
    mad_timer_add(&end, duration);

    // Distance of the frame's end from the end of the stream; a distance, so the gain rises
    // again for audio that runs on past the measured length.
    const mad_timer_t distance = mad_timer_abs(timer_diff(total, end));
    if (mad_timer_compare(distance, fade) >= 0) {
        return;
    }
    const mad_units units = rate_units(frame);
    const unsigned nch = frame_channels(frame);
    const unsigned ns = frame_slots(frame);
    const signed long fade_length = count(fade, units);

    unsigned long first = 0;
    if (mad_timer_compare(mad_timer_abs(timer_diff(total, start)), fade) > 0) {
        // The fade begins inside this frame: the slots before `first` keep their level.
        const unsigned long faded =
            scaled_ratio(count(timer_diff(fade, distance), units), count(duration, units), ns);
        first = ns - faded;
    }
    mad_fixed_t gain = static_cast<mad_fixed_t>(
        scaled_ratio(count(distance, units), fade_length, static_cast<unsigned long>(FIXED_ONE)));
    const mad_fixed_t step = fade_step(fade_length);
    const bool past_total = mad_timer_compare(distance, total) > 0;

    for (unsigned long s = first; s < ns; ++s) {
        if (past_total) {
            gain = 0;
        }
        scale_slot(frame, nch, static_cast<unsigned>(s), gain);
        gain = gain > step ? gain - step : 0;
    }
}

mad_flow fade_filter(void* data, mad_frame* frame) {
    auto* state = static_cast<FadeState*>(data);
    mad_flow result = leading_silence_check(state, frame);
    if (result != MAD_FLOW_CONTINUE) {
        return result;
    }
    result = long_silence_check(state, frame);
    if (result != MAD_FLOW_CONTINUE) {
        return result;
    }
    apply_fade_in(state, frame);
    apply_fade_out(state, frame);
    return MAD_FLOW_CONTINUE;
}

#include "engine/rate_stage.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "dsp/rate_converter.h"
#include "engine/engine_thread.h"

namespace {

// Samples per channel in a block: sixteen frames, so that handing a block over (a lock and a
// wake-up) costs little against converting it, and the last block of a file, which nothing
// overlaps, stays short (0.4 s at 48 kHz).
constexpr std::uint32_t BLOCK_INPUT = 16 * RATE_CONVERTER_MAX_INPUT;
// One block being filled, one being converted, one converted and waiting to be played.
constexpr std::uint32_t SLOTS = 3;

enum SlotStatus { SLOT_FILLING, SLOT_QUEUED, SLOT_CONVERTED, SLOT_FAILED };

struct Slot {
    std::uint32_t in_count;
    std::uint32_t out_count;
    SlotStatus status;
    mad_fixed_t* in[2];
    mad_fixed_t* out[2];
};

}  // namespace

struct RateStage {
    RateConverter converter;
    RateStagePlay play;
    void* context;
    std::uint32_t channels;
    std::uint32_t rate_in;
    std::uint32_t out_capacity;  // samples per channel a slot's output can hold
    mad_fixed_t* memory;         // every slot's buffers
    Slot slots[SLOTS];
    // Blocks are numbered from 0; block k lives in slots[k % SLOTS]. Only the calling thread
    // changes these two.
    std::uint32_t submitted;  // blocks handed to the converter; block `submitted` is filling
    std::uint32_t played;     // blocks played
    bool own_thread;
    std::thread thread;
    std::mutex lock;
    std::condition_variable queued;     // the converter waits for a block
    std::condition_variable converted;  // the calling thread waits for a block's output
    std::uint32_t handed;               // blocks the converter may take: guarded by lock
    bool quit;                          // guarded by lock
};

namespace {

// Converts one block in the converter's own steps of one frame. The converter is touched by
// one thread at a time: the stage's thread while a block is queued, the caller otherwise.
SlotStatus convert_block(RateStage* stage, Slot* slot) {
    slot->out_count = 0;
    for (std::uint32_t at = 0; at < slot->in_count; at += RATE_CONVERTER_MAX_INPUT) {
        const std::uint32_t rest = slot->in_count - at;
        const std::uint32_t n = rest < RATE_CONVERTER_MAX_INPUT ? rest : RATE_CONVERTER_MAX_INPUT;
        const mad_fixed_t* left = slot->in[0] + at;
        const mad_fixed_t* right = stage->channels == 2 ? slot->in[1] + at : nullptr;
        const std::int64_t count = rate_converter_process(&stage->converter, n, &left, &right);
        if (count < 0 || static_cast<std::uint64_t>(count) >
                             std::uint64_t{stage->out_capacity} - slot->out_count) {
            return SLOT_FAILED;
        }
        const mad_fixed_t* converted[2] = {left, right};
        for (std::uint32_t channel = 0; channel < stage->channels; ++channel) {
            std::memcpy(slot->out[channel] + slot->out_count, converted[channel],
                        static_cast<std::size_t>(count) * sizeof(mad_fixed_t));
        }
        slot->out_count += static_cast<std::uint32_t>(count);
    }
    return SLOT_CONVERTED;
}

void converter_main(RateStage* stage) {
    std::unique_lock<std::mutex> hold(stage->lock);
    std::uint32_t next = 0;
    for (;;) {
        stage->queued.wait(hold, [stage, next] { return stage->quit || next < stage->handed; });
        if (stage->quit) {
            return;
        }
        Slot* slot = &stage->slots[next % SLOTS];
        hold.unlock();
        const SlotStatus status = convert_block(stage, slot);
        hold.lock();
        slot->status = status;
        ++next;
        stage->converted.notify_all();
    }
}

// Hands the filling block over (converting it at once without a thread of our own).
void submit(RateStage* stage) {
    Slot* slot = &stage->slots[stage->submitted % SLOTS];
    ++stage->submitted;
    if (!stage->own_thread) {
        slot->status = convert_block(stage, slot);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(stage->lock);
        slot->status = SLOT_QUEUED;
        stage->handed = stage->submitted;
    }
    stage->queued.notify_one();
}

// Waits for the oldest block not yet played and plays it.
int play_oldest(RateStage* stage) {
    Slot* slot = &stage->slots[stage->played % SLOTS];
    if (stage->own_thread) {
        std::unique_lock<std::mutex> hold(stage->lock);
        stage->converted.wait(hold, [slot] { return slot->status != SLOT_QUEUED; });
    }
    ++stage->played;
    const SlotStatus status = slot->status;
    slot->status = SLOT_FILLING;
    slot->in_count = 0;
    if (status == SLOT_FAILED) {
        return RATE_STAGE_CONVERTER_FAILED;
    }
    if (slot->out_count > 0 && stage->play(stage->context, slot->out_count, slot->out[0],
                                           stage->channels == 2 ? slot->out[1] : nullptr) == -1) {
        return RATE_STAGE_PLAY_FAILED;
    }
    return 0;
}

}  // namespace

RateStage* rate_stage_start(std::uint32_t channels, std::uint32_t rate_in, std::uint32_t rate_out,
                            std::uint32_t output_bits, bool own_thread, RateStagePlay play,
                            void* context) {
    auto* stage = new (std::nothrow) RateStage{};
    if (stage == nullptr) {
        return nullptr;
    }
    if (rate_converter_start(&stage->converter, channels, rate_in, rate_out, output_bits) == -1) {
        delete stage;
        return nullptr;
    }
    stage->play = play;
    stage->context = context;
    stage->channels = channels;
    stage->rate_in = rate_in;
    // A block's share of the output at the rate ratio, and room for one call's burst on top:
    // libsoxr gives its output in blocks of its own, so a call can give more than its share.
    stage->out_capacity = static_cast<std::uint32_t>(
        std::uint64_t{BLOCK_INPUT} * rate_out / rate_in + 1 + RATE_CONVERTER_MAX_OUTPUT);
    const std::size_t per_channel = std::size_t{BLOCK_INPUT} + stage->out_capacity;
    stage->memory = static_cast<mad_fixed_t*>(
        std::malloc(SLOTS * channels * per_channel * sizeof(mad_fixed_t)));
    if (stage->memory == nullptr) {
        rate_stage_release(stage);
        return nullptr;
    }
    mad_fixed_t* next = stage->memory;
    for (Slot& slot : stage->slots) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            slot.in[channel] = next;
            slot.out[channel] = next + BLOCK_INPUT;
            next += per_channel;
        }
    }
    if (own_thread) {
        try {
            stage->thread = start_engine_thread(converter_main, stage);
            stage->own_thread = true;
        } catch (const std::system_error&) {
            // Converted on the calling thread instead: the same samples, later.
        }
    }
    return stage;
}

bool rate_stage_matches(const RateStage* stage, std::uint32_t channels, std::uint32_t rate_in) {
    return stage->channels == channels && stage->rate_in == rate_in;
}

int rate_stage_push(RateStage* stage, std::uint32_t n, const mad_fixed_t* left,
                    const mad_fixed_t* right) {
    if (n > RATE_CONVERTER_MAX_INPUT) {
        return RATE_STAGE_CONVERTER_FAILED;
    }
    Slot* slot = &stage->slots[stage->submitted % SLOTS];
    if (slot->in_count + n > BLOCK_INPUT) {
        submit(stage);
        // The next slot is free once the block it held has been played.
        while (stage->submitted - stage->played >= SLOTS) {
            const int result = play_oldest(stage);
            if (result != 0) {
                return result;
            }
        }
        slot = &stage->slots[stage->submitted % SLOTS];
    }
    const mad_fixed_t* channel_in[2] = {left, right};
    for (std::uint32_t channel = 0; channel < stage->channels; ++channel) {
        std::memcpy(slot->in[channel] + slot->in_count, channel_in[channel],
                    std::size_t{n} * sizeof(mad_fixed_t));
    }
    slot->in_count += n;
    return 0;
}

int rate_stage_finish(RateStage* stage) {
    if (stage->slots[stage->submitted % SLOTS].in_count > 0) {
        submit(stage);
    }
    while (stage->played != stage->submitted) {
        const int result = play_oldest(stage);
        if (result != 0) {
            return result;
        }
    }
    // Every block is converted: the converter is the calling thread's until the next push.
    for (;;) {
        const mad_fixed_t* left = nullptr;
        const mad_fixed_t* right = nullptr;
        const std::int64_t count = rate_converter_drain(&stage->converter, &left, &right);
        if (count < 0) {
            return RATE_STAGE_CONVERTER_FAILED;
        }
        if (count == 0) {
            return 0;
        }
        if (stage->play(stage->context, static_cast<std::uint32_t>(count), left, right) == -1) {
            return RATE_STAGE_PLAY_FAILED;
        }
    }
}

void rate_stage_release(RateStage* stage) {
    if (stage == nullptr) {
        return;
    }
    if (stage->own_thread) {
        {
            std::lock_guard<std::mutex> hold(stage->lock);
            stage->quit = true;
        }
        stage->queued.notify_one();
        stage->thread.join();
    }
    rate_converter_release(&stage->converter);
    std::free(stage->memory);
    delete stage;
}

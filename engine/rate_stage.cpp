#include "engine/rate_stage.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "dsp/rate_converter.h"
#include "engine/engine_thread.h"

namespace {

// Samples per channel one push may give: one frame.
constexpr std::uint32_t FRAME = 1152;
// Samples per channel in a block: sixteen frames, so that handing a block over (a lock and a
// wake-up) costs little against converting it, and the last block of a file, which nothing
// overlaps, stays short (0.4 s at 48 kHz).
constexpr std::uint32_t BLOCK_INPUT = 16 * FRAME;
// Room on top of a block's share of the output: libsoxr gives its output in blocks of its own,
// so one call can give more than its share of the input.
constexpr std::uint32_t BURST = 1u << 17;
// One block being filled, one being converted, one converted and waiting to be played.
constexpr std::uint32_t SLOTS = 3;

enum SlotStatus { SLOT_FILLING, SLOT_QUEUED, SLOT_CONVERTED, SLOT_FAILED };

struct Slot {
    std::uint32_t in_count;
    std::uint32_t out_count;
    SlotStatus status;
    unsigned char* in[2];  // staged for the converter: rate_converter_stage
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
    std::size_t staged_size;     // bytes of one staged input sample
    unsigned char* memory;       // every slot's buffers
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

// Converts one block. The converter is touched by one thread at a time: the stage's thread
// while a block is queued, the caller otherwise.
SlotStatus convert_block(RateStage* stage, Slot* slot) {
    const void* const in[2] = {slot->in[0], slot->in[1]};
    const std::int64_t count = rate_converter_process(&stage->converter, slot->in_count, in,
                                                      slot->out, stage->out_capacity);
    if (count < 0) {
        slot->out_count = 0;
        return SLOT_FAILED;
    }
    slot->out_count = static_cast<std::uint32_t>(count);
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
    // Rounded up to 16 samples, so that every buffer starts on a 64-byte boundary: the staged
    // input may be doubles, and whole cache lines keep the threads off each other's.
    stage->out_capacity = static_cast<std::uint32_t>(
        (std::uint64_t{BLOCK_INPUT} * rate_out / rate_in + 1 + BURST + 15) & ~std::uint64_t{15});
    stage->staged_size = rate_converter_staged_size(&stage->converter);
    // Each channel's staged input, then its output.
    const std::size_t in_bytes = std::size_t{BLOCK_INPUT} * stage->staged_size;
    const std::size_t per_channel =
        in_bytes + std::size_t{stage->out_capacity} * sizeof(mad_fixed_t);
    stage->memory =
        static_cast<unsigned char*>(std::aligned_alloc(64, SLOTS * channels * per_channel));
    if (stage->memory == nullptr) {
        rate_stage_release(stage);
        return nullptr;
    }
    unsigned char* next = stage->memory;
    for (Slot& slot : stage->slots) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            slot.in[channel] = next;
            slot.out[channel] = reinterpret_cast<mad_fixed_t*>(next + in_bytes);
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
    if (n > FRAME) {
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
        rate_converter_stage(&stage->converter, channel_in[channel], n,
                             slot->in[channel] + std::size_t{slot->in_count} * stage->staged_size);
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
    // Every block is converted and played: the converter and the slots are the calling
    // thread's until the next push.
    Slot* slot = &stage->slots[0];
    for (;;) {
        const std::int64_t count =
            rate_converter_drain(&stage->converter, slot->out, stage->out_capacity);
        if (count < 0) {
            return RATE_STAGE_CONVERTER_FAILED;
        }
        if (count == 0) {
            return 0;
        }
        if (stage->play(stage->context, static_cast<std::uint32_t>(count), slot->out[0],
                        stage->channels == 2 ? slot->out[1] : nullptr) == -1) {
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

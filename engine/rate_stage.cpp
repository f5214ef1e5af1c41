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

// Each channel of a block is converted on its own: libsoxr converts the channels of a stream
// independently, so one converter per channel gives the samples of one for both.
struct Slot {
    std::uint32_t in_count;
    std::uint32_t out_count[2];
    SlotStatus status[2];
    unsigned char* in[2];  // staged for the converters: rate_converter_stage
    mad_fixed_t* out[2];
};

}  // namespace

struct RateStage {
    RateConverter converters[2];  // one per channel
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
    // With threads of its own, one per channel: a channel's converter then runs on its thread
    // alone; without, on the calling thread.
    std::uint32_t threads;  // 0 or channels
    std::thread thread[2];
    std::mutex lock;
    std::condition_variable queued;     // the converters wait for a block
    std::condition_variable converted;  // the calling thread waits for a block's output
    std::uint32_t handed;               // blocks the converters may take: guarded by lock
    bool quit;                          // guarded by lock
};

namespace {

// Converts one channel of a block.
SlotStatus convert_channel(RateStage* stage, Slot* slot, std::uint32_t channel) {
    const void* const in[2] = {slot->in[channel], nullptr};
    mad_fixed_t* const out[2] = {slot->out[channel], nullptr};
    const std::int64_t count = rate_converter_process(&stage->converters[channel], slot->in_count,
                                                      in, out, stage->out_capacity);
    slot->out_count[channel] = count < 0 ? 0 : static_cast<std::uint32_t>(count);
    return count < 0 ? SLOT_FAILED : SLOT_CONVERTED;
}

// A channel's thread: converts that channel of every block handed over, in order.
void converter_main(RateStage* stage, std::uint32_t channel) {
    std::unique_lock<std::mutex> hold(stage->lock);
    std::uint32_t next = 0;
    for (;;) {
        stage->queued.wait(hold, [stage, next] { return stage->quit || next < stage->handed; });
        if (stage->quit) {
            return;
        }
        Slot* slot = &stage->slots[next % SLOTS];
        hold.unlock();
        const SlotStatus status = convert_channel(stage, slot, channel);
        hold.lock();
        slot->status[channel] = status;
        ++next;
        stage->converted.notify_all();
    }
}

// Hands the filling block over (converting it at once without threads of our own).
void submit(RateStage* stage) {
    Slot* slot = &stage->slots[stage->submitted % SLOTS];
    ++stage->submitted;
    if (stage->threads == 0) {
        for (std::uint32_t channel = 0; channel < stage->channels; ++channel) {
            slot->status[channel] = convert_channel(stage, slot, channel);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> hold(stage->lock);
        for (std::uint32_t channel = 0; channel < stage->channels; ++channel) {
            slot->status[channel] = SLOT_QUEUED;
        }
        stage->handed = stage->submitted;
    }
    stage->queued.notify_all();
}

// Plays count samples of each channel from the block's output.
int play_out(RateStage* stage, std::uint32_t count, mad_fixed_t* const out[2]) {
    if (count > 0 &&
        stage->play(stage->context, count, out[0], stage->channels == 2 ? out[1] : nullptr) == -1) {
        return RATE_STAGE_PLAY_FAILED;
    }
    return 0;
}

// Waits for the oldest block not yet played and plays it.
int play_oldest(RateStage* stage) {
    Slot* slot = &stage->slots[stage->played % SLOTS];
    const std::uint32_t channels = stage->channels;
    if (stage->threads > 0) {
        std::unique_lock<std::mutex> hold(stage->lock);
        stage->converted.wait(hold, [slot, channels] {
            return slot->status[0] != SLOT_QUEUED &&
                   (channels == 1 || slot->status[1] != SLOT_QUEUED);
        });
    }
    ++stage->played;
    bool failed = false;
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        // Both converters take the same input the same way; counts that differ would be a
        // fault of libsoxr's, told rather than cut to the shorter.
        failed = failed || slot->status[channel] == SLOT_FAILED ||
                 slot->out_count[channel] != slot->out_count[0];
        slot->status[channel] = SLOT_FILLING;
    }
    slot->in_count = 0;
    return failed ? RATE_STAGE_CONVERTER_FAILED : play_out(stage, slot->out_count[0], slot->out);
}

// Stops the stage's threads, if any, and leaves it converting on the calling thread.
void stop_threads(RateStage* stage, std::uint32_t started) {
    {
        std::lock_guard<std::mutex> hold(stage->lock);
        stage->quit = true;
    }
    stage->queued.notify_all();
    for (std::uint32_t channel = 0; channel < started; ++channel) {
        stage->thread[channel].join();
    }
    stage->quit = false;
    stage->threads = 0;
}

}  // namespace

RateStage* rate_stage_start(std::uint32_t channels, std::uint32_t rate_in, std::uint32_t rate_out,
                            std::uint32_t output_bits, bool own_thread, RateStagePlay play,
                            void* context) {
    auto* stage = new (std::nothrow) RateStage{};
    if (stage == nullptr) {
        return nullptr;
    }
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        if (rate_converter_start(&stage->converters[channel], 1, rate_in, rate_out, output_bits) ==
            -1) {
            rate_stage_release(stage);
            return nullptr;
        }
    }
    stage->play = play;
    stage->context = context;
    stage->channels = channels;
    stage->rate_in = rate_in;
    // Rounded up to 16 samples, so that every buffer starts on a 64-byte boundary: the staged
    // input may be doubles, and whole cache lines keep the threads off each other's.
    stage->out_capacity = static_cast<std::uint32_t>(
        (std::uint64_t{BLOCK_INPUT} * rate_out / rate_in + 1 + BURST + 15) & ~std::uint64_t{15});
    stage->staged_size = rate_converter_staged_size(&stage->converters[0]);
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
        std::uint32_t started = 0;
        try {
            for (; started < channels; ++started) {
                stage->thread[started] = start_engine_thread(converter_main, stage, started);
            }
            stage->threads = channels;
        } catch (const std::system_error&) {
            // Converted on the calling thread instead: the same samples, later.
            stop_threads(stage, started);
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
        rate_converter_stage(&stage->converters[channel], channel_in[channel], n,
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
    // Every block is converted and played: the converters and the slots are the calling
    // thread's until the next push.
    Slot* slot = &stage->slots[0];
    for (;;) {
        std::int64_t counts[2] = {0, 0};
        for (std::uint32_t channel = 0; channel < stage->channels; ++channel) {
            mad_fixed_t* const out[2] = {slot->out[channel], nullptr};
            counts[channel] =
                rate_converter_drain(&stage->converters[channel], out, stage->out_capacity);
        }
        if (counts[0] < 0 || (stage->channels == 2 && counts[1] != counts[0])) {
            return RATE_STAGE_CONVERTER_FAILED;
        }
        if (counts[0] == 0) {
            return 0;
        }
        const int result = play_out(stage, static_cast<std::uint32_t>(counts[0]), slot->out);
        if (result != 0) {
            return result;
        }
    }
}

void rate_stage_release(RateStage* stage) {
    if (stage == nullptr) {
        return;
    }
    if (stage->threads > 0) {
        stop_threads(stage, stage->threads);
    }
    rate_converter_release(&stage->converters[0]);
    rate_converter_release(&stage->converters[1]);
    std::free(stage->memory);
    delete stage;
}

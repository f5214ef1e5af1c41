#include "engine/parallel_decode.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "dsp/filters.h"
#include "engine/engine_thread.h"
#include "engine/frame_walk.h"
#include "engine/messages.h"
#include "engine/processor_tokens.h"
#include "engine/testing.h"

namespace {

// What the last decode did with its threads, for tests only: a test that compares bytes has to
// know that the pieces were played at all. Written by the decoding call's own thread.
ParallelTrace last_trace{};

// Frames decoded before a piece and thrown away. The Layer III bit reservoir reaches at most
// 511 bytes back (255 in MPEG-2), about eight of the smallest frames that carry audio; one
// more frame fills the IMDCT overlap, and only the last two warm-up frames are synthesized
// (16 slots refill the filterbank). Whether it was enough is checked, not assumed: a piece is
// played only when its state after the warm-up equals the state the previous piece ended with.
constexpr std::uint32_t WARM_UP_FRAMES = 10;
constexpr std::uint32_t SYNTHESIZED_WARM_UP = 2;
// Frames per piece: few enough that a queue of them stays small (a frame's samples take about
// 9 KiB, so 192 frames, 5 s at 44.1 kHz, take 1.8 MiB), many enough that the warm-up costs
// little; a short file is cut into at least four pieces per thread so that the threads share it.
constexpr std::uint32_t PIECE_FRAMES_MAX = 192;
constexpr std::uint32_t PIECE_FRAMES_MIN = 16;
constexpr std::uint32_t PIECES_PER_THREAD = 4;
constexpr std::uint32_t SLOTS_MAX = 16;  // 16 x 1.8 MiB at most
// A file that may take up free processors has its queue sized for this many threads at most.
constexpr std::uint32_t GROWN_THREADS_MAX = SLOTS_MAX / 2;
// How often, in frames, a file decoding on one thread looks for a free processor: a read of
// an empty pipe about every half second of audio costs nothing measurable.
constexpr std::uint32_t GROWTH_POLL_FRAMES = 16;
// The sequential decoder plays the first frames itself (the encoder's header frame, the first
// frame's checks) and the last ones (the end of the input, trailing tags).
constexpr std::uint32_t HEAD_FRAMES = 2;
constexpr std::uint32_t TAIL_FRAMES = 2;

enum PieceStatus { PIECE_FREE, PIECE_BUSY, PIECE_DONE, PIECE_FAILED };

struct PlayedFrame {
    mad_header decoded;  // as decoded, before the filters
    mad_header played;   // as the synthesis saw it
    mad_pcm pcm;
};

struct Piece {
    std::uint32_t index;
    std::uint32_t first;  // frames [first, end) of the run are played from this piece
    std::uint32_t end;
    PieceStatus status;
    DecoderSnapshot at_start;  // after the frame before `first`
    DecoderSnapshot at_end;    // after the frame before `end`
    PlayedFrame* frames;       // piece_frames entries
};

// A decoding thread's own decoder, input bytes and fade clocks.
struct WorkerScratch {
    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    unsigned char* bytes;
    std::size_t capacity;
    FadeState fade;
    mad_timer_t clock;
};

}  // namespace

struct ParallelPipeline {
    PlayerState* state;
    FrameRun run;
    std::uint32_t first;  // the run's frames [first, end) are decoded by the threads
    std::uint32_t end;
    std::uint32_t piece_frames;
    std::uint32_t piece_count;
    int options;
    // The sequential decoder's state, play time and phase before frame `first`.
    DecoderSnapshot head;
    mad_timer_t clock_at_first;
    // Read by the threads: the fade filter's settings and the expected play time.
    FadeState fade;
    mad_timer_t total_time;

    Piece* slots;
    std::uint32_t slot_count;
    WorkerScratch** scratch;
    std::uint32_t worker_count;  // threads started at first
    std::uint32_t worker_max;    // threads there is scratch for
    std::thread* threads;        // worker_max of them, `started` running or ended
    std::uint32_t started;       // touched by the calling thread only
    // The run's free processors, when this file may take them up, and the tokens it holds:
    // `pending` taken by the sequential decoder for the first pieces, `extra` one per thread
    // started beyond the request's count (under lock: a thread that runs out of pieces gives
    // its token back), `taken` all it ever took.
    const ProcessorTokens* tokens;
    std::uint32_t pending;
    std::uint32_t extra;
    std::uint32_t taken;

    std::mutex lock;
    std::condition_variable work_ready;
    std::condition_variable piece_ready;
    std::uint32_t next_piece;  // the next piece a thread takes
    std::uint32_t consumed;    // pieces played so far
    std::atomic<bool> abort;

    DecoderSnapshot verified;  // the state after the last frame played
    mad_frame replay;          // carries each played frame's header and options to the player
};

namespace {

using Pipeline = ParallelPipeline;

mad_timer_t clock_of(const Pipeline* p, std::uint32_t frame) {
    mad_timer_t t = p->run.duration;
    mad_timer_multiply(&t, static_cast<signed long>(frame - p->first));
    mad_timer_add(&t, p->clock_at_first);
    return t;
}

unsigned phase_of(const Pipeline* p, std::uint32_t frame) {
    return static_cast<unsigned>((p->head.phase + std::uint64_t{frame - p->first} * p->run.slots) %
                                 16u);
}

// The filters the player installs, with the fade filter on this thread's own clock. A filter
// that keeps state from frame to frame (silence skipping) never gets here.
mad_flow run_filters(const Pipeline* p, WorkerScratch* w, mad_frame* frame) {
    for (const FilterNode* node = p->state->filters; node != nullptr; node = node->next) {
        mad_flow result = node->function == fade_filter ? fade_filter(&w->fade, frame)
                                                        : node->function(node->data, frame);
        if (result != MAD_FLOW_CONTINUE) {
            return result;
        }
    }
    return MAD_FLOW_CONTINUE;
}

bool read_bytes(WorkerScratch* w, int fd, std::uint64_t from, std::size_t length) {
    if (length > w->capacity) {
        auto* bytes = static_cast<unsigned char*>(std::realloc(w->bytes, length));
        if (bytes == nullptr) {
            return false;
        }
        w->bytes = bytes;
        w->capacity = length;
    }
    std::size_t have = 0;
    while (have < length) {
        ssize_t got = pread(fd, w->bytes + have, length - have, static_cast<off_t>(from + have));
        if (got == -1 && errno == EINTR) {
            continue;
        }
        if (got == -1) {
            return false;
        }
        if (got == 0) {
            // Past the end: the guard bytes the sequential decoder appends there too.
            std::memset(w->bytes + have, 0, length - have);
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    return true;
}

void keep_frame(PlayedFrame* kept, const mad_header* decoded, const mad_frame* frame,
                const mad_pcm* pcm) {
    kept->decoded = *decoded;
    kept->played = frame->header;
    kept->pcm.samplerate = pcm->samplerate;
    kept->pcm.channels = pcm->channels;
    kept->pcm.length = pcm->length;
    for (unsigned channel = 0; channel < pcm->channels; ++channel) {
        std::memcpy(kept->pcm.samples[channel], pcm->samples[channel],
                    pcm->length * sizeof(mad_fixed_t));
    }
}

// Decodes the piece's warm-up and frames with this thread's decoder. Returns false when the
// piece cannot be played: a frame did not decode (an error outside the warm-up), was not where
// the walk found it, or a filter dropped it.
bool decode_frames(const Pipeline* p, WorkerScratch* w, Piece* piece) {
    const std::uint32_t* offsets = p->run.offsets;
    const std::uint32_t first = piece->first;
    const bool head = first == p->first;
    const std::uint32_t start = head ? first : first - WARM_UP_FRAMES;
    const std::uint32_t synthesize_from = head ? first : first - SYNTHESIZED_WARM_UP;
    const std::size_t length = offsets[piece->end] - offsets[start] + MAD_BUFFER_GUARD;
    if (!read_bytes(w, p->state->input_fd, offsets[start], length)) {
        return false;
    }
    mad_stream_buffer(&w->stream, w->bytes, length);
    if (head && snapshot_restore(&p->head, &w->stream, &w->frame, &w->synth) == -1) {
        return false;
    }
    for (std::uint32_t k = start; k < piece->end; ++k) {
        if (p->abort.load(std::memory_order_relaxed)) {
            return false;
        }
        if (w->stream.next_frame != w->bytes + (offsets[k] - offsets[start]) ||
            mad_header_decode(&w->frame.header, &w->stream) == -1) {
            return false;
        }
        if (mad_frame_decode(&w->frame, &w->stream) == -1) {
            if (k >= first) {
                return false;
            }
            continue;  // the sequential decoder skips such a frame too; the state check decides
        }
        if (k < synthesize_from) {
            continue;
        }
        if (k == synthesize_from) {
            // The filterbank's phase advances with every synthesized slot, so at any frame of
            // the run it follows from the frame's position.
            w->synth.phase = phase_of(p, k);
            w->clock = clock_of(p, k);
        }
        const mad_header decoded = w->frame.header;
        if (run_filters(p, w, &w->frame) != MAD_FLOW_CONTINUE) {
            return false;
        }
        mad_synth_frame(&w->synth, &w->frame);
        mad_timer_add(&w->clock, decoded.duration);
        if (k + 1 == first) {
            snapshot_capture(&piece->at_start, &w->stream, &w->frame, &w->synth);
        }
        if (k >= first) {
            keep_frame(&piece->frames[k - first], &decoded, &w->frame, &w->synth.pcm);
        }
    }
    snapshot_capture(&piece->at_end, &w->stream, &w->frame, &w->synth);
    return true;
}

bool decode_piece(const Pipeline* p, WorkerScratch* w, Piece* piece) {
    mad_stream_init(&w->stream);
    mad_frame_init(&w->frame);
    mad_synth_init(&w->synth);
    mad_stream_options(&w->stream, p->options);
    w->fade = p->fade;
    w->fade.total_time = &p->total_time;
    w->fade.play_timer = &w->clock;
    bool ok = decode_frames(p, w, piece);
    mad_synth_finish(&w->synth);
    mad_frame_finish(&w->frame);
    mad_stream_finish(&w->stream);
    return ok;
}

void worker_main(Pipeline* p, WorkerScratch* w) {
    std::unique_lock<std::mutex> hold(p->lock);
    for (;;) {
        p->work_ready.wait(hold, [p] {
            return p->abort.load() || p->next_piece >= p->piece_count ||
                   p->next_piece < p->consumed + p->slot_count;
        });
        if (p->abort.load() || p->next_piece >= p->piece_count) {
            // Out of pieces: a processor this file took up goes back to the run at once.
            if (!p->abort.load() && p->extra > 0) {
                --p->extra;
                processor_tokens_give(p->tokens, 1);
            }
            return;
        }
        const std::uint32_t index = p->next_piece++;
        Piece* piece = &p->slots[index % p->slot_count];
        piece->index = index;
        piece->first = p->first + index * p->piece_frames;
        piece->end =
            piece->first + p->piece_frames < p->end ? piece->first + p->piece_frames : p->end;
        piece->status = PIECE_BUSY;
        hold.unlock();
        const bool ok = decode_piece(p, w, piece);
        hold.lock();
        piece->status = ok ? PIECE_DONE : PIECE_FAILED;
        p->piece_ready.notify_all();
    }
}

// Whether the frames after the sequential decoder's stop can be decoded apart: the player's
// first-frame work is done, and every filter gives the same result on any thread.
bool pieces_allowed(const PlayerState* state) {
    if (state->frames_seen == 0 || state->fade.silence_enabled != 0 ||
        ((state->flags & FLAG_EXACT_LENGTH) != 0 && state->exact.checked == 0)) {
        return false;
    }
    for (const FilterNode* node = state->filters; node != nullptr; node = node->next) {
        if (node->function != fade_filter && node->function != gain_filter &&
            node->function != mono_filter) {
            return false;
        }
    }
    return true;
}

// The sequential decoder from offset on, starting from snapshot.
int resume_sequential(PlayerState* state, std::uint64_t offset, DecoderSnapshot* snapshot) {
    if (lseek(state->input_fd, static_cast<off_t>(offset), SEEK_SET) == -1) {
        engine_error("decode", ":lseek");
        return -1;
    }
    state->input_offset = offset;
    state->input_length = 0;
    state->input_eof = 0;
    state->stop_offset = 0;
    state->stopped = 0;
    state->snapshot = snapshot;
    state->resume = 1;
    return player_run_decoder(state);
}

void stop_workers(Pipeline* p) {
    {
        std::lock_guard<std::mutex> hold(p->lock);
        p->abort.store(true);
    }
    p->work_ready.notify_all();
    for (std::uint32_t i = 0; i < p->started; ++i) {
        p->threads[i].join();
    }
    processor_tokens_give(p->tokens, static_cast<std::int32_t>(p->extra));
    p->extra = 0;
}

bool start_worker(Pipeline* p) {
    try {
        p->threads[p->started] = start_engine_thread(worker_main, p, p->scratch[p->started]);
    } catch (...) {
        return false;
    }
    ++p->started;
    return true;
}

// One more thread for each free processor of the run while there are pieces left for it.
void take_up_free_processors(Pipeline* p) {
    while (p->tokens != nullptr && p->started < p->worker_max) {
        {
            std::lock_guard<std::mutex> hold(p->lock);
            if (p->piece_count - p->next_piece < 2) {
                return;
            }
        }
        if (processor_tokens_take(p->tokens) == 0) {
            return;
        }
        {
            std::lock_guard<std::mutex> hold(p->lock);
            ++p->extra;
        }
        ++p->taken;
        if (!start_worker(p)) {
            std::lock_guard<std::mutex> hold(p->lock);
            --p->extra;
            processor_tokens_give(p->tokens, 1);
            return;
        }
    }
}

void free_pipeline(Pipeline* p) {
    if (p->slots != nullptr) {
        for (std::uint32_t i = 0; i < p->slot_count; ++i) {
            std::free(p->slots[i].frames);
        }
        std::free(p->slots);
    }
    if (p->scratch != nullptr) {
        for (std::uint32_t i = 0; i < p->worker_max; ++i) {
            if (p->scratch[i] != nullptr) {
                std::free(p->scratch[i]->bytes);
                std::free(p->scratch[i]);
            }
        }
        std::free(p->scratch);
    }
    frame_run_free(&p->run);
    delete p;
}

bool allocate_pieces(Pipeline* p) {
    p->slots = static_cast<Piece*>(std::calloc(p->slot_count, sizeof(Piece)));
    p->scratch = static_cast<WorkerScratch**>(std::calloc(p->worker_max, sizeof(void*)));
    if (p->slots == nullptr || p->scratch == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < p->slot_count; ++i) {
        p->slots[i].frames =
            static_cast<PlayedFrame*>(std::malloc(p->piece_frames * sizeof(PlayedFrame)));
        if (p->slots[i].frames == nullptr) {
            return false;
        }
    }
    for (std::uint32_t i = 0; i < p->worker_max; ++i) {
        p->scratch[i] = static_cast<WorkerScratch*>(std::calloc(1, sizeof(WorkerScratch)));
        if (p->scratch[i] == nullptr) {
            return false;
        }
    }
    return true;
}

// Plays the pieces in order. Returns the player's flow: MAD_FLOW_CONTINUE when every piece
// was played, MAD_FLOW_IGNORE when the piece at *stop_frame cannot be (the sequential decoder
// then goes on from there), MAD_FLOW_STOP or MAD_FLOW_BREAK when the output said so.
mad_flow play_pieces(Pipeline* p, std::uint32_t* stop_frame) {
    PlayerState* state = p->state;
    for (std::uint32_t index = 0; index < p->piece_count; ++index) {
        take_up_free_processors(p);
        Piece* piece = &p->slots[index % p->slot_count];
        {
            std::unique_lock<std::mutex> hold(p->lock);
            p->piece_ready.wait(hold, [piece, index] {
                return piece->index == index &&
                       (piece->status == PIECE_DONE || piece->status == PIECE_FAILED);
            });
        }
        *stop_frame = piece->first;
        const mad_timer_t expected = clock_of(p, piece->first);
        if (piece->status != PIECE_DONE ||
            (index > 0 && snapshot_equal(&piece->at_start, &p->verified) == 0) ||
            mad_timer_compare(state->play_timer, expected) != 0) {
            return MAD_FLOW_IGNORE;
        }
        for (std::uint32_t k = 0; k < piece->end - piece->first; ++k) {
            PlayedFrame* frame = &piece->frames[k];
            p->replay.header = frame->decoded;
            mad_flow flow = player_replay_frame(state, &p->replay, &frame->played, &frame->pcm);
            if (flow != MAD_FLOW_CONTINUE) {
                return flow;
            }
        }
        std::memcpy(&p->verified, &piece->at_end, sizeof p->verified);
        {
            std::lock_guard<std::mutex> hold(p->lock);
            piece->status = PIECE_FREE;
            ++p->consumed;
        }
        p->work_ready.notify_all();
    }
    *stop_frame = p->end;
    return MAD_FLOW_CONTINUE;
}

// Cuts the frames [first, end) into pieces for as many threads as the file may come to have.
void size_pieces(Pipeline* p) {
    const std::uint32_t frames = p->end - p->first;
    const std::uint32_t size = frames / (PIECES_PER_THREAD * p->worker_max);
    p->piece_frames = size < PIECE_FRAMES_MIN   ? PIECE_FRAMES_MIN
                      : size > PIECE_FRAMES_MAX ? PIECE_FRAMES_MAX
                                                : size;
    p->piece_count = (frames + p->piece_frames - 1) / p->piece_frames;
}

// Runs the threads over the frames after the head. Returns the decode's result.
int decode_pieces(Pipeline* p) {
    PlayerState* state = p->state;
    std::memcpy(&p->verified, &p->head, sizeof p->verified);
    std::uint32_t resume_frame = p->first;
    size_pieces(p);
    if (!pieces_allowed(state) || !allocate_pieces(p)) {
        processor_tokens_give(p->tokens, static_cast<std::int32_t>(p->pending));
        p->pending = 0;
        last_trace.fell_back = 1;
        return resume_sequential(state, p->run.offsets[resume_frame], &p->verified);
    }
    p->fade = state->fade;
    p->total_time = state->total_time;
    p->clock_at_first = state->play_timer;
    mad_frame_init(&p->replay);
    p->replay.options = p->options;

    p->threads = new (std::nothrow) std::thread[p->worker_max];
    // The token the sequential decoder took pays for one thread more than asked for.
    const std::uint32_t first_threads = p->worker_count + p->pending;
    {
        std::lock_guard<std::mutex> hold(p->lock);
        p->extra = p->pending;
        p->pending = 0;
    }
    if (p->threads != nullptr) {
        while (p->started < first_threads && start_worker(p)) {
        }
        // Fewer threads than asked for still decode every piece.
    }
    mad_flow flow = MAD_FLOW_IGNORE;
    if (p->started > 0) {
        flow = play_pieces(p, &resume_frame);
    }
    stop_workers(p);
    delete[] p->threads;
    p->threads = nullptr;
    mad_frame_finish(&p->replay);
    last_trace.pieces_played = p->consumed;
    last_trace.fell_back = flow == MAD_FLOW_IGNORE ? 1 : 0;
    last_trace.threads_started = p->started;

    if (flow == MAD_FLOW_STOP) {
        return 0;
    }
    if (flow == MAD_FLOW_BREAK) {
        return -1;
    }
    return resume_sequential(state, p->run.offsets[resume_frame], &p->verified);
}

// The first frame of the run at or after offset.
std::uint32_t frame_at_or_after(const FrameRun* run, std::uint64_t offset) {
    std::uint32_t low = 0;
    std::uint32_t high = run->count;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (run->offsets[middle] < offset) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

}  // namespace

ParallelTrace parallel_trace_for_testing() {
    return last_trace;
}

std::uint64_t parallel_growth_stop(PlayerState* state) {
    Pipeline* p = state->growth;
    state->growth_countdown = GROWTH_POLL_FRAMES;
    if (!pieces_allowed(state)) {
        return 0;
    }
    const mad_stream* stream = &state->decoder->sync->stream;
    const std::uint64_t offset =
        state->input_offset + static_cast<std::uint64_t>(stream->this_frame - state->input_buffer);
    std::uint32_t frame = frame_at_or_after(&p->run, offset);
    if (frame < HEAD_FRAMES + WARM_UP_FRAMES) {
        frame = HEAD_FRAMES + WARM_UP_FRAMES;
    }
    if (frame + 2 * PIECE_FRAMES_MIN + TAIL_FRAMES > p->run.count) {
        state->growth = nullptr;  // past the run, or too little left to share
        return 0;
    }
    if (processor_tokens_take(p->tokens) == 0) {
        return 0;
    }
    // The sequential decoder stops at that frame's header and the pieces go on from there.
    p->pending = 1;
    ++p->taken;
    p->first = frame;
    state->growth = nullptr;
    return p->run.offsets[frame];
}

int decode_parallel(PlayerState* state) {
    last_trace = {};
    const auto threads = static_cast<std::uint32_t>(state->threads);
    const ProcessorTokens* tokens = state->tokens;
    // Free processors are worth taking only where the run has more than the file holds.
    if (tokens != nullptr && tokens->total <= state->threads) {
        tokens = nullptr;
    }
    if (threads <= 1 && tokens == nullptr) {
        return player_run_decoder(state);
    }
    auto* p = new (std::nothrow) Pipeline{};
    if (p == nullptr) {
        return player_run_decoder(state);
    }
    const std::uint32_t min_frames =
        HEAD_FRAMES + 2 * PIECE_FRAMES_MIN + TAIL_FRAMES + WARM_UP_FRAMES;
    if (walk_frame_run(state->input_fd, min_frames, &p->run) == -1) {
        delete p;
        return player_run_decoder(state);
    }
    p->state = state;
    p->options = player_decoder_options(state);
    p->first = HEAD_FRAMES + WARM_UP_FRAMES;
    p->end = p->run.count - TAIL_FRAMES;
    p->tokens = tokens;
    std::uint32_t most = threads;
    if (tokens != nullptr) {
        const auto total = static_cast<std::uint32_t>(tokens->total);
        most = std::max(threads, std::min(total, GROWN_THREADS_MAX));
    }
    // Two pieces a thread keep every thread busy while the output plays the oldest one; the
    // queue is capped so that memory stays bounded whatever count is asked for.
    p->slot_count = 2 * most < SLOTS_MAX ? 2 * most : SLOTS_MAX;
    p->worker_max = most < p->slot_count ? most : p->slot_count;
    p->worker_count = threads < p->worker_max ? threads : p->worker_max;

    state->snapshot = &p->head;
    if (threads > 1) {
        // The sequential decoder plays everything before the first piece and stops there.
        state->stop_offset = p->run.offsets[p->first];
    } else {
        // One thread until the run has a processor to spare: the sequential decoder then
        // stops at a frame of the run and the pieces go on from there on two.
        state->growth = p;
        state->growth_countdown = GROWTH_POLL_FRAMES;
    }
    int result = player_run_decoder(state);
    state->stop_offset = 0;
    state->growth = nullptr;
    if (result == 0 && state->stopped != 0 && state->stop_requested == 0) {
        result = decode_pieces(p);
    }
    // A token taken for a stop the decode never reached (it ended, or was stopped, first).
    processor_tokens_give(p->tokens, static_cast<std::int32_t>(p->pending));
    last_trace.tokens_taken = p->taken;
    state->snapshot = nullptr;
    free_pipeline(p);
    return result;
}

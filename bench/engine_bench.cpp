// Engine throughput against a bare libmad decode of the same file, measured in one run:
//   engine_bench FILE.mp3 [WORK_DIR]
// prints the time of each and their ratio, the header-scan rate and the normalizer rate.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <mad.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/request.h"
#include "info/mpeg_info.h"
#include "normalize/normalizer.h"

namespace {

std::string g_input;
std::string g_work;

double file_megabytes(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / 1e6 : 0.0;
}

// The baseline: libmad's synchronous decoder over the file read in 40000-byte blocks, like
// the engine reads it, with synthesis and an output callback that discards the PCM.
struct BareInput {
    int fd;
    std::vector<unsigned char> buffer;
    std::size_t length;
    bool eof;
};

mad_flow bare_input(void* data, mad_stream* stream) {
    auto* in = static_cast<BareInput*>(data);
    if (in->eof) {
        return MAD_FLOW_STOP;
    }
    if (stream->next_frame != nullptr) {
        std::size_t held =
            static_cast<std::size_t>(in->buffer.data() + in->length - stream->next_frame);
        std::copy(stream->next_frame, stream->next_frame + held, in->buffer.data());
        in->length = held;
    }
    ssize_t got = read(in->fd, in->buffer.data() + in->length, 40000 - in->length);
    if (got <= 0) {
        in->eof = true;
        std::fill_n(in->buffer.data() + in->length, MAD_BUFFER_GUARD, 0);
        in->length += MAD_BUFFER_GUARD;
    } else {
        in->length += static_cast<std::size_t>(got);
    }
    mad_stream_buffer(stream, in->buffer.data(), in->length);
    return MAD_FLOW_CONTINUE;
}

mad_flow bare_output(void* data, const mad_header*, mad_pcm* pcm) {
    benchmark::DoNotOptimize(pcm->samples[0][0]);
    benchmark::DoNotOptimize(data);
    return MAD_FLOW_CONTINUE;
}

mad_flow bare_error(void*, mad_stream*, mad_frame*) {
    return MAD_FLOW_CONTINUE;
}

void BM_BareLibmad(benchmark::State& state) {
    for (auto _ : state) {
        BareInput in{open(g_input.c_str(), O_RDONLY),
                     std::vector<unsigned char>(40000 + MAD_BUFFER_GUARD), 0, false};
        mad_decoder decoder;
        mad_decoder_init(&decoder, &in, bare_input, nullptr, nullptr, bare_output, bare_error,
                         nullptr);
        mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
        mad_decoder_finish(&decoder);
        close(in.fd);
    }
}

std::int32_t keep_going(std::int32_t, std::int32_t) {
    return 0;
}

std::string wav_path() {
    return g_work + "/bench.wav";
}

void decode_once(bool exact_length = false) {
    MpegInfo info{};
    if (exact_length) {
        scan_frames_exact(&info, g_input.c_str());
    } else {
        scan_frames(&info, g_input.c_str());
    }
    std::string output = wav_path();
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = g_input.c_str();
    request.output_path = output.c_str();
    request.play_length_ms = static_cast<std::uint32_t>(info.durationMs);
    request.fade_in_text = "1";
    request.fade_out_text = "1";
    request.progress = keep_going;
    request.exact_length = exact_length ? 1 : 0;
    decode_file(&request);
}

void BM_DecodeFile(benchmark::State& state) {
    for (auto _ : state) {
        decode_once();
    }
}

// The same decode with the encoder's delay and padding trimmed (the input should carry a LAME
// tag, as lame writes by default); its time over decode_file's is the option's cost.
void BM_DecodeFileExact(benchmark::State& state) {
    for (auto _ : state) {
        decode_once(true);
    }
}

void BM_ScanFrames(benchmark::State& state) {
    for (auto _ : state) {
        MpegInfo info{};
        scan_frames(&info, g_input.c_str());
        benchmark::DoNotOptimize(info.durationMs);
    }
    state.counters["MB/s"] = benchmark::Counter(file_megabytes(g_input) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

void BM_Normalize(benchmark::State& state) {
    // Each iteration normalizes a freshly decoded file: a normalized one would be left alone.
    std::string output = wav_path();
    for (auto _ : state) {
        state.PauseTiming();
        decode_once();
        state.ResumeTiming();
        normalize_path(output.c_str());
    }
    state.counters["MB/s"] = benchmark::Counter(file_megabytes(output) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

// Collects each benchmark's time per iteration so that main can print ratios. With
// repetitions it keeps the fastest: on a shared machine other work only ever adds time, and
// interleaved repetitions give both sides of a ratio the same chances.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            const double real = run.GetAdjustedRealTime() / 1e3;  // ms -> s
            const double cpu = run.GetAdjustedCPUTime() / 1e3;
            keep_fastest(&seconds, run.run_name.function_name, real);
            keep_fastest(&cpu_seconds, run.run_name.function_name, cpu);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpu_seconds;  // user and system time of the process

private:
    static void keep_fastest(std::map<std::string, double>* times, const std::string& name,
                             double value) {
        auto [it, inserted] = times->emplace(name, value);
        if (!inserted && value < it->second) {
            it->second = value;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: engine_bench [benchmark flags] FILE.mp3 [WORK_DIR]\n");
        return 2;
    }
    g_input = argv[1];
    g_work = argc > 2 ? argv[2] : "/tmp";
    // The engine's banner and summary lines (standard error) are not what is measured.
    if (std::freopen("/dev/null", "w", stderr) == nullptr) {
        return 1;
    }
    benchmark::RegisterBenchmark("bare_libmad", BM_BareLibmad)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode_file", BM_DecodeFile)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode_file_exact", BM_DecodeFileExact)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("scan_frames", BM_ScanFrames)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("normalize", BM_Normalize)->Unit(benchmark::kMillisecond);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    double bare = reporter.seconds["bare_libmad"];
    double engine = reporter.seconds["decode_file"];
    double megabytes = file_megabytes(g_input);
    std::printf("\ninput: %s (%.2f MB)\n", g_input.c_str(), megabytes);
    if (bare > 0 && engine > 0) {
        std::printf("bare libmad decode %.3f s, decode_file %.3f s, ratio %.3f (target <= 1.15)\n",
                    bare, engine, engine / bare);
    }
    // The wall time above also holds the waits of the file system for the output file (its
    // truncation when it is written again); the processor time holds only the work.
    double bare_cpu = reporter.cpu_seconds["bare_libmad"];
    double engine_cpu = reporter.cpu_seconds["decode_file"];
    if (bare_cpu > 0 && engine_cpu > 0) {
        std::printf("processor time: bare %.3f s, decode_file %.3f s, ratio %.3f\n", bare_cpu,
                    engine_cpu, engine_cpu / bare_cpu);
    }
    if (double exact = reporter.seconds["decode_file_exact"]; exact > 0 && engine > 0) {
        std::printf("exact length on %.3f s, off %.3f s, ratio %.3f (target <= 1.02)\n", exact,
                    engine, exact / engine);
        double exact_cpu = reporter.cpu_seconds["decode_file_exact"];
        if (exact_cpu > 0 && engine_cpu > 0) {
            std::printf("processor time: exact length ratio %.3f\n", exact_cpu / engine_cpu);
        }
    }
    if (double scan = reporter.seconds["scan_frames"]; scan > 0) {
        std::printf("header scan %.1f MB/s (%.2f x the bare decode's input rate)\n",
                    megabytes / scan, bare / scan);
    }
    if (double normalize = reporter.seconds["normalize"]; normalize > 0) {
        std::printf("normalizer %.1f MB/s of 16-bit WAV\n", file_megabytes(wav_path()) / normalize);
    }
    return 0;
}

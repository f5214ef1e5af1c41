// Adding a folder of 2,000 small .mp3 files to the file list, against the baseline of
// merely listing and stat-ing the same folder: the list's own work (accepting, sizes,
// duplicate check) should be a small multiple of what the file system costs anyway.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/core/file_list.h"

namespace {

std::string g_folder;

void make_folder(int files) {
    char pattern[] = "/tmp/pelmora-list-bench-XXXXXX";
    g_folder = mkdtemp(pattern);
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/song %04d.mp3", i);
        if (std::FILE* file = std::fopen((g_folder + name).c_str(), "wb"); file != nullptr) {
            std::fputs("not audio, only listed", file);
            std::fclose(file);
        }
    }
}

void BM_ListAndStat(benchmark::State& state) {
    for (auto _ : state) {
        int count = 0;
        DIR* dir = opendir(g_folder.c_str());
        while (dirent* entry = readdir(dir)) {
            struct stat info {};
            count += stat((g_folder + "/" + entry->d_name).c_str(), &info) == 0 ? 1 : 0;
        }
        closedir(dir);
        benchmark::DoNotOptimize(count);
    }
}

void BM_AddFolder(benchmark::State& state) {
    for (auto _ : state) {
        FileList list;
        list.addPath(g_folder);
        if (list.rowCount() != 2000) {
            state.SkipWithError("not every file was added");
        }
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            seconds[run.benchmark_name()] = run.GetAdjustedRealTime() / 1e3;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    make_folder(2000);
    benchmark::RegisterBenchmark("list_and_stat_2000", BM_ListAndStat)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("add_folder_2000", BM_AddFolder)->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double base = reporter.seconds["list_and_stat_2000"];
    double add = reporter.seconds["add_folder_2000"];
    std::printf("\nadding 2000 files: %.1f ms, %.2f x listing and stat-ing them (%.1f ms)\n",
                add * 1e3, add / base, base * 1e3);
    std::string cleanup = "rm -rf '" + g_folder + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

#include "app/core/album_loudness.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "app/core/worker_pool.h"
#include "engine/loudness.h"

namespace {

// A measuring request writes nothing, so it names no output that could be created; a file to
// write gets its planned output from its BatchFile.
RequestBuilder measuring_requests(const RequestBuilder& build) {
    return [build](const std::string& inputPath, RequestTexts& texts) {
        DecodeRequest request = build(inputPath, texts);
        texts.output.clear();
        request.output_path = "";
        return request;
    };
}

// Inside a worker: the figures travel back in the file's stats.
std::int32_t measure_into_stats(const DecodeRequest& request) {
    LoudnessFigures figures;
    const std::int32_t result = measure_file(&request, &figures);
    if (request.stats != nullptr) {
        request.stats->loudness = figures;
    }
    return result;
}

// The pool's files: first one measuring per file (those of files, then measuredOnly), then one
// writing per file of files. Measured album by album, written in list order; a file's writing
// waits until its album has been measured and comes before any further measuring.
class AlbumRun : public RunObserver {
public:
    AlbumRun(AlbumLoudness& albums, std::size_t written, RunObserver& observer,
             std::uint64_t batchKiB, std::uint64_t measuredKiB)
        : albums_(albums),
          measured_(albums.inputs.size()),
          written_(written),
          outer_(observer),
          batchKiB_(batchKiB),
          workKiB_(batchKiB + measuredKiB),
          unmeasured_(albums.albums.size(), 0) {
        for (std::size_t file = 0; file < measured_; ++file) {
            ++unmeasured_[albums.albumOf[file]];
            measureOrder_.push_back(file);
        }
        std::stable_sort(measureOrder_.begin(), measureOrder_.end(),
                         [&albums](std::size_t a, std::size_t b) {
                             return albums.albumOf[a] < albums.albumOf[b];
                         });
    }

    std::optional<std::size_t> next() const {
        if (nextWrite_ < written_ && unmeasured_[albums_.albumOf[nextWrite_]] == 0) {
            return measured_ + nextWrite_;
        }
        if (nextMeasure_ < measured_) {
            return measureOrder_[nextMeasure_];
        }
        return std::nullopt;
    }

    void started(std::size_t index) override {
        if (index < measured_) {
            ++nextMeasure_;
            // The files to write come first among those measured; a file kept as it is has
            // no place in the run.
            if (index < written_) {
                outer_.measuring(index);
            }
            return;
        }
        nextWrite_ = index - measured_ + 1;
        outer_.started(index - measured_);
    }

    void ended(std::size_t index, const FileOutcome& outcome) override {
        if (index >= measured_) {
            outer_.ended(index - measured_, outcome);
            return;
        }
        // A measuring decode's messages (the tag, damage) come again when the file is written;
        // they are dropped with its outcome.
        if (outcome.end == FileEnd::Decoded) {
            add_track_figures(albums_, index, outcome.stats.loudness);
        } else if (outcome.end == FileEnd::Failed) {
            unmeasured.push_back({index, reason_text(outcome.reason)});
        }
        --unmeasured_[albums_.albumOf[index]];
        // A measuring that never started (a cancel came first) was never told.
        if (index < written_ && outcome.end != FileEnd::NotStarted) {
            outer_.measured(index);
        }
    }

    // Measurings that failed (a damaged file, a worker killed): their albums' gains leave
    // those files out.
    std::vector<std::pair<std::size_t, std::string>> unmeasured;

    void progressed(const RunProgress& progress) override {
        RunProgress writing{{}, 0};
        for (const RunningFile& file : progress.running) {
            if (file.index >= measured_) {
                writing.running.push_back({file.index - measured_, file.totalKiB, file.doneKiB});
            }
        }
        // Every file is decoded twice (a file kept is measured once): the batch moves through
        // both, measured against the batch's size.
        if (workKiB_ > 0) {
            writing.doneKiB = static_cast<std::uint64_t>(static_cast<double>(progress.doneKiB) *
                                                         static_cast<double>(batchKiB_) /
                                                         static_cast<double>(workKiB_));
        }
        outer_.progressed(writing);
    }

private:
    AlbumLoudness& albums_;
    std::size_t measured_;  // measuring files; the writing ones follow
    std::size_t written_;
    RunObserver& outer_;
    std::uint64_t batchKiB_;
    std::uint64_t workKiB_;
    std::vector<std::size_t> unmeasured_;  // per album: its files whose measuring has not ended
    std::vector<std::size_t> measureOrder_;
    std::size_t nextMeasure_ = 0;  // into measureOrder_
    std::size_t nextWrite_ = 0;
};

}  // namespace

AlbumLoudness group_albums(const std::vector<BatchFile>& files) {
    AlbumLoudness albums;
    std::map<std::string, std::size_t> byFolder;
    for (const BatchFile& file : files) {
        auto [at, added] = byFolder.emplace(file.folder, albums.albums.size());
        if (added) {
            albums.albums.push_back({});
        }
        albums.inputs.push_back(input_path(file));
        albums.albumOf.push_back(at->second);
        albums.tracks.push_back({});
    }
    return albums;
}

void add_track_figures(AlbumLoudness& albums, std::size_t file, const LoudnessFigures& figures) {
    if (file >= albums.tracks.size() || figures.measured == 0) {
        return;
    }
    albums.tracks[file] = figures;
    loudness_add_to_album(&albums.albums[albums.albumOf[file]], &figures);
}

std::vector<BatchFile> kept_album_files(const std::vector<PlannedFile>& plan) {
    std::set<std::string> written;
    for (const PlannedFile& entry : plan) {
        if (entry.action == PlanAction::Decode) {
            written.insert(entry.file.folder);
        }
    }
    std::vector<BatchFile> kept;
    for (const PlannedFile& entry : plan) {
        if (entry.action == PlanAction::Skip && written.count(entry.file.folder) != 0) {
            kept.push_back(entry.file);
        }
    }
    return kept;
}

BatchResult run_album_files(BatchState& state, const std::vector<BatchFile>& files,
                            const std::vector<BatchFile>& measuredOnly, const RequestBuilder& build,
                            const PoolSettings& settings, RunObserver& observer,
                            const DecodeFunction& decode, const DecodeFunction& measure) {
    std::vector<BatchFile> measured = files;
    measured.insert(measured.end(), measuredOnly.begin(), measuredOnly.end());
    std::vector<std::string> keptPaths;
    for (const BatchFile& file : measuredOnly) {
        keptPaths.push_back(input_path(file));
    }
    AlbumLoudness albums = group_albums(measured);
    const RequestBuilder requests = measuring_requests(album_requests(build, albums));
    std::vector<BatchFile> tasks = measured;
    for (BatchFile& file : tasks) {
        file.output.clear();
    }
    for (BatchFile file : files) {
        if (file.output.empty()) {
            RequestTexts texts;
            build(input_path(file), texts);
            file.output = texts.output;
        }
        tasks.push_back(file);
    }
    AlbumRun run(albums, files.size(), observer, state.batchTotalKiB,
                 state.batchTotalKiB + scan_batch_size(keptPaths, state));
    PoolSettings both = settings;
    both.nextFile = [&run] { return run.next(); };
    auto measureOrWrite = [&decode, &measure](const DecodeRequest& request) {
        if (request.output_path == nullptr || request.output_path[0] == '\0') {
            return measure ? measure(request) : measure_into_stats(request);
        }
        return decode ? decode(request) : decode_file(&request);
    };
    BatchResult all = run_worker_pool(state, tasks, requests, both, run, measureOrWrite);
    BatchResult result;
    result.files.assign(all.files.begin() + static_cast<std::ptrdiff_t>(measured.size()),
                        all.files.end());
    result.stopped = all.stopped;
    result.notice = all.notice;
    // A file written although its measuring failed (or kept and not measured) would otherwise
    // pass for one its album was measured with; a file whose writing failed too says why
    // itself.
    for (const auto& [file, reason] : run.unmeasured) {
        if (file < result.files.size() && result.files[file].end != FileEnd::Decoded) {
            continue;
        }
        if (!result.notice.empty()) {
            result.notice += "\n";
        }
        result.notice += input_path(measured[file]) + ": its loudness could not be measured (" +
                         reason + "); its album's gain leaves it out.";
    }
    return result;
}

RequestBuilder album_requests(const RequestBuilder& build, const AlbumLoudness& albums) {
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < albums.inputs.size(); ++i) {
        index.emplace(albums.inputs[i], i);
    }
    return [build, index, &albums](const std::string& inputPath, RequestTexts& texts) {
        DecodeRequest request = build(inputPath, texts);
        const auto found = index.find(inputPath);
        if (found != index.end()) {
            const std::size_t i = found->second;
            if (albums.tracks[i].measured != 0) {
                request.track_figures = &albums.tracks[i];
            }
            request.album_figures = &albums.albums[albums.albumOf[i]];
        }
        return request;
    };
}

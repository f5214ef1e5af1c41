#include "app/core/album_loudness.h"

#include <map>

#include "app/core/worker_pool.h"
#include "engine/loudness.h"

namespace {

// A measuring request writes nothing, so it names no output that could be created.
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

class MeasureObserver : public RunObserver {
public:
    explicit MeasureObserver(AlbumLoudness& albums) : albums_(albums) {}
    void ended(std::size_t index, const FileOutcome& outcome) override {
        if (outcome.end == FileEnd::Decoded) {
            add_track_figures(albums_, index, outcome.stats.loudness);
        }
    }

private:
    AlbumLoudness& albums_;
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

AlbumLoudness measure_albums(BatchState& state, const std::vector<BatchFile>& files,
                             const RequestBuilder& build, int workers) {
    AlbumLoudness albums = group_albums(files);
    std::vector<BatchFile> measured = files;
    for (BatchFile& file : measured) {
        file.output.clear();
    }
    // The measuring decodes' messages (the tag, damage) come again when the file is written;
    // they are caught and dropped meanwhile.
    PoolSettings settings{workers, true};
    settings.inProcess = workers <= 1 || files.size() <= 1;
    MeasureObserver observer(albums);
    run_worker_pool(state, measured, measuring_requests(build), settings, observer,
                    measure_into_stats);
    return albums;
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

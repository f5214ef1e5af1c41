// Albums by folder for loudness, the requests that carry their figures, and how a file's
// loudness reads in the list and on the command line.
#include "app/core/album_loudness.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/core/file_status.h"
#include "app/core/loudness_text.h"

namespace {

LoudnessFigures figures_with(std::uint32_t bin, std::uint32_t blocks, double peak) {
    LoudnessFigures figures = {};
    figures.measured = 1;
    figures.integrated_lufs = -20.0;
    figures.true_peak = peak;
    figures.blocks[bin] = blocks;
    return figures;
}

TEST(AlbumLoudness, FilesOfAFolderAddUpToOneAlbumAndTheirRequestsCarryIt) {
    const std::vector<BatchFile> files = {
        {"1.mp3", "/music/A/"}, {"x.mp3", "/music/B/"}, {"2.mp3", "/music/A/"}};
    AlbumLoudness albums = group_albums(files);
    ASSERT_EQ(albums.albums.size(), 2u);
    EXPECT_EQ(albums.albumOf, (std::vector<std::size_t>{0, 1, 0}));

    // Bins 500 and 600 are -20 and -10 LUFS: ten blocks of each in album A.
    add_track_figures(albums, 0, figures_with(500, 10, 0.5));
    add_track_figures(albums, 2, figures_with(600, 10, 0.25));
    LoudnessFigures unmeasured = {};
    add_track_figures(albums, 1, unmeasured);
    EXPECT_EQ(albums.albums[0].blocks[500], 10u);
    EXPECT_EQ(albums.albums[0].blocks[600], 10u);
    EXPECT_EQ(albums.albums[0].true_peak, 0.5);
    // The energy mean of -19.95 and -9.95 LUFS blocks, both above the relative gate.
    const double mean = 10 * std::log10((std::pow(10, -1.995) + std::pow(10, -0.995)) / 2);
    EXPECT_NEAR(albums.albums[0].integrated_lufs, mean, 1e-9);
    EXPECT_EQ(albums.albums[1].measured, 0);

    RequestBuilder build = [](const std::string& path, RequestTexts& texts) {
        texts.input = path;
        DecodeRequest request;
        decode_request_init(&request);
        request.input_path = texts.input.c_str();
        return request;
    };
    const RequestBuilder withAlbums = album_requests(build, albums);
    RequestTexts texts;
    DecodeRequest second = withAlbums("/music/A/2.mp3", texts);
    EXPECT_EQ(second.track_figures, &albums.tracks[2]);
    EXPECT_EQ(second.album_figures, &albums.albums[0]);
    // A file whose measuring failed measures itself; its album is still its folder's.
    DecodeRequest other = withAlbums("/music/B/x.mp3", texts);
    EXPECT_EQ(other.track_figures, nullptr);
    EXPECT_EQ(other.album_figures, &albums.albums[1]);
    DecodeRequest stranger = withAlbums("/elsewhere/y.mp3", texts);
    EXPECT_EQ(stranger.album_figures, nullptr);
}

TEST(LoudnessText, SaysTheWrittenLoudnessAndWhichLimitDecided) {
    DecodeStats stats = {};
    EXPECT_EQ(loudness_text(stats), "");
    EXPECT_EQ(loudness_status_text(stats), "");
    stats.loudness.measured = 1;
    stats.loudness.integrated_lufs = -21.26;
    stats.gain_db = 3.26;
    EXPECT_EQ(loudness_text(stats), "-18.0 LUFS, gain +3.3 dB");
    EXPECT_EQ(loudness_status_text(stats), "-18.0 LUFS");
    stats.gain_limit = GAIN_LIMITED_BY_PEAK;
    stats.gain_db = 1.0;
    EXPECT_EQ(loudness_text(stats), "-20.3 LUFS, gain +1.0 dB limited by true peak");
    EXPECT_EQ(loudness_status_text(stats), "-20.3 LUFS, true peak");
    // Tags only: nothing applied, the measured loudness alone.
    stats.gain_limit = GAIN_ON_TARGET;
    stats.gain_db = 0;
    EXPECT_EQ(loudness_text(stats), "-21.3 LUFS");
    stats.gain_limit = GAIN_NOT_MEASURABLE;
    stats.loudness.integrated_lufs = -HUGE_VAL;
    EXPECT_EQ(loudness_text(stats), "loudness not measurable, gain 0 dB");

    // The list row of a done file ends with it.
    FileOutcome outcome;
    outcome.end = FileEnd::Decoded;
    outcome.stats = stats;
    outcome.stats.loudness.integrated_lufs = -30.0;
    outcome.stats.gain_db = 12.0;
    outcome.stats.gain_limit = GAIN_ON_TARGET;
    outcome.stats.has_peak = 1;
    const std::string row = status_text(ended_status(outcome, 1000));
    EXPECT_EQ(row.substr(row.size() - 12), ", -18.0 LUFS") << row;
}

}  // namespace

// pelmora-cli --tags read back by other programs: ffprobe (Debian's ffmpeg), exiftool
// (libimage-exiftool-perl) and sox's soxi, each run as a child process. A test whose tool is
// not installed is skipped with the package to install (scripts/install-deps.sh has them).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Standard output of a shell command; *status gets its exit status.
std::string run(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return out;
    }
    std::array<char, 4096> buffer{};
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        out.append(buffer.data(), got);
    }
    const int code = pclose(pipe);
    *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
    return out;
}

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// "Café über 日本" and friends spelled as UTF-8 bytes (see the engine's tag tests).
const std::string UTF8_TITLE =
    "Caf\xC3\xA9 \xC3\xBC"
    "ber \xE6\x97\xA5\xE6\x9C\xAC";
const std::string UTF8_ARTIST = "Zo\xC3\xAB";

class CliTags : public testing::Test {
protected:
    void SetUp() override {
        // An ID3v2.4 tag with UTF-8 text in front of the quiet fixture's untagged audio.
        const std::vector<unsigned char> tag = id3v24_utf8_tag({{"TIT2", UTF8_TITLE},
                                                                {"TPE1", UTF8_ARTIST},
                                                                {"TALB", "\xC3\x85lbum"},
                                                                {"TDRC", "2021"},
                                                                {"TCON", "Jazz"},
                                                                {"TRCK", "3"}});
        write_file_bytes(dir_.file("utf8.mp3"),
                         concat(tag, read_file_bytes(fixture_path("quiet.mp3"))));
        int status = -1;
        run(quote(PELMORA_CLI) + " -q --tags -o " + quote(dir_.file("out")) + " " +
                quote(fixture_path("tagged.mp3")) + " " + quote(dir_.file("utf8.mp3")) + " 2>&1",
            &status);
        ASSERT_EQ(status, 0);
        tagged_ = dir_.file("out/tagged.wav");
        utf8_ = dir_.file("out/utf8.wav");
    }

    TempDir dir_;
    std::string tagged_;
    std::string utf8_;
};

TEST_F(CliTags, FfprobeReadsTheFieldsBack) {
    if (!installed("ffprobe")) {
        GTEST_SKIP() << "ffprobe is not installed (Debian package ffmpeg)";
    }
    auto probe = [](const std::string& path) {
        int status = -1;
        std::string out =
            run("ffprobe -v error -show_entries "
                "format_tags=title,artist,album,date,genre,track "
                "-of default=noprint_wrappers=1 " +
                    quote(path),
                &status);
        EXPECT_EQ(status, 0) << path;
        return out;
    };
    // ffprobe lists the tags in the order it found them in the INFO chunk.
    EXPECT_EQ(probe(tagged_),
              "TAG:title=Seven Bridges\n"
              "TAG:artist=Anna Example; Ben Sample\n"
              "TAG:album=Fixture Album\n"
              "TAG:date=1999\n"
              "TAG:genre=Rock\n"
              "TAG:track=07/12\n");
    EXPECT_EQ(probe(utf8_), "TAG:title=" + UTF8_TITLE + "\nTAG:artist=" + UTF8_ARTIST +
                                "\nTAG:album=\xC3\x85lbum\nTAG:date=2021\nTAG:genre=Jazz\n"
                                "TAG:track=3\n");
}

TEST_F(CliTags, ExiftoolReadsTheInfoAndTheId3Chunk) {
    if (!installed("exiftool")) {
        GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl)";
    }
    auto tags = [](const std::string& group, const std::vector<std::string>& names,
                   const std::string& path) {
        std::string command = "exiftool -S";
        for (const std::string& name : names) {
            command += " -" + group + ":" + name;
        }
        int status = -1;
        std::string out = run(command + " " + quote(path), &status);
        EXPECT_EQ(status, 0) << command;
        return out;
    };
    const std::vector<std::string> info = {"Title",       "Artist", "Product",
                                           "DateCreated", "Genre",  "TrackNumber"};
    EXPECT_EQ(tags("RIFF", info, tagged_),
              "Title: Seven Bridges\nArtist: Anna Example; Ben Sample\nProduct: Fixture Album\n"
              "DateCreated: 1999\nGenre: Rock\nTrackNumber: 07/12\n");
    // The INFO chunk's UTF-8 is declared by its CSET chunk; exiftool would read Latin-1
    // otherwise.
    EXPECT_EQ(tags("RIFF", info, utf8_), "Title: " + UTF8_TITLE + "\nArtist: " + UTF8_ARTIST +
                                             "\nProduct: \xC3\x85lbum\nDateCreated: 2021\n"
                                             "Genre: Jazz\nTrackNumber: 3\n");
    // The ID3v2 tag as it came: exiftool reads it from the "id3 " chunk.
    EXPECT_EQ(tags("ID3", {"Title", "Artist", "Album", "Year", "Genre", "Track"}, tagged_),
              "Title: Seven Bridges\nArtist: Anna Example/Ben Sample\nAlbum: Fixture Album\n"
              "Year: 1999\nGenre: Rock\nTrack: 07/12\n");
    EXPECT_EQ(tags("ID3", {"Title", "Artist"}, utf8_),
              "Title: " + UTF8_TITLE + "\nArtist: " + UTF8_ARTIST + "\n");
}

TEST_F(CliTags, SoxStillReadsTheAudio) {
    if (!installed("soxi") || !installed("sox")) {
        GTEST_SKIP() << "soxi is not installed (Debian package sox)";
    }
    for (const std::string& path : {tagged_, utf8_}) {
        const ParsedWav wav = parse_wav_file(path);
        ASSERT_TRUE(wav.ok) << wav.error;
        int status = -1;
        const std::string samples = run("soxi -s " + quote(path), &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(samples, std::to_string(wav.data_size / wav.block_align) + "\n");
        EXPECT_EQ(run("soxi -r " + quote(path), &status), "44100\n");
        EXPECT_EQ(run("soxi -c " + quote(path), &status), "2\n");
        // sox's own decode of the file gives exactly the data chunk: the chunks behind it are
        // not taken for samples.
        const std::string raw = run("sox " + quote(path) + " -t raw -", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(std::vector<unsigned char>(raw.begin(), raw.end()), wav.data) << path;
    }
}

}  // namespace

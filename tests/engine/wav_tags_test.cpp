// Tags copied into the WAV file: decodes through decode_file with copy_tags, the result
// walked chunk by chunk with the independent parser of tests/support. Expected texts are the
// fixture facts of tests/data/README.md or the tags the tests write themselves.
#include "engine/wav_tags.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/id3_guard.h"
#include "engine/request.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

struct TagRun {
    std::int32_t result = -1;
    std::string messages;
    std::vector<unsigned char> bytes;
};

TagRun decode(const std::string& input, const std::string& output, bool tags,
              bool normalize = false, bool exact = false) {
    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.no_dither = 1;  // rounding, so that separate runs give the same samples
    request.copy_tags = tags ? 1 : 0;
    request.normalize = normalize ? 1 : 0;
    request.exact_length = exact ? 1 : 0;
    TagRun run;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    run.result = decode_file(&request);
    testing::internal::GetCapturedStdout();
    run.messages = testing::internal::GetCapturedStderr();
    run.bytes = read_file_bytes(output);
    return run;
}

std::vector<std::string> ids_of(const std::vector<RiffChunk>& chunks) {
    std::vector<std::string> ids;
    for (const RiffChunk& chunk : chunks) {
        ids.push_back(chunk.id);
    }
    return ids;
}

const RiffChunk* find_chunk(const std::vector<RiffChunk>& chunks, const std::string& id) {
    for (const RiffChunk& chunk : chunks) {
        if (chunk.id == id) {
            return &chunk;
        }
    }
    return nullptr;
}

std::vector<unsigned char> head(const std::vector<unsigned char>& bytes, std::size_t n) {
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size()))};
}

const std::string SOFTWARE = std::string("Pelmora ") + PELMORA_PROGRAM_VERSION;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class WavTags : public testing::Test {
protected:
    // The input written into the scratch folder: prefix, then the quiet fixture's 2 s of
    // untagged audio, then suffix.
    std::string input_with(const std::string& name, const std::vector<unsigned char>& prefix,
                           const std::vector<unsigned char>& suffix = {}) {
        const std::string path = dir_.file(name);
        write_file_bytes(
            path, concat(concat(prefix, read_file_bytes(fixture_path("quiet.mp3"))), suffix));
        return path;
    }

    TempDir dir_;
};

TEST_F(WavTags, TaggedInputGetsInfoAndId3ChunksBehindTheUnchangedAudio) {
    const std::string input = fixture_path("tagged.mp3");
    const TagRun plain = decode(input, dir_.file("plain.wav"), false);
    const TagRun tagged = decode(input, dir_.file("tagged.wav"), true);
    ASSERT_EQ(plain.result, DECODE_OK);
    ASSERT_EQ(tagged.result, DECODE_OK);

    // Everything up to the end of the audio is the untagged file but for the RIFF size.
    ASSERT_GT(tagged.bytes.size(), plain.bytes.size());
    std::vector<unsigned char> start = head(tagged.bytes, plain.bytes.size());
    std::copy(plain.bytes.begin() + 4, plain.bytes.begin() + 8, start.begin() + 4);
    EXPECT_EQ(start, plain.bytes);

    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(tagged.bytes, &error);
    ASSERT_EQ(error, "");
    // Latin-1 texts need no character set chunk.
    EXPECT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST", "id3 "}));
    EXPECT_EQ(chunks[1].offset + 8, 44u);
    const ParsedWav wav = parse_wav(tagged.bytes);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.data, parse_wav(plain.bytes).data);

    // The tag is bytes 0-406 of the fixture: 407 bytes, so the chunk has a pad byte (checked
    // by the walk) and the file stays even.
    EXPECT_EQ(chunks[3].size, 407u);
    EXPECT_EQ(chunks[3].body, head(read_file_bytes(input), 407));
    EXPECT_EQ(tagged.bytes.size() % 2, 0u);

    // TYER becomes the year, "(17)" is Rock in the ID3v1 genre list, the two artists are
    // joined, and the comment is the one without a description.
    const std::map<std::string, std::string> expected = {
        {"INAM", "Seven Bridges"},
        {"IART", "Anna Example; Ben Sample"},
        {"IPRD", "Fixture Album"},
        {"ICRD", "1999"},
        {"IGNR", "Rock"},
        {"ITRK", "07/12"},
        {"ICMT",
         "This comment is exactly one hundred characters long so that it has to be "
         "wrapped onto a second line."},
        {"ISFT", SOFTWARE},
    };
    EXPECT_EQ(info_texts(chunks[2]), expected);
}

TEST_F(WavTags, CoverArtTravelsInTheId3ChunkByteForByte) {
    const std::string input = fixture_path("big_tag.mp3");
    const TagRun tagged = decode(input, dir_.file("big.wav"), true);
    ASSERT_EQ(tagged.result, DECODE_OK);
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(tagged.bytes, &error);
    ASSERT_EQ(error, "");
    const RiffChunk* id3 = find_chunk(chunks, "id3 ");
    ASSERT_NE(id3, nullptr);
    // The 60052-byte tag with its 60000 bytes of picture data from byte 52.
    EXPECT_EQ(id3->body, head(read_file_bytes(input), 60052));
    const RiffChunk* list = find_chunk(chunks, "LIST");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(info_texts(*list),
              (std::map<std::string, std::string>{{"INAM", "Big Tag"}, {"ISFT", SOFTWARE}}));
}

TEST_F(WavTags, Utf8TextSurvivesAndIsDeclaredAsUtf8) {
    // Spelled as bytes so that the test does not depend on the compiler's character set:
    // e-acute C3 A9, u-umlaut C3 BC, the two kanji E6 97 A5 and E6 9C AC.
    const std::string title =
        "Caf\xC3\xA9 \xC3\xBC"
        "ber \xE6\x97\xA5\xE6\x9C\xAC";
    const std::string artist = "Zo\xC3\xAB";
    const std::vector<unsigned char> tag = id3v24_utf8_tag({{"TIT2", title},
                                                            {"TPE1", artist},
                                                            {"TALB", "\xC3\x85lbum"},
                                                            {"TDRC", "2021"},
                                                            {"TCON", "(8)"},
                                                            {"TRCK", "3"}},
                                                           32);
    const TagRun run = decode(input_with("utf8.mp3", tag), dir_.file("utf8.wav"), true);
    ASSERT_EQ(run.result, DECODE_OK);
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(run.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "CSET", "LIST", "id3 "}));
    // Code page 65001 (0xFDE9), country, language and dialect not given.
    EXPECT_EQ(chunks[2].body, (std::vector<unsigned char>{0xE9, 0xFD, 0, 0, 0, 0, 0, 0}));
    // Genre 8 of the ID3v1 list is Jazz, also in the "(8)" form inside an ID3v2.4 tag.
    const std::map<std::string, std::string> expected = {
        {"INAM", title},  {"IART", artist}, {"IPRD", "\xC3\x85lbum"}, {"ICRD", "2021"},
        {"IGNR", "Jazz"}, {"ITRK", "3"},    {"ISFT", SOFTWARE},
    };
    EXPECT_EQ(info_texts(chunks[3]), expected);
    EXPECT_EQ(chunks[4].body, tag);
}

TEST_F(WavTags, Id3v1FillsTheInfoChunkAloneOrBehindTheId3v2Fields) {
    const std::vector<unsigned char> v1 =
        id3v1_tag("One Tag", "Old Artist", "Old Album", "1987", "Old comment", 5, 17);
    const TagRun only = decode(input_with("v1.mp3", {}, v1), dir_.file("v1.wav"), true);
    ASSERT_EQ(only.result, DECODE_OK);
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(only.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST"}));
    const std::map<std::string, std::string> expected = {
        {"INAM", "One Tag"}, {"IART", "Old Artist"}, {"IPRD", "Old Album"},   {"ICRD", "1987"},
        {"IGNR", "Rock"},    {"ITRK", "5"},          {"ICMT", "Old comment"}, {"ISFT", SOFTWARE},
    };
    EXPECT_EQ(info_texts(chunks[2]), expected);

    // An ID3v2 title wins over the ID3v1 one; the fields the ID3v2 tag lacks come from ID3v1.
    const TagRun both = decode(input_with("both.mp3", id3v24_utf8_tag({{"TIT2", "New Title"}}), v1),
                               dir_.file("both.wav"), true);
    ASSERT_EQ(both.result, DECODE_OK);
    chunks = riff_chunks(both.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST", "id3 "}));
    std::map<std::string, std::string> merged = expected;
    merged["INAM"] = "New Title";
    EXPECT_EQ(info_texts(chunks[2]), merged);
}

TEST_F(WavTags, DamagedId3v2TagsAreLeftOutWhole) {
    const std::vector<unsigned char> good = id3v24_utf8_tag({{"TIT2", "Broken"}, {"TPE1", "X"}});
    std::vector<std::pair<std::string, std::vector<unsigned char>>> inputs;
    // The tag declares more body than it has: the audio's first frame header would be read
    // as a frame.
    std::vector<unsigned char> cut(good.begin(), good.end() - 3);
    inputs.emplace_back("cut", cut);
    // A frame larger than the body (TPE1's size byte raised from 2 to 0x7F).
    std::vector<unsigned char> oversized = good;
    oversized[10 + 10 + 7 + 7] = 0x7F;
    inputs.emplace_back("oversized", oversized);
    // A tag size byte with its top bit set.
    std::vector<unsigned char> unsynced_size = good;
    unsynced_size[9] |= 0x80;
    inputs.emplace_back("size", unsynced_size);
    // An ID3v2.4 flag that does not exist.
    std::vector<unsigned char> flagged = good;
    flagged[5] = 0x01;
    inputs.emplace_back("flag", flagged);
    // The fuzzers' crash inputs: a compressed frame declaring 2 GiB and a tag without frames.
    const std::string crashes = std::string(PELMORA_TEST_DATA) + "/../../fuzz/crashes";
    std::size_t crash_inputs = 0;
    for (const char* folder : {"id3tag", "id3lib"}) {
        DIR* listing = opendir((crashes + "/" + folder).c_str());
        ASSERT_NE(listing, nullptr) << folder;
        while (const dirent* entry = readdir(listing)) {
            if (entry->d_name[0] != '.') {
                inputs.emplace_back(entry->d_name,
                                    read_file_bytes(crashes + "/" + folder + "/" + entry->d_name));
                ++crash_inputs;
            }
        }
        closedir(listing);
    }
    EXPECT_GE(crash_inputs, 2u);

    for (const auto& [name, tag] : inputs) {
        const std::string input = input_with(name + ".mp3", tag);
        const TagRun plain = decode(input, dir_.file(name + "-plain.wav"), false);
        const TagRun tagged = decode(input, dir_.file(name + ".wav"), true);
        EXPECT_EQ(tagged.result, plain.result) << name;
        // No chunk at all, not even an INFO chunk from what the library might make of it.
        EXPECT_EQ(tagged.bytes, plain.bytes) << name;
        EXPECT_TRUE(contains(tagged.messages, "damaged ID3v2 tag not copied")) << name;
    }

    // With an ID3v1 tag behind the audio, the INFO chunk holds its fields only.
    const TagRun v1 =
        decode(input_with("cut-v1.mp3", cut, id3v1_tag("Kept", "", "", "", "", 1, 255)),
               dir_.file("cut-v1.wav"), true);
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(v1.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST"}));
    EXPECT_EQ(info_texts(chunks[2]), (std::map<std::string, std::string>{
                                         {"INAM", "Kept"}, {"ITRK", "1"}, {"ISFT", SOFTWARE}}));
}

TEST_F(WavTags, NormalizingATaggedFileTouchesTheSamplesOnly) {
    // "Odd!" makes a 25-byte tag, so the id3 chunk has a pad byte to keep as well.
    const std::vector<unsigned char> tag = id3v24_utf8_tag({{"TIT2", "Odd!"}});
    ASSERT_EQ(tag.size(), 25u);
    const std::string input = input_with("quiet-tagged.mp3", tag);
    const TagRun normalized = decode(input, dir_.file("a.wav"), true, true);
    const TagRun untagged = decode(input, dir_.file("b.wav"), false, true);
    const TagRun raw = decode(input, dir_.file("c.wav"), true, false);
    const ParsedWav a = parse_wav(normalized.bytes);
    const ParsedWav b = parse_wav(untagged.bytes);
    const ParsedWav c = parse_wav(raw.bytes);
    ASSERT_TRUE(a.ok && b.ok && c.ok) << a.error << b.error << c.error;

    EXPECT_EQ(samples_s16(a), samples_s16(b));
    // The quiet fixture peaks near -20 dBFS: normalizing raised it to full scale.
    int peak = 0;
    for (std::int16_t s : samples_s16(a)) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    EXPECT_EQ(peak, 32767);
    EXPECT_NE(a.data, c.data);

    // Header and everything behind the audio are the unnormalized file's, byte for byte.
    ASSERT_EQ(normalized.bytes.size(), raw.bytes.size());
    const std::size_t end = a.data_offset + a.data_size + (a.data_size & 1u);
    EXPECT_EQ(head(normalized.bytes, 44), head(raw.bytes, 44));
    EXPECT_EQ(
        std::vector<unsigned char>(normalized.bytes.begin() + static_cast<std::ptrdiff_t>(end),
                                   normalized.bytes.end()),
        std::vector<unsigned char>(raw.bytes.begin() + static_cast<std::ptrdiff_t>(end),
                                   raw.bytes.end()));
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(normalized.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST", "id3 "}));
    EXPECT_EQ(chunks[3].body, tag);
}

TEST_F(WavTags, ExactLengthTrimsTheAudioAndTheChunksFollowTheTrimmedData) {
    const std::vector<unsigned char> tag = id3v24_utf8_tag({{"TIT2", "Gapless"}}, 16);
    const std::string input = dir_.file("info-tagged.mp3");
    write_file_bytes(input, concat(tag, read_file_bytes(fixture_path("stereo_44k_128_info.mp3"))));
    const TagRun both = decode(input, dir_.file("both.wav"), true, false, true);
    const TagRun exact = decode(input, dir_.file("exact.wav"), false, false, true);
    ASSERT_EQ(both.result, DECODE_OK) << both.messages;
    ASSERT_EQ(exact.result, DECODE_OK) << exact.messages;

    // The LAME tag's figures (tests/data/README.md): 116 x 1152 - 576 - 756 = 132300 frames of
    // two 16-bit samples.
    const ParsedWav wav = parse_wav(both.bytes);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.data_size, 132300u * 4);
    EXPECT_EQ(wav.data, parse_wav(exact.bytes).data);
    std::string error;
    const std::vector<RiffChunk> chunks = riff_chunks(both.bytes, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(ids_of(chunks), (std::vector<std::string>{"fmt ", "data", "LIST", "id3 "}));
    EXPECT_EQ(info_texts(chunks[2]).at("INAM"), "Gapless");
    EXPECT_EQ(chunks[3].body, tag);
}

TEST(Id3v2TagIsWhole, AcceptsReadableTagsAndRefusesEveryDamage) {
    // Whole: the fixture's ID3v2.3 tag (with padding), an ID3v2.4 tag, and the same with a
    // footer (flag 0x10, "3DI" and the header's other 7 bytes at the end).
    const std::vector<unsigned char> v23 = head(read_file_bytes(fixture_path("tagged.mp3")), 407);
    EXPECT_TRUE(id3v2_tag_is_whole(v23.data(), v23.size()));
    const std::vector<unsigned char> v24 = id3v24_utf8_tag({{"TIT2", "T"}}, 5);
    EXPECT_TRUE(id3v2_tag_is_whole(v24.data(), v24.size()));
    std::vector<unsigned char> footer = v24;
    footer[5] = 0x10;
    footer = concat(footer, {'3', 'D', 'I', 4, 0, 0x10});
    footer = concat(footer, {footer[6], footer[7], footer[8], footer[9]});
    EXPECT_TRUE(id3v2_tag_is_whole(footer.data(), footer.size()));

    auto refused = [](std::vector<unsigned char> tag, std::size_t at, unsigned char value) {
        tag[at] = value;
        return !id3v2_tag_is_whole(tag.data(), tag.size());
    };
    // v24 is "ID3" 4 0 flags size(6-9), then TIT2 at 10: size at 14-17 (2), flags 18-19.
    EXPECT_FALSE(id3v2_tag_is_whole(v24.data(), v24.size() - 1));  // shorter than declared
    EXPECT_TRUE(refused(v24, 3, 5));                               // unknown version
    EXPECT_TRUE(refused(v24, 4, 0xFF));                            // forbidden revision
    EXPECT_TRUE(refused(v24, 9, static_cast<unsigned char>(v24[9] | 0x80)));  // size not syncsafe
    EXPECT_TRUE(refused(v24, 5, 0x01));                                       // unknown tag flag
    EXPECT_TRUE(refused(v23, 5, 0x10));  // the footer flag is ID3v2.4's only
    EXPECT_TRUE(refused(v24, 5, 0x40));  // an extended header larger than the body
    EXPECT_TRUE(refused(footer, footer.size() - 10, 'X'));  // footer without "3DI"
    EXPECT_TRUE(refused(v24, 10, 't'));                     // frame id not capitals and digits
    EXPECT_TRUE(refused(v24, 17, 0x7F));                    // frame runs past the body
    EXPECT_TRUE(refused(v24, 19, 0x80));                    // unknown frame flag
    const std::vector<unsigned char> empty = id3v24_utf8_tag({}, 10);
    EXPECT_FALSE(id3v2_tag_is_whole(empty.data(), empty.size()));  // padding only

    // The fuzzer's out-of-memory input: 407 bytes of ID3v2.3 whose compressed TPE1 frame
    // declares 0x80808080 bytes, refused by the compressed-frame guard.
    const std::vector<unsigned char> oom = head(
        read_file_bytes(std::string(PELMORA_TEST_DATA) +
                        "/../../fuzz/crashes/id3tag/oom-dd939cd7ee5dbb27fdc9ea3d2d1029980d7a847a"),
        407);
    ASSERT_EQ(oom.size(), 407u);
    EXPECT_FALSE(id3v2_tag_is_whole(oom.data(), oom.size()));
}

}  // namespace

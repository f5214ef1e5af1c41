// Tags and trims that ask for too much: a cover too large for its chunk keeps the text fields,
// and a LAME tag claiming more delay and padding than the stream holds is not believed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/request.h"
#include "tests/support/id3_bytes.h"
#include "tests/support/riff.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Decoded {
    std::int32_t result = -1;
    DecodeStats stats{};
    std::string messages;
    Bytes bytes;
};

Decoded decode(const std::string& input, const std::string& output, bool tags, bool exact) {
    DecodeRequest request;
    decode_request_init(&request);
    Decoded decoded;
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.no_dither = 1;
    request.copy_tags = tags ? 1 : 0;
    request.exact_length = exact ? 1 : 0;
    request.stats = &decoded.stats;
    testing::internal::CaptureStderr();
    decoded.result = decode_file(&request);
    decoded.messages = testing::internal::GetCapturedStderr();
    decoded.bytes = read_file_bytes(output);
    return decoded;
}

TEST(TagGuard, ACoverOver16MiBKeepsTheInfoFieldsAndLeavesOutOnlyTheId3Chunk) {
    TempDir dir;
    // TIT2 and TPE1 from the test helper, then an APIC frame of 17 MiB added by hand: an
    // ID3v2.4 frame size is syncsafe, so is the tag size in the header.
    Bytes tag = id3v24_utf8_tag({{"TIT2", "Big Cover"}, {"TPE1", "Someone"}});
    Bytes apic_body = {0};  // ISO-8859-1 description
    for (char c : std::string("image/jpeg")) {
        apic_body.push_back(static_cast<unsigned char>(c));
    }
    apic_body.insert(apic_body.end(), {0, 3, 0});  // end of type, front cover, empty text
    apic_body.resize(apic_body.size() + (17u << 20), 0x5A);
    Bytes frame = {'A', 'P', 'I', 'C'};
    Bytes size = syncsafe_bytes(apic_body.size());
    frame.insert(frame.end(), size.begin(), size.end());
    frame.insert(frame.end(), {0, 0});
    frame.insert(frame.end(), apic_body.begin(), apic_body.end());
    tag.insert(tag.end(), frame.begin(), frame.end());
    Bytes tagSize = syncsafe_bytes(tag.size() - 10);
    std::copy(tagSize.begin(), tagSize.end(), tag.begin() + 6);
    const std::string input = dir.file("cover.mp3");
    write_file_bytes(input, concat(tag, read_file_bytes(fixture_path("quiet.mp3"))));

    Decoded decoded = decode(input, dir.file("cover.wav"), true, false);
    EXPECT_EQ(decoded.result, DECODE_OK) << decoded.messages;
    EXPECT_EQ(decoded.stats.warnings, WARNING_ID3_CHUNK_LEFT_OUT);
    EXPECT_NE(decoded.messages.find("ID3v2 tag of more than 16 MiB"), std::string::npos)
        << decoded.messages;
    std::string error;
    std::vector<RiffChunk> chunks = riff_chunks(decoded.bytes, &error);
    EXPECT_EQ(error, "");
    const RiffChunk* list = nullptr;
    for (const RiffChunk& chunk : chunks) {
        EXPECT_NE(chunk.id, "id3 ");
        if (chunk.id == "LIST") {
            list = &chunk;
        }
    }
    ASSERT_NE(list, nullptr);
    std::map<std::string, std::string> info = info_texts(*list);
    EXPECT_EQ(info["INAM"], "Big Cover");
    EXPECT_EQ(info["IART"], "Someone");
    // The audio is the untagged file's: 78 frames of 1152 samples, stereo, 16 bits.
    EXPECT_EQ(parse_wav(decoded.bytes).data_size, 78u * 1152 * 4);
}

TEST(TrimGuard, ALyingLameTagIsNotBelievedAndTheStreamIsDecodedInFull) {
    TempDir dir;
    Bytes bytes = read_file_bytes(fixture_path("exact/cbr128_44k_s_005.mp3"));
    // The LAME extension's delay and padding are 12 bits each, 21 bytes after "LAME"; all
    // ones claims 4095 samples of each, more than this 0.05 s stream holds.
    const char lame[] = "LAME";
    auto at = std::search(bytes.begin(), bytes.end(), lame, lame + 4);
    ASSERT_NE(at, bytes.end());
    const std::size_t gap = static_cast<std::size_t>(at - bytes.begin()) + 21;
    bytes[gap] = bytes[gap + 1] = bytes[gap + 2] = 0xFF;
    // The frame count the Info header gives (flags 0x1): big-endian after "Info" and flags.
    const char info[] = "Info";
    auto header = std::search(bytes.begin(), bytes.end(), info, info + 4);
    ASSERT_NE(header, bytes.end());
    const std::size_t count_at = static_cast<std::size_t>(header - bytes.begin()) + 8;
    ASSERT_NE(bytes[count_at - 1] & 1, 0);
    const std::size_t frames = static_cast<std::size_t>(bytes[count_at]) << 24 |
                               static_cast<std::size_t>(bytes[count_at + 1]) << 16 |
                               static_cast<std::size_t>(bytes[count_at + 2]) << 8 |
                               bytes[count_at + 3];
    ASSERT_GT(frames, 0u);
    ASSERT_LT(frames * 1152, 4095u + 4095u);  // the claim does cover the stream
    const std::string input = dir.file("lying.mp3");
    write_file_bytes(input, bytes);

    Decoded decoded = decode(input, dir.file("lying.wav"), false, true);
    EXPECT_EQ(decoded.result, DECODE_OK);
    EXPECT_EQ(decoded.stats.warnings, WARNING_LAME_TRIM_IGNORED);
    EXPECT_NE(decoded.messages.find("LAME tag: encoder delay 4095 and padding 4095"),
              std::string::npos)
        << decoded.messages;
    // Every audio frame the header counts, whole: 1152 samples each, stereo, 16 bits.
    ParsedWav wav = parse_wav(decoded.bytes);
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.data_size, frames * 1152 * 4);

    // The same claim in a tag without a frame count (the count's four bytes taken out of the
    // Info header, the frame kept at its length): only the start would be cut, and it would
    // take the whole stream.
    Bytes uncounted = bytes;
    uncounted[count_at - 1] &= 0xFE;
    uncounted.erase(uncounted.begin() + static_cast<std::ptrdiff_t>(count_at),
                    uncounted.begin() + static_cast<std::ptrdiff_t>(count_at + 4));
    // The next frame starts with the same two header bytes as this CBR file's first one.
    const std::size_t first = static_cast<std::size_t>(header - bytes.begin()) - 36;
    ASSERT_EQ(bytes[first], 0xFF);
    std::size_t next = count_at + 200;
    while (next + 1 < uncounted.size() &&
           (uncounted[next] != bytes[first] || uncounted[next + 1] != bytes[first + 1])) {
        ++next;
    }
    ASSERT_LT(next + 1, uncounted.size());
    uncounted.insert(uncounted.begin() + static_cast<std::ptrdiff_t>(next), 4, 0);
    write_file_bytes(dir.file("uncounted.mp3"), uncounted);
    Decoded full = decode(dir.file("uncounted.mp3"), dir.file("uncounted.wav"), false, true);
    EXPECT_EQ(full.stats.warnings, WARNING_LAME_TRIM_IGNORED) << full.messages;
    EXPECT_EQ(parse_wav(full.bytes).data_size, frames * 1152 * 4);

    // The untouched file still trims as its tag says, without a warning.
    Decoded honest =
        decode(fixture_path("exact/cbr128_44k_s_005.mp3"), dir.file("honest.wav"), false, true);
    EXPECT_EQ(honest.stats.warnings, 0u);
    EXPECT_EQ(parse_wav(honest.bytes).data_size, 2205u * 4);  // manifest.txt: 2205 samples
}

}  // namespace

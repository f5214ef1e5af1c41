#include "engine/tag_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

struct TagDelete {
    void operator()(id3_tag* tag) const noexcept { id3_tag_delete(tag); }
};
using TagPtr = std::unique_ptr<id3_tag, TagDelete>;

struct Ucs4Free {
    void operator()(id3_ucs4_t* text) const noexcept { std::free(text); }
};
using Ucs4Ptr = std::unique_ptr<id3_ucs4_t, Ucs4Free>;

Ucs4Ptr ucs4(const std::string& latin1) {
    return Ucs4Ptr(id3_latin1_ucs4duplicate(reinterpret_cast<const id3_latin1_t*>(latin1.c_str())));
}

void add_text_frame(id3_tag* tag, const char* id, const std::vector<std::string>& texts) {
    id3_frame* frame = id3_frame_new(id);
    ASSERT_NE(frame, nullptr);
    std::vector<Ucs4Ptr> owned;
    std::vector<id3_ucs4_t*> pointers;
    for (const std::string& text : texts) {
        owned.push_back(ucs4(text));
        pointers.push_back(owned.back().get());
    }
    ASSERT_EQ(id3_field_setstrings(id3_frame_field(frame, 1),
                                   static_cast<unsigned int>(pointers.size()), pointers.data()),
              0);
    ASSERT_EQ(id3_tag_attachframe(tag, frame), 0);
}

void add_comment(id3_tag* tag, const std::string& description, const std::string& text) {
    id3_frame* frame = id3_frame_new("COMM");
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(id3_field_setlanguage(id3_frame_field(frame, 1), "eng"), 0);
    ASSERT_EQ(id3_field_setstring(id3_frame_field(frame, 2), ucs4(description).get()), 0);
    ASSERT_EQ(id3_field_setfullstring(id3_frame_field(frame, 3), ucs4(text).get()), 0);
    ASSERT_EQ(id3_tag_attachframe(tag, frame), 0);
}

std::string shown(const id3_tag* tag) {
    testing::internal::CaptureStderr();
    show_tag(tag);
    return testing::internal::GetCapturedStderr();
}

std::vector<unsigned char> rendered_title_tag(const std::string& title) {
    TagPtr tag(id3_tag_new());
    add_text_frame(tag.get(), "TIT2", {title});
    std::vector<unsigned char> bytes(id3_tag_render(tag.get(), nullptr));
    id3_tag_render(tag.get(), bytes.data());
    return bytes;
}

const std::string BLANKS10 = "          ";

TEST(ShowTag, AlignsLabelsAndContinuesStringLists) {
    TagPtr tag(id3_tag_new());
    // Attached out of display order on purpose: the display order is fixed.
    add_text_frame(tag.get(), "TCON", {"17"});
    add_text_frame(tag.get(), "TPE1", {"First Artist", "Second Artist"});
    add_text_frame(tag.get(), "TIT2", {"A Song"});
    add_text_frame(tag.get(), "TPRO", {"2005 Studio"});
    add_text_frame(tag.get(), "TCOP", {"2004 Label"});
    add_text_frame(tag.get(), "TPE3", {"Maestro"});
    add_text_frame(tag.get(), "TIT3", {"Live"});
    add_text_frame(tag.get(), "TLAN", {"not shown"});

    // Labels right-aligned in 10 columns ("Title" after 5 blanks, "Conductor" after 1);
    // unlabelled and further strings after 12 blanks; genre 17 is Rock in the ID3v1 list.
    const std::string expected = "     Title: A Song\n" + BLANKS10 + "  Live\n" + BLANKS10 +
                                 "  Copyright (C) 2004 Label\n" + BLANKS10 +
                                 "  Produced (P) 2005 Studio\n"
                                 "    Artist: First Artist\n" +
                                 BLANKS10 + "  Second Artist\n" +
                                 " Conductor: Maestro\n"
                                 "     Genre: Rock\n";
    EXPECT_EQ(shown(tag.get()), expected);
}

TEST(ShowTag, PrintsOnlyTheCommentWithoutDescriptionWrappedAt66) {
    TagPtr tag(id3_tag_new());
    add_comment(tag.get(), "iTunNORM", "00000A1B 00000C2D");
    // 100 characters: nine-letter words with blanks at 9, 19, ..., 89 and a ten-letter last
    // word. The last blank at or before 66 is at 59, so the first line holds six words.
    const std::string text =
        "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee fffffffff "
        "ggggggggg hhhhhhhhh iiiiiiiii jjjjjjjjjj";
    ASSERT_EQ(text.size(), 100u);
    add_comment(tag.get(), "", text);
    const std::string expected =
        "   Comment: aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee fffffffff\n" + BLANKS10 +
        "  ggggggggg hhhhhhhhh iiiiiiiii jjjjjjjjjj\n";
    EXPECT_EQ(shown(tag.get()), expected);

    TagPtr described_only(id3_tag_new());
    add_comment(described_only.get(), "note", "never shown");
    EXPECT_EQ(shown(described_only.get()), "");
}

TEST(ShowTag, CommentBreaksAtNewlinesAndAtBlankUpToPosition66Only) {
    const std::string a66(66, 'a');
    const std::string a67(67, 'a');
    const std::string x70(70, 'x');
    TagPtr tag(id3_tag_new());
    // A blank at position 66 still breaks; one at 67 does not, so that line stays whole, as
    // does a long line without any blank.
    add_comment(tag.get(), "", "first\n" + a66 + " bbbbb\n" + a67 + " c\n" + x70 + "\n\nlast");
    const std::string expected = "   Comment: first\n" + BLANKS10 + "  " + a66 + "\n" + BLANKS10 +
                                 "  bbbbb\n" + BLANKS10 + "  " + a67 + " c\n" + BLANKS10 + "  " +
                                 x70 + "\n" + BLANKS10 + "  \n" + BLANKS10 + "  last\n";
    EXPECT_EQ(shown(tag.get()), expected);
}

class StreamTag : public testing::Test {
protected:
    void SetUp() override {
        mad_stream_init(&stream_);
        ASSERT_EQ(pipe(pipe_), 0);
        state_.input_fd = pipe_[0];
    }
    void TearDown() override {
        mad_stream_finish(&stream_);
        close(pipe_[0]);
        if (pipe_[1] >= 0) {
            close(pipe_[1]);
        }
    }
    void feed(const unsigned char* bytes, std::size_t n) {
        ASSERT_EQ(write(pipe_[1], bytes, n), static_cast<ssize_t>(n));
    }
    void close_writer() {
        close(pipe_[1]);
        pipe_[1] = -1;
    }

    mad_stream stream_;
    int pipe_[2] = {-1, -1};
    PlayerState state_ = {};
};

TEST_F(StreamTag, HeldTagIsSkippedAndParsedInPlace) {
    std::vector<unsigned char> buffer = rendered_title_tag("Held");
    const std::size_t size = buffer.size();
    buffer.insert(buffer.end(), {'N', 'E', 'X', 'T', 0, 0, 0, 0, 0, 0, 0, 0});
    mad_stream_buffer(&stream_, buffer.data(), buffer.size());
    ASSERT_EQ(id3_tag_query(buffer.data(), buffer.size()), static_cast<long>(size));

    TagPtr tag(read_stream_tag(&stream_, size, &state_));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(shown(tag.get()), "     Title: Held\n");
    EXPECT_EQ(stream_.skiplen, size);
}

TEST_F(StreamTag, TagLargerThanHeldBytesIsCompletedFromDescriptor) {
    const std::vector<unsigned char> bytes = rendered_title_tag("Split Across Reads");
    const std::size_t held = 12;
    ASSERT_GT(bytes.size(), held);
    mad_stream_buffer(&stream_, bytes.data(), held);
    feed(bytes.data() + held, bytes.size() - held);
    feed(reinterpret_cast<const unsigned char*>("NEXT"), 4);

    TagPtr tag(read_stream_tag(&stream_, bytes.size(), &state_));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(shown(tag.get()), "     Title: Split Across Reads\n");
    EXPECT_EQ(stream_.skiplen, held);
    // Decoding goes on right after the tag.
    char after[5] = {};
    ASSERT_EQ(read(pipe_[0], after, 4), 4);
    EXPECT_STREQ(after, "NEXT");
}

TEST_F(StreamTag, ShortDescriptorGivesNoTag) {
    const std::vector<unsigned char> bytes = rendered_title_tag("Cut Short");
    const std::size_t held = 12;
    mad_stream_buffer(&stream_, bytes.data(), held);
    feed(bytes.data() + held, bytes.size() - held - 3);
    close_writer();

    testing::internal::CaptureStderr();
    id3_tag* tag = read_stream_tag(&stream_, bytes.size(), &state_);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "id3: EOF while reading tag data\n");
    EXPECT_EQ(tag, nullptr);
    EXPECT_EQ(stream_.skiplen, held);
}

TEST_F(StreamTag, Version3GenreReferenceShowsItsName) {
    // An ID3v2.3 tag written by hand: header with size 15, one TCON frame of 5 bytes holding
    // Latin-1 "(17)", the old parenthesised reference to genre 17, Rock.
    const unsigned char bytes[] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0,   15,  'T', 'C', 'O',
                                   'N', 0,   0,   0, 5, 0, 0, 0, '(', '1', '7', ')'};
    mad_stream_buffer(&stream_, bytes, sizeof bytes);
    TagPtr tag(read_stream_tag(&stream_, sizeof bytes, &state_));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(shown(tag.get()), "     Genre: Rock\n");
}

TEST(ShowFileTag, ShowsTagAndLeavesShortFileAtItsFirstByte) {
    TempDir dir;
    const std::string path = dir.file("short.mp3");
    std::vector<unsigned char> bytes = rendered_title_tag("Up Front");
    bytes.insert(bytes.end(), 300, 0x55);
    write_file_bytes(path, bytes);

    PlayerState state = {};
    state.input_fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(state.input_fd, 0);
    testing::internal::CaptureStderr();
    show_file_tag(&state);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "     Title: Up Front\n");
    EXPECT_EQ(state.flags & FLAG_STREAM_TAGS, 0u);
    EXPECT_EQ(lseek(state.input_fd, 0, SEEK_CUR), 0);
    char first[3] = {};
    ASSERT_EQ(read(state.input_fd, first, 3), 3);
    EXPECT_EQ(std::string(first, 3), "ID3");
    close(state.input_fd);
}

TEST(ShowFileTag, UnreadableTagTurnsOnStreamTagsAndClosesDuplicate) {
    TempDir dir;
    const std::string path = dir.file("write_only.mp3");
    write_file_bytes(path, rendered_title_tag("Hidden"));

    PlayerState state = {};
    state.input_fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(state.input_fd, 0);
    const int free_before = dup(0);
    close(free_before);
    testing::internal::CaptureStderr();
    show_file_tag(&state);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(state.flags & FLAG_STREAM_TAGS, 0u);
    const int free_after = dup(0);
    close(free_after);
    EXPECT_EQ(free_after, free_before);  // the duplicate did not leak
    close(state.input_fd);
}

}  // namespace

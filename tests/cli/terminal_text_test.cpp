#include "cli/terminal_text.h"

#include <gtest/gtest.h>

#include "cli/terminal_display.h"

namespace {

class TerminalText : public ::testing::Test {
protected:
    static void SetUpTestSuite() { select_utf8_ctype(); }
};

// Expected texts written out by hand from the bytes of each name.
TEST_F(TerminalText, ControlCharactersAndBrokenBytesAreShownEscaped) {
    EXPECT_EQ(terminal_safe("plain name.mp3"), "plain name.mp3");
    EXPECT_EQ(terminal_safe("M\xC3\xBCsik \xE4\xB8\xAD.mp3"), "M\xC3\xBCsik \xE4\xB8\xAD.mp3");
    EXPECT_EQ(terminal_safe("a\x1B[31mred\nx\ty\r"), "a\\e[31mred\\nx\\ty\\r");
    EXPECT_EQ(terminal_safe("bell\x07 del\x7F"), "bell\\x07 del\\x7F");
    EXPECT_EQ(terminal_safe(std::string_view("nul\0!", 5)), "nul\\x00!");
    // C1 controls (U+009B is a one-character CSI), a right-to-left override.
    EXPECT_EQ(terminal_safe("\xC2\x9B"
                            "31m \xE2\x80\xAE"
                            "3pm.exe"),
              "\\u{9B}31m \\u{202E}3pm.exe");
    // A lone continuation byte, a cut sequence, a byte no UTF-8 uses.
    EXPECT_EQ(terminal_safe("\x80 \xE4\xB8 \xFF"), "\\x80 \\xE4\\xB8 \\xFF");
    // Line breaks only stay in the variant for messages.
    EXPECT_EQ(terminal_safe_lines("one\ntwo \x1B]0;title\x07"), "one\ntwo \\e]0;title\\x07");
}

TEST_F(TerminalText, WidthCountsWideCharactersTwiceAndMarksNotAtAll) {
    EXPECT_EQ(display_width("abc"), 3);
    EXPECT_EQ(display_width("\xE4\xB8\xAD\xE6\x96\x87"), 4);  // two CJK characters
    EXPECT_EQ(display_width("e\xCC\x81"), 1);                 // e + combining acute
    EXPECT_EQ(display_width(""), 0);
}

TEST_F(TerminalText, CutsAtCharacterBoundariesByWidth) {
    const std::string cjk = "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97";  // 3 characters, 6 columns
    EXPECT_EQ(cut_to_width(cjk, 6), cjk);
    EXPECT_EQ(cut_to_width(cjk, 5), "\xE4\xB8\xAD\xE6\x96\x87");  // not half a character
    EXPECT_EQ(cut_to_width(cjk, 1), "");
    EXPECT_EQ(cut_to_width("ab\xC3\xBC"
                           "cd",
                           3),
              "ab\xC3\xBC");                                  // not half of the two bytes
    EXPECT_EQ(cut_to_width("ae\xCC\x81x", 2), "ae\xCC\x81");  // the mark stays with its e
    EXPECT_EQ(cut_to_width("short", 80), "short");
    EXPECT_EQ(cut_to_width("abc", 0), "");
}

TEST_F(TerminalText, BarLinesFitTheTerminalAndVanishWhenItIsNarrow) {
    std::vector<DisplayBar> bars = {
        {0.5, "Decoding 1 of 2  \xE4\xB8\xAD\x1B[2J" + std::string(60, 'x')},
        {0.25, "elapsed 0:01"}};
    for (int columns : {30, 41, 80, 200}) {
        std::vector<std::string> lines = bar_lines(bars, columns);
        ASSERT_EQ(lines.size(), 2u);
        for (const std::string& line : lines) {
            EXPECT_LT(display_width(line), columns) << line;
            EXPECT_EQ(line.find('\x1B'), std::string::npos) << line;
        }
    }
    // 80 columns: a bar of 80 / 3 = 26 places, 0.25 * 26 = 6.5 rounded to 7 filled.
    EXPECT_EQ(bar_lines(bars, 80)[1], "[#######...................]  25%  elapsed 0:01");
    EXPECT_EQ(bar_lines(bars, 80)[0].substr(0, 55),
              "[#############.............]  50%  Decoding 1 of 2  \xE4\xB8\xAD");
    EXPECT_TRUE(bar_lines(bars, 29).empty());
    EXPECT_TRUE(bar_lines(bars, 1).empty());
}

TEST_F(TerminalText, RowsToEraseFollowANarrowedTerminal) {
    // Lines of 79 and 40 columns drawn at 80: on 80 one row each; narrowed to 30 the terminal
    // wraps them into ceil(79/30) = 3 and ceil(40/30) = 2 rows.
    EXPECT_EQ(rows_taken({79, 40}, 80), 2);
    EXPECT_EQ(rows_taken({79, 40}, 30), 5);
    EXPECT_EQ(rows_taken({0, 30}, 30), 2);
    EXPECT_EQ(rows_taken({}, 30), 0);
}

}  // namespace

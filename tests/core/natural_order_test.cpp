#include "app/core/natural_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The expected lists are written out by hand in the order a person reading the names expects.
TEST(NaturalOrder, NumbersByValueLettersWithoutCase) {
    std::vector<std::string> names = {"track 10.mp3",
                                      "Track 9.mp3",
                                      "track 1.mp3",
                                      "track 100.mp3",
                                      "track 2.mp3",
                                      "b",
                                      "A",
                                      "a10b2",
                                      "a10b10",
                                      "a2",
                                      "10",
                                      "9",
                                      "x99999999999999999999999"};
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(), natural_less);
    EXPECT_EQ(sorted,
              (std::vector<std::string>{"9", "10", "A", "a2", "a10b2", "a10b10", "b", "track 1.mp3",
                                        "track 2.mp3", "Track 9.mp3", "track 10.mp3",
                                        "track 100.mp3", "x99999999999999999999999"}));
}

TEST(NaturalOrder, PrefixesAndSeparatorsComeFirst) {
    EXPECT_LT(natural_compare("track", "track 1"), 0);
    EXPECT_LT(natural_compare("", "a"), 0);
    EXPECT_GT(natural_compare("a", ""), 0);
    // Digit runs longer than any integer type compare without overflow.
    EXPECT_LT(natural_compare("1234567890123456789012345", "1234567890123456789012346"), 0);
    EXPECT_GT(natural_compare("99999999999999999999999999", "100"), 0);
}

// Names that read the same still get one fixed order, or a sort could put them either way
// and the batch would differ from run to run.
TEST(NaturalOrder, ZeroOnlyForIdenticalNames) {
    EXPECT_EQ(natural_compare("Song 07", "Song 07"), 0);
    EXPECT_NE(natural_compare("song", "Song"), 0);
    EXPECT_EQ(natural_compare("song", "Song"), -natural_compare("Song", "song"));
    EXPECT_LT(natural_compare("7", "07"), 0);
    EXPECT_LT(natural_compare("07", "007"), 0);
    EXPECT_LT(natural_compare("07 b", "7 c"), 0);  // the value and the text after it decide
    // Bytes above 127 (UTF-8) compare as they are, after ASCII.
    EXPECT_LT(natural_compare("z", "\xC3\xA9"), 0);

    // Antisymmetric and transitive over a set of near-equal names.
    std::vector<std::string> names = {"a1",  "A1",  "a01", "A01", "a001",
                                      "a1b", "a1B", "a1 ", "a10", "a2"};
    for (const std::string& x : names) {
        for (const std::string& y : names) {
            EXPECT_EQ(natural_compare(x, y) < 0, natural_compare(y, x) > 0) << x << " " << y;
            for (const std::string& z : names) {
                if (natural_less(x, y) && natural_less(y, z)) {
                    EXPECT_TRUE(natural_less(x, z)) << x << " " << y << " " << z;
                }
            }
        }
    }
}

}  // namespace

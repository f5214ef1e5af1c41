// The progress dialog's arithmetic: the batch bar weighs files by size plus a fixed cost, and
// the time left follows the rate so far. Expected values are worked out by hand.
#include "app/core/run_progress.h"

#include <gtest/gtest.h>

TEST(BatchWeights, RunningSumsOfSizePlusTheFixedCost) {
    // 0 + 16384, then 16384 + 1000 + 16384
    EXPECT_EQ(batch_weights({0, 1000}), (std::vector<std::uint64_t>{0, 16384, 33768}));
    EXPECT_EQ(batch_weights({}), (std::vector<std::uint64_t>{0}));
}

TEST(BatchPerMille, FinishedFilesCountWholeAndTheCurrentOneByItsFraction) {
    const std::vector<std::uint64_t> weights = batch_weights({0, 1000});
    EXPECT_EQ(batch_per_mille(weights, 0, 0, 0), 0);
    // 16384 * 1000 / 33768 = 485.19
    EXPECT_EQ(batch_per_mille(weights, 1, 0, 0), 485);
    // (16384 + 17384 / 2) * 1000 / 33768 = 25076000 / 33768 = 742.6
    EXPECT_EQ(batch_per_mille(weights, 1, 1, 2), 742);
    EXPECT_EQ(batch_per_mille(weights, 1, 7, 2), 1000);  // done beyond the total is clamped
    EXPECT_EQ(batch_per_mille(weights, 1, -3, 2), 485);  // and below zero too
    EXPECT_EQ(batch_per_mille(weights, 5, 0, 0), 1000);  // past the last file
    EXPECT_EQ(batch_per_mille({}, 0, 0, 0), 0);          // no plan
    EXPECT_EQ(batch_per_mille({0}, 0, 0, 0), 0);         // no files
    EXPECT_EQ(batch_per_mille(weights, -1, 0, 0), 0);

    // Fifty tiny files of one size: each finished one is 20 per mille, though none reaches a
    // KiB (the unit the engine reports in, so its file bar stays at 0 of 0).
    const std::vector<std::uint64_t> tiny = batch_weights(std::vector<std::uint64_t>(50, 900));
    for (int k = 0; k <= 50; ++k) {
        EXPECT_EQ(batch_per_mille(tiny, k, 0, 0), 20 * k) << k;
    }

    // Sizes in the gigabytes stay exact enough: 3 GiB done of 4 GiB (plus two fixed costs).
    const std::uint64_t gib = 1024ull * 1024 * 1024;
    const std::vector<std::uint64_t> big = batch_weights({3 * gib - 16384, gib - 16384});
    EXPECT_EQ(batch_per_mille(big, 1, 0, 100), 750);
}

TEST(TimeLeft, FollowsTheRateOnceThereIsOne) {
    EXPECT_EQ(time_left_ms(999, 500), -1);      // under a second: no rate yet
    EXPECT_EQ(time_left_ms(2000, 9), -1);       // under 1 %
    EXPECT_EQ(time_left_ms(2000, 10), 198000);  // 2000 * 990 / 10
    EXPECT_EQ(time_left_ms(10000, 500), 10000);
    EXPECT_EQ(time_left_ms(5000, 1000), 0);
}

TEST(ClockText, MinutesAndSecondsThenHours) {
    EXPECT_EQ(clock_text(0), "0:00");
    EXPECT_EQ(clock_text(5999), "0:05");
    EXPECT_EQ(clock_text(754000), "12:34");
    EXPECT_EQ(clock_text(3723000), "1:02:03");
    EXPECT_EQ(clock_text(-5), "0:00");
}

// The control bar's numbers and texts: rates, volume levels, read-outs, and when a new
// recording takes the chosen rate.
#include "playback/player_rules.h"

#include <gtest/gtest.h>

namespace qelv::media {
namespace {

TEST(PlayerRules, RateSliderPositionsAndTheirReadOut) {
    struct Case {
        int position;
        float rate;
        const char* text;
    };
    const Case cases[] = {{1, 0.5f, "x0.5"}, {5, 0.9f, "x0.9"}, {6, 1.0f, "x1.0"},
                          {7, 1.3f, "x1.3"}, {9, 1.7f, "x1.7"}, {10, 2.0f, "x2.0"},
                          {0, 0.5f, "x0.5"}, {11, 2.0f, "x2.0"}};
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(rateOfPosition(c.position), c.rate) << c.position;
        EXPECT_EQ(rateText(rateOfPosition(c.position)), c.text) << c.position;
    }
    EXPECT_FLOAT_EQ(rateOfPosition(kDefaultRatePosition), 1.0f);
}

TEST(PlayerRules, VolumeStopsAtNinety) {
    EXPECT_EQ(outputLevel(50), 32767);
    EXPECT_EQ(outputLevel(90), 58981);
    EXPECT_EQ(outputLevel(100), 58981);
    EXPECT_EQ(outputLevel(0), 0);
    EXPECT_EQ(effectiveVolume(100), 90);
    EXPECT_EQ(effectiveVolume(-5), 0);
}

TEST(PlayerRules, ReadOutsCountMinutesWithoutLimit) {
    EXPECT_EQ(timeText(0), "00:00");
    EXPECT_EQ(timeText(999), "00:00");
    EXPECT_EQ(timeText(61'000), "01:01");
    EXPECT_EQ(timeText(75ull * 60'000), "75:00");
    EXPECT_EQ(timeText(150ull * 60'000 + 59'999), "150:59");
}

TEST(PlayerRules, NewRecordingTakesTheRateOncePastTheStart) {
    RateReapplication rule;
    EXPECT_TRUE(rule.pending());
    EXPECT_TRUE(rule.tick(0, 8).empty());
    EXPECT_TRUE(rule.tick(100, 8).empty());
    EXPECT_EQ(rule.tick(101, 8), (std::vector<int>{8}));
    EXPECT_TRUE(rule.tick(500, 8).empty());  // applied once
    rule.newRecording();
    EXPECT_EQ(rule.tick(250, 2), (std::vector<int>{2}));
}

// A recording that stays at its start: 16 ticks wait, the 17th applies 0.9 and the rate.
TEST(PlayerRules, RecordingStuckAtTheStartGetsTheRateOnTheSeventeenthTick) {
    RateReapplication rule;
    for (int tick = 1; tick <= 16; ++tick) {
        EXPECT_TRUE(rule.tick(0, 9).empty()) << tick;
    }
    EXPECT_EQ(rule.tick(0, 9), (std::vector<int>{kSlowestSettledRateIndex, 9}));
    EXPECT_FALSE(rule.pending());
    // The count starts again for the next recording.
    rule.newRecording();
    for (int tick = 1; tick <= 16; ++tick) {
        EXPECT_TRUE(rule.tick(50, 9).empty()) << tick;
    }
    EXPECT_EQ(rule.tick(50, 9).size(), 2u);
}

}  // namespace
}  // namespace qelv::media

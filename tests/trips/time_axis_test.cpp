#include "trips/time_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace qelv::trips {
namespace {

// A trip of an hour across 720 pixels from x 50: 5 s a pixel.
TEST(TimeAxis, PlacesTheWholeTripAcrossItsWidth) {
    const TimeAxis axis(50, 720, 3600000);
    const struct {
        std::int64_t ms;
        double x;
    } cases[] = {{0, 50}, {5000, 51}, {1800000, 410}, {3600000, 770}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(axis.xOf(c.ms), c.x) << c.ms;
        EXPECT_EQ(axis.timeAt(c.x), c.ms) << c.x;
    }
    // Clicks beyond the plot's ends are the trip's start and end.
    EXPECT_EQ(axis.timeAt(10), 0);
    EXPECT_EQ(axis.timeAt(900), 3600000);
}

// The wheel zooms around the pointer: the moment under it stays under it, as far as the
// shortest span and the trip's ends allow.
TEST(TimeAxis, ZoomKeepsTheMomentUnderThePointer) {
    const struct {
        double x;
        std::vector<double> factors;
        std::int64_t first, span;  // the span shown afterwards
    } cases[] = {
        {410, {2}, 900000, 1800000},       // the middle: a quarter off each end
        {50, {4}, 0, 900000},              // at the start: the start stays
        {770, {4}, 2700000, 900000},       // at the end: the end stays
        {230, {2, 0.5}, 0, 3600000},       // out again: the whole trip
        {230, {0.25}, 0, 3600000},         // never wider than the trip
        {410, {1000000}, 1795000, 10000},  // never shorter than ten seconds
        {770, {2, 2, 0.25}, 0, 3600000},   // back to whole from the end
        {140, {8, 2}, 421875, 225000},     // twice at the same place
    };
    for (const auto& c : cases) {
        TimeAxis axis(50, 720, 3600000);
        const std::int64_t under = axis.timeAt(c.x);
        for (const double factor : c.factors) {
            axis.zoomAt(c.x, factor);
        }
        EXPECT_EQ(axis.firstMs(), c.first) << c.x;
        EXPECT_EQ(axis.spanMs(), c.span) << c.x;
        EXPECT_LE(std::llabs(axis.timeAt(c.x) - under), 1) << c.x;
    }
}

TEST(TimeAxis, ClockTicksFallOnWholeMinutesAtAReadableStep) {
    constexpr std::int64_t kMinute = 60000;
    const std::int64_t start = (12 * 60 + 7) * kMinute + 30000;  // 12:07:30
    const struct {
        std::int64_t lengthMs;
        int gap;
        std::vector<std::int64_t> clock;  // minutes of the day
    } cases[] = {
        // 24 minutes across 720 pixels, 30 a minute: every 2 minutes for 60 pixels.
        {24 * kMinute,
         60,
         {12 * 60 + 8, 12 * 60 + 10, 12 * 60 + 12, 12 * 60 + 14, 12 * 60 + 16, 12 * 60 + 18,
          12 * 60 + 20, 12 * 60 + 22, 12 * 60 + 24, 12 * 60 + 26, 12 * 60 + 28, 12 * 60 + 30}},
        // Three hours: 4 pixels a minute, every 30 minutes for 100 pixels.
        {180 * kMinute, 100, {12 * 60 + 30, 13 * 60, 13 * 60 + 30, 14 * 60, 14 * 60 + 30, 15 * 60}},
        // Under a minute, no whole minute inside: no label.
        {20000, 60, {}},
    };
    for (const auto& c : cases) {
        const TimeAxis axis(50, 720, c.lengthMs);
        std::vector<std::int64_t> clock;
        for (const std::int64_t tick : clockTicks(axis, start, c.gap)) {
            clock.push_back((start + tick) / kMinute);
        }
        EXPECT_EQ(clock, c.clock) << c.lengthMs;
    }
}

}  // namespace
}  // namespace qelv::trips

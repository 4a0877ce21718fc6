#include <gtest/gtest.h>

#include <map>

#include "playback/decoder_settings.h"
#include "playback/filter_check.h"
#include "playback/picture_geometry.h"
#include "playback/trip_playlist.h"

namespace qelv::media {
namespace {

TEST(PictureGeometry, ZoomStepsAndLimits) {
    std::int32_t zoom = 0;
    int applied = 0;
    for (int i = 0; i < 60; ++i) {
        applied += shrinkZoom(zoom) ? 1 : 0;
    }
    EXPECT_EQ(applied, 48);  // 48 steps reach 960, further shrinks do nothing
    EXPECT_EQ(zoom, 960);
    EXPECT_EQ(zoomedRect(zoom, 2000, 2000), (Rect{0, 0, 80, 80}));
    zoom = -940;
    EXPECT_TRUE(enlargeZoom(zoom));
    EXPECT_FALSE(enlargeZoom(zoom));
    EXPECT_EQ(zoom, -960);
    EXPECT_EQ(zoomedRect(-20, 640, 360), (Rect{0, 0, 680, 400}));
}

TEST(PictureGeometry, DragOffsets) {
    struct Case {
        std::int32_t zoom, a, b;
        Rect expected;
    };
    const Case cases[] = {
        {40, 10, 20, {-10, -20, 710, 420}},
        {40, 100, 20, {-40, -20, 620, 420}},  // narrower than the pane: the offset falls back
        {40, 10, 100, {-10, -40, 710, 340}},
        {-40, 10, 20, {40, 40, 550, 260}},
        {0, 0, 0, {0, 0, 640, 360}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(offsetRect(c.zoom, 640, 360, c.a, c.b), c.expected)
            << c.zoom << " " << c.a << " " << c.b;
    }
}

TEST(PictureGeometry, VolumeLevels) {
    const std::map<std::int32_t, std::int32_t> levels{
        {0, -10000}, {90, -45}, {50, -301}, {10, -999}, {100, 0}};
    for (const auto& [percent, level] : levels) {
        EXPECT_EQ(volumeLevel(percent), level) << percent;
    }
    EXPECT_DOUBLE_EQ(gainOfLevel(-10000), 0.0);
    EXPECT_NEAR(gainOfLevel(-45), 0.9495, 1e-4);
    EXPECT_DOUBLE_EQ(gainOfLevel(0), 1.0);
}

TEST(DecoderSettings, NumbersMapOntoTheElements) {
    DecoderSettings settings;
    EXPECT_EQ(settings.get(kLuminanceGain), 128);
    settings.set(kLuminanceGain, 256);
    settings.set(kLuminanceOffset, -128);
    settings.set(kHue, 90);
    settings.set(kSaturation, 0);
    EXPECT_EQ(settings.properties(), BalanceProperties{});  // nothing until 205 turns them on
    settings.set(kPictureSettingsOn, 1);
    EXPECT_EQ(settings.properties(), (BalanceProperties{2.0, -0.5, 0.5, 0.0, false}));
    settings.set(kLuminanceGain, 999);  // clamped to the range
    EXPECT_EQ(settings.get(kLuminanceGain), 256);
    settings.set(kFlipVertical, 1);
    EXPECT_FALSE(settings.properties().flipVertical);  // 1101 is the switch
    settings.set(kFlipSwitch, 1);
    EXPECT_TRUE(settings.properties().flipVertical);
}

// A trip of a minute, a recording that cannot be played, one of unknown length and 30 s.
TEST(TripPlaylist, PlacesTheTripsTimeOnItsRecordings) {
    TripPlaylist trip({{0, "a", 60000, false},
                       {1, "b", 60000, true},
                       {2, "c", 0, false},
                       {3, "d", 30000, false}});
    EXPECT_EQ(trip.lengthMs(), 90000U);
    EXPECT_EQ(trip.startMs(3), 60000U);  // the skipped one takes no time
    struct Case {
        std::uint64_t tripMs;
        std::size_t index;
        std::uint64_t offsetMs;
    };
    for (const Case c : {Case{0, 0, 0}, Case{59999, 0, 59999}, Case{60000, 2, 0}, Case{60001, 3, 1},
                         Case{89999, 3, 29999}, Case{500000, 3, 29999}}) {
        const auto place = trip.locate(c.tripMs);
        ASSERT_TRUE(place) << c.tripMs;
        EXPECT_EQ(place->index, c.index) << c.tripMs;
        EXPECT_EQ(place->offsetMs, c.offsetMs) << c.tripMs;
    }
    EXPECT_EQ(trip.following(0), 2U);
    EXPECT_EQ(trip.preceding(2), 0U);
    EXPECT_EQ(trip.preceding(0), std::nullopt);
    EXPECT_EQ(trip.following(3), std::nullopt);
    // Opened, a recording's own length moves those after it.
    trip.setLength(2, 5000);
    EXPECT_EQ(trip.startMs(3), 65000U);
    trip.skip(0);
    trip.skip(2);
    trip.skip(3);
    EXPECT_EQ(trip.locate(0), std::nullopt);
}

TEST(TripPlaylist, ReadOutsGainHoursOnlyForTripsOfAnHourOrMore) {
    EXPECT_EQ(tripTimeText(65000, 3599999), "01:05");
    EXPECT_EQ(tripTimeText(65000, 3600000), "00:01:05");
    EXPECT_EQ(tripTimeText(2 * 3600000 + 61000, 3 * 3600000), "02:01:01");
}

TEST(FilterCheck, ElementsAreInstalled) {
    EXPECT_EQ(checkFilters(), 1);
    EXPECT_TRUE(ensureFilters());
}

}  // namespace
}  // namespace qelv::media

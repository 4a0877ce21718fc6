// Trips from names and durations, and their totals from telemetry facts; cases worked by hand.
#include "trips/trip_builder.h"

#include <gtest/gtest.h>

#include "trips/trip_facts.h"

namespace qelv::trips {
namespace {

struct Case {
    const char* what;
    std::vector<TripInput> inputs;
    // Each trip as its recordings' and markers' indexes.
    std::vector<std::pair<std::vector<std::size_t>, std::vector<std::size_t>>> trips;
};

TEST(TripBuilder, JoinsADrivesRecordingsAndNothingElse) {
    constexpr std::uint32_t kMinute = 60000;
    const Case cases[] = {
        {"three one-minute recordings back to back, given out of order",
         {{"20240131_120100_2CH_N_F.mp4", kMinute},
          {"20240131_120000_2CH_N_F.mp4", kMinute},
          {"20240131_120201_2CH_N_F.mp4", kMinute}},
         {{{1, 0, 2}, {}}}},
        {"a gap of 6 s splits the drive; 5 s does not",
         {{"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120105_1CH_N_F.mp4", kMinute},
          {"20240131_120211_1CH_N_F.mp4", kMinute}},
         {{{0, 1}, {}}, {{2}, {}}}},
        {"other cameras are another drive",
         {{"20240131_120000_2CH_N_F.mp4", kMinute}, {"20240131_120100_3CH_N_F.mp4", kMinute}},
         {{{0}, {}}, {{1}, {}}}},
        {"event and user recordings made during the trip are markers; parking makes none",
         {{"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120030_1CH_E_F.mp4", 20000},
          {"20240131_120100_1CH_N_F.mp4", kMinute},
          {"20240131_120130_1CH_U_F.mp4", 20000},
          {"20240131_130000_1CH_P_F.mp4", kMinute},
          {"20240131_130100_1CH_E_F.mp4", kMinute}},
         {{{0, 2}, {1, 3}}}},
        {"a recording of unknown length in the middle does not split the drive",
         {{"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120100_1CH_N_F.mp4", std::nullopt},
          {"20240131_120200_1CH_N_F.mp4", 0},
          {"20240131_120300_1CH_N_F.mp4", kMinute}},
         {{{0, 1, 2, 3}, {}}}},
        {"unknown length is no licence to join a recording an hour later",
         {{"20240131_120000_1CH_N_F.mp4", std::nullopt}, {"20240131_130000_1CH_N_F.mp4", kMinute}},
         {{{0}, {}}, {{1}, {}}}},
        {"a recording cut short (unfinished) lasted at least its records: it reaches the next",
         {{"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120100_1CH_N_F.mp4", 13000, true},
          {"20240131_120200_1CH_N_F.mp4", kMinute}},
         {{{0, 1, 2}, {}}}},
        {"a recording with other cameras overlapping the drive does not end it",
         {{"20240131_120000_2CH_N_F.mp4", kMinute},
          {"20240131_120030_3CH_N_F.mp4", kMinute},
          {"20240131_120100_2CH_N_F.mp4", kMinute}},
         {{{0, 2}, {}}, {{1}, {}}}},
        {"the same recording twice (a card copied twice) counts once; overlaps join",
         {{"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120030_1CH_N_F.mp4", 10000},
          {"20240131_120100_1CH_N_F.mp4", kMinute}},
         {{{0, 2, 3}, {}}}},
        {"names without a date, a category or cameras are in no trip",
         {{"clip.mp4", kMinute},
          {"20241399_120000_1CH_N_F.mp4", kMinute},
          {"20240131_120000_N_F.mp4", kMinute},
          {"20240131_120100_1CH_N_F.mp4", kMinute}},
         {{{3}, {}}}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<Trip> trips = buildTrips(c.inputs);
        ASSERT_EQ(trips.size(), c.trips.size()) << c.what;
        for (std::size_t t = 0; t < trips.size(); ++t) {
            EXPECT_EQ(trips[t].recordings, c.trips[t].first) << c.what;
            EXPECT_EQ(trips[t].markers, c.trips[t].second) << c.what;
        }
    }
    // The first case's trip: 12:00:00 to 12:03:01 on the recorder's clock.
    const std::vector<Trip> first = buildTrips(cases[0].inputs);
    EXPECT_EQ(first[0].startMs, (19753LL * 86400 + 12 * 3600) * 1000);
    EXPECT_EQ(first[0].endMs - first[0].startMs, 181000);
    EXPECT_EQ(first[0].channels, 2);
}

// Two recordings of a drive north along a meridian at 36 km/h (0.01 km a second, 1/11119.5
// degree of latitude), the second with a fix 50 km off the road, and an unreadable third.
TEST(TripFacts, DistanceAndTopSpeedFromTrustedFixesOnly) {
    const auto fix = [](std::uint32_t second, double northKm, double speedKmh) {
        core::CVOKAGPSData f{};
        f.valid = 1;
        f.timeMs = second * 1000;
        f.latitude = 3700.0 + northKm / 111.195 * 60.0;  // ddmm.mmmm: 37 degrees north
        f.longitude = 12700.0;
        f.speed = speedKmh;
        return f;
    };
    events::RecordingTrack a;
    events::RecordingTrack b;
    for (std::uint32_t s = 0; s < 60; ++s) {
        a.fixes.push_back(fix(s, s * 0.01, 36));
        b.fixes.push_back(s == 30 ? fix(s, 50, 36) : fix(s, 0.6 + s * 0.01, s == 40 ? 500 : 36));
    }
    a.seconds = b.seconds = 60;
    events::RecordingTrack c;
    c.problem = "cannot be read";
    const std::vector<TripInput> inputs = {{"20240131_120000_1CH_N_F.mp4", 60000},
                                           {"20240131_120100_1CH_N_F.mp4", 60000},
                                           {"20240131_120200_1CH_N_F.mp4", std::nullopt}};
    const std::vector<RecordingFacts> facts = {recordingFacts(a, {}), recordingFacts(b, {}),
                                               recordingFacts(c, {})};
    EXPECT_EQ(facts[0].durationMs, 60000U);
    const std::vector<Trip> trips = buildTrips(inputs);
    ASSERT_EQ(trips.size(), 1U);
    const TripTotals totals = tripTotals(trips[0], inputs, facts);
    // 59 steps in each recording and the joint's one: 1.19 km; the jump and 500 km/h ignored.
    EXPECT_NEAR(totals.distanceKm, 1.19, 0.005);
    EXPECT_DOUBLE_EQ(totals.topSpeedKmh, 36);
    EXPECT_EQ(totals.unreadable, 1U);
    EXPECT_EQ(totals.incidents, 0U);
    // The unreadable one between them: no step is guessed across it.
    const std::vector<RecordingFacts> apart = {facts[0], facts[2], facts[1]};
    const TripTotals across = tripTotals(trips[0], inputs, apart);
    EXPECT_NEAR(across.distanceKm, 1.18, 0.005);
}

}  // namespace
}  // namespace qelv::trips

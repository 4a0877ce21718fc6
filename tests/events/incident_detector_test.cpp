// The incident detector on telemetry worked out by hand: each row is a drive, the incidents a
// driver would want listed, and nothing for what a noisy GPS or sensor makes up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "events/incident_detector.h"
#include "events/recording_track.h"
#include "storage/byte_source.h"
#include "support/telemetry_movie.h"

namespace qelv::events {
namespace {

using core::CVOKAGPSData;
using core::GSensorSample;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ddmm.mmmm, as the recorder writes a coordinate.
double ddmm(double degrees) {
    const double whole = std::trunc(degrees);
    return whole * 100 + (degrees - whole) * 60;
}

// One fix a second driving north from 37.5 N 127 E at each speed (km/h). A speed below 0
// makes an invalid fix; `jumpAt` puts that fix and the `jumpLength` - 1 after it 20 km east.
std::vector<CVOKAGPSData> drive(const std::vector<double>& speeds, int jumpAt = -1,
                                std::uint32_t gapAfterFirstMs = 1000, int jumpLength = 1) {
    std::vector<CVOKAGPSData> fixes;
    double latitude = 37.5;
    std::uint32_t time = 0;
    for (std::size_t i = 0; i < speeds.size(); ++i) {
        CVOKAGPSData fix;
        fix.valid = speeds[i] >= 0 || std::isnan(speeds[i]) ? 1 : 0;
        fix.speed = speeds[i];
        fix.latitude = ddmm(latitude);
        const int at = static_cast<int>(i);
        fix.longitude = ddmm(at >= jumpAt && at < jumpAt + jumpLength ? 127.2 : 127.0);
        fix.timeMs = time;
        fixes.push_back(fix);
        latitude += std::max(0.0, std::isnan(speeds[i]) ? 0.0 : speeds[i]) / 3600 / 111.2;
        time += i == 0 ? gapAfterFirstMs : 1000;
    }
    return fixes;
}

// Twenty samples a second apart at rest (8-bit: 64, 64, 72; 10-bit: 0, 0, 127), with
// `bumps` added to the x and z axes at the seconds given.
struct Bump {
    int second, dx, dz;
};
std::vector<GSensorSample> shake(bool tenBit, const std::vector<Bump>& bumps) {
    std::vector<GSensorSample> samples;
    for (int s = 0; s < 20; ++s) {
        GSensorSample sample{tenBit ? 0 : 64, tenBit ? 0 : 64, tenBit ? 127 : 72, tenBit ? 2 : 1,
                             s * 1000};
        for (const Bump& b : bumps) {
            if (b.second == s) {
                sample.x += b.dx;
                sample.z += b.dz;
            }
        }
        samples.push_back(sample);
    }
    return samples;
}

struct Found {
    IncidentKind kind;
    std::uint32_t startMs, endMs;
    double peak;
};

struct Case {
    std::string name;
    std::vector<CVOKAGPSData> fixes;
    std::vector<GSensorSample> samples;
    std::vector<Found> expected;
};

TEST(IncidentDetector, FindsWhatADriverWouldAndNothingNoiseMakesUp) {
    // One raw 8-bit unit is 0.0315 g, one 10-bit unit 0.00788 g.
    const std::vector<Case> cases = {
        {"steady driving", drive({50, 50, 51, 49, 50}), shake(false, {}), {}},
        {"two seconds of hard braking are one incident",
         drive({60, 60, 45, 30, 20, 20}),
         {},
         {{IncidentKind::HardBraking, 1000, 2000, 15}}},
        {"an ordinary stop", drive({40, 32, 24, 16, 8, 0}), {}, {}},
        {"braking from walking pace", drive({9, 0, 0}), {}, {}},
        {"an invalid fix between two fast ones", drive({60, -1, 0, 0}), {}, {}},
        {"a speed no vehicle has", drive({60, 500, 60, 60}), {}, {}},
        {"a speed that is not a number", drive({60, kNaN, 0, 0}), {}, {}},
        {"a position that jumped, with its speed", drive({60, 60, 0, 60, 60}, 2), {}, {}},
        {"a fall across a dropout", drive({60, 0, 0}, -1, 5000), {}, {}},
        // Off the road for three seconds, the receiver's speed falling meanwhile.
        {"a glitch of three fixes", drive({60, 60, 60, 30, 0, 60, 60}, 2, 1000, 3), {}, {}},
        {"at the start", drive({60, 0, 60, 60, 60}, 0, 1000, 2), {}, {}},
        {"braking twice, apart",
         drive({60, 40, 40, 40, 40, 20, 20}),
         {},
         {{IncidentKind::HardBraking, 0, 0, 20}, {IncidentKind::HardBraking, 4000, 4000, 20}}},
        {"a knock from behind (8-bit)",
         {},
         shake(false, {{10, 0, 50}}),
         {{IncidentKind::Impact, 10000, 10000, 50 * 0.0315290179}}},
        {"a swerve over two seconds (8-bit)",
         {},
         shake(false, {{5, 22, 0}, {6, -25, 0}}),
         {{IncidentKind::Swerve, 5000, 6000, 25 * 0.0315290179}}},
        {"a side blow is an impact, not also a swerve",
         {},
         shake(false, {{3, 60, 0}}),
         {{IncidentKind::Impact, 3000, 3000, 60 * 0.0315290179}}},
        {"the 10-bit scale",
         {},
         shake(true, {{4, 0, 200}, {8, 50, 0}, {12, 90, 0}}),
         {{IncidentKind::Impact, 4000, 4000, 200 * 0.0078822545},
          {IncidentKind::Swerve, 12000, 12000, 90 * 0.0078822545}}},
        {"values out of the sensor's range", {}, shake(false, {{7, 900, 0}, {9, 0, -300}}), {}},
        {"nothing at all", {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Incident> found = findIncidents(c.fixes, c.samples);
        ASSERT_EQ(found.size(), c.expected.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].kind, c.expected[i].kind);
            EXPECT_EQ(found[i].startMs, c.expected[i].startMs);
            EXPECT_EQ(found[i].endMs, c.expected[i].endMs);
            EXPECT_NEAR(found[i].peak, c.expected[i].peak, 0.01);
            EXPECT_GE(found[i].severity, 1.0);
        }
    }
}

TEST(IncidentDetector, SpeedsAroundAShockAndHugeStores) {
    // An impact while braking: the speeds before and after come from the nearest fixes.
    std::vector<CVOKAGPSData> fixes = drive({50, 50, 50, 30, 30, 30, 30, 30, 30, 30, 30});
    const std::vector<Incident> found = findIncidents(fixes, shake(false, {{2, 0, 52}}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].kind, IncidentKind::HardBraking);
    EXPECT_EQ(found[1].kind, IncidentKind::Impact);
    EXPECT_DOUBLE_EQ(found[1].speedBeforeKmh, 50);
    EXPECT_DOUBLE_EQ(found[1].speedAfterKmh, 30);

    // A million quiet samples and fixes: nothing, and no quadratic walk (this would not end).
    std::vector<GSensorSample> samples(1'000'000, GSensorSample{64, 64, 72, 1, 0});
    fixes = drive(std::vector<double>(1'000'000, 5));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i].timeMs = static_cast<std::int32_t>(i * 1000);
    }
    EXPECT_TRUE(findIncidents(fixes, samples).empty());

    // A third of a million knocks beside the million fixes: each gets its speeds by a search,
    // not by a walk of every fix (which would not end).
    for (std::size_t i = 0; i < samples.size(); i += 3) {
        samples[i].z = 72 + 50;
    }
    const std::vector<Incident> knocks = findIncidents(fixes, samples);
    ASSERT_EQ(knocks.size(), (samples.size() + 2) / 3);
    EXPECT_DOUBLE_EQ(knocks[1000].speedBeforeKmh, 5);
    EXPECT_DOUBLE_EQ(knocks[1000].speedAfterKmh, 5);
}

}  // namespace
}  // namespace qelv::events

namespace qelv::events {
namespace {

// A hostile file whose tables claim 4,194,304 records (4,096 chunks of 1,024, all over the
// same 1,024 records of a speed jumping between 60 and 0 km/h): a day's worth is read, and
// the rest is not read.
TEST(RecordingTrack, TablesClaimingMillionsOfRecordsAreReadOnlyADaysWorth) {
    constexpr std::uint32_t kRecordSize = 88;
    std::string data;
    for (int k = 0; k < 1024; ++k) {
        char text[kRecordSize];
        std::snprintf(text, sizeof text,
                      "G$GPRMC,120000.00,A,3700.%04d,N,12600.0000,E,%s,90.0,310124", k,
                      k % 2 == 0 ? "32.4" : "0.0");
        data += text + std::string(kRecordSize - std::strlen(text), '\0');
    }
    const std::string movie = test::telemetryMovie(
        data, kRecordSize, 4096 * 1024, std::vector<std::uint32_t>(4096, 0), {{1, 1024}});
    const std::vector<std::uint8_t> stored(movie.begin(), movie.end());
    core::MemorySource bytes(stored);
    const RecordingTrack track = readRecordingTrack(bytes);
    EXPECT_TRUE(track.problem.empty()) << track.problem;
    EXPECT_EQ(track.fixes.size(), kMostRecords);
    EXPECT_EQ(track.seconds, kMostRecords);
}

}  // namespace
}  // namespace qelv::events

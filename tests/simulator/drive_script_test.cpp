#include "simulator/drive_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

namespace qelv::sim {
namespace {

TEST(DriveScript, RecordsHaveTheRecordersShapes) {
    const auto drive = planDrive(30, 7);
    ASSERT_EQ(drive.size(), 30u);
    const LocalTime start{2024, 1, 1, 8, 30, 0};
    for (int s = 0; s < 30; ++s) {
        SCOPED_TRACE(s);
        const auto record = telemetryRecord(drive[static_cast<std::size_t>(s)], start, s);
        const std::string text(record.begin(), record.end());
        const std::size_t marker = text.find("QELVM");
        ASSERT_NE(marker, std::string::npos);
        EXPECT_EQ(marker + 16, record.size());  // the block closes the record
        EXPECT_LE(marker, 250u);                // the rebuild searches 256 bytes
        if (!drive[static_cast<std::size_t>(s)].fix) {
            EXPECT_EQ(text.rfind("GXYZ", 0), 0u);
            continue;
        }
        ASSERT_EQ(text.rfind("G$GPRMC,", 0), 0u);
        // UTC is nine hours before the recorder's local time: 08:30 local is 23:30 the day before.
        const std::string expected =
            "G$GPRMC," + std::string(s < 10 ? "23300" : "2330") + std::to_string(s) + ".00,A,";
        EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
        EXPECT_NE(text.find(",311223,"), std::string::npos) << text;
        // The NMEA checksum covers everything between "$" and "*".
        const std::size_t star = text.find('*');
        unsigned checksum = 0;
        for (std::size_t i = 2; i < star; ++i) {
            checksum ^= static_cast<unsigned char>(text[i]);
        }
        EXPECT_EQ(std::stoul(text.substr(star + 1, 2), nullptr, 16), checksum);
    }
}

TEST(DriveScript, TheCarMovesAndBrakesOnce) {
    const auto drive = planDrive(60, 3);
    EXPECT_FALSE(drive[0].fix);
    EXPECT_TRUE(drive[5].fix);
    EXPECT_NE(drive[10].latitude, drive[40].latitude);
    const auto peak = std::max_element(drive.begin(), drive.end(),
                                       [](const auto& a, const auto& b) { return a.gz < b.gz; });
    EXPECT_GE(peak->gz, 15);              // about half a g
    EXPECT_GE(peak - drive.begin(), 36);  // three seconds of braking from 36 s
    EXPECT_LE(peak - drive.begin(), 38);
    for (const auto& s : drive) {
        EXPECT_LT(s.gx, 128);
        EXPECT_NEAR(s.gy, 32, 5);  // gravity
    }
    // Same seed, same drive.
    EXPECT_EQ(planDrive(60, 3)[20].longitude, drive[20].longitude);
}

// The drive with planted incidents is the ground truth of the incident benchmark: it must have
// the troubles it promises and no hard braking but the planted.
TEST(DriveScript, ARealisticDriveHasItsTroublesAndOnlyThePlantedIncidents) {
    const DrivePlan plan = planDrive(60, 5, {true, 3});
    ASSERT_EQ(plan.seconds.size(), 60u);
    ASSERT_EQ(plan.incidents.size(), 3u);
    std::set<PlantedKind> kinds;
    for (std::size_t i = 0; i < plan.incidents.size(); ++i) {
        kinds.insert(plan.incidents[i].kind);
        EXPECT_GE(plan.incidents[i].second, 5);
        EXPECT_LE(plan.incidents[i].second + plan.incidents[i].seconds, 58);
        if (i > 0) {
            EXPECT_GE(plan.incidents[i].second - plan.incidents[i - 1].second, 8);
        }
    }
    EXPECT_EQ(kinds.size(), 3u);
    const auto km = [](const DriveSecond& a, const DriveSecond& b) {
        return std::hypot(a.latitude - b.latitude, (a.longitude - b.longitude) * 0.79) * 111.2;
    };
    int lost = 0, jumps = 0;
    for (std::size_t t = 1; t + 1 < plan.seconds.size(); ++t) {
        const DriveSecond& s = plan.seconds[t];
        lost += s.lost ? 1 : 0;
        jumps += km(plan.seconds[t - 1], s) > 2 && km(s, plan.seconds[t + 1]) > 2 ? 1 : 0;
        if (s.lost) {
            const auto record = telemetryRecord(s, {}, static_cast<int>(t));
            EXPECT_NE(std::string(record.begin(), record.end()).find(".00,V,,,,,,,"),
                      std::string::npos);
        }
    }
    EXPECT_GE(lost, 2);
    EXPECT_EQ(jumps, 1);
    // Between the good fixes a second apart, the speed falls fast only where braking was planted.
    for (std::size_t t = 3; t < plan.seconds.size(); ++t) {
        const DriveSecond &a = plan.seconds[t - 1], &b = plan.seconds[t];
        const bool good = !a.lost && !b.lost && a.speedKmh < 400 && b.speedKmh < 400 &&
                          km(a, b) < 1 && a.speedKmh >= 10;
        const bool braking =
            std::any_of(plan.incidents.begin(), plan.incidents.end(), [&](auto& i) {
                return i.kind == PlantedKind::Braking && static_cast<int>(t) > i.second &&
                       static_cast<int>(t) <= i.second + i.seconds;
            });
        if (good) {
            EXPECT_EQ(a.speedKmh - b.speedKmh >= 12, braking) << "second " << t;
        }
    }
    EXPECT_TRUE(planDrive(60, 5, {true, 0}).incidents.empty());
    EXPECT_EQ(planDrive(20, 5, {true, 4}).incidents.size(), 1u);  // as many as fit
}

TEST(DriveScript, AddSecondsCarriesTheCalendar) {
    const LocalTime t = addSeconds({2024, 2, 28, 23, 59, 30}, 24 * 3600 + 45);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.second, 15);
}

}  // namespace
}  // namespace qelv::sim

#include "simulator/drive_script.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The names the snapshot dialog proposes and the files each camera's picture goes to.
#include "storage/snapshot_name.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace qelv::core {
namespace {

const SnapshotSource kRecording{"/media/card/NOR/FRONT/20240131_235958_2CH_N_F.mp4",
                                "20240131_235958_2CH_N_F.mp4", 0, 0};

FileTime utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return fileTimeFromUnix(timegm(&tm), 0);
}

TEST(SnapshotName, NeitherSwitchProposesTheRecordingsOwnNameAndFolder) {
    const std::string proposed = proposedSnapshotName(kRecording, false, false);
    EXPECT_EQ(proposed, "/media/card/NOR/FRONT/20240131_235958_2CH_N_F_CHx.jpg");
    EXPECT_EQ(snapshotChannelPath(proposed, 0),
              "/media/card/NOR/FRONT/20240131_235958_2CH_N_F_CH(#1).jpg");
    EXPECT_EQ(snapshotChannelPath(proposed, 1),
              "/media/card/NOR/FRONT/20240131_235958_2CH_N_F_CH(#2).jpg");
    EXPECT_EQ(snapshotChannelPath(proposed, 2),
              "/media/card/NOR/FRONT/20240131_235958_2CH_N_F_CH(#3).jpg");
}

// The file name's time plus the position, across midnight and the end of the month.
TEST(SnapshotName, PositionIsAddedToTheFileNamesTime) {
    struct Case {
        std::string name;
        std::uint64_t positionMs;
        std::string proposed;
    };
    const Case cases[] = {
        {"20240131_235958_2CH_N_F.mp4", 65'000, "20240201_000103_CHx.jpg"},
        {"20241231_235959_1CH_E_F.mp4", 1'999, "20250101_000000_CHx.jpg"},
        {"20240228_235959_1CH_E_F.mp4", 1'000, "20240229_000000_CHx.jpg"},  // a leap year
        {"CAM_20240131_120000_1CH_N_F.mp4", 0, "20240131_120000_CHx.jpg"},  // after the "_"
        {"20240231_120000_1CH_N_F.mp4", 0, "_CHx.jpg"},                     // no such date
        {"2024.mp4", 0, "_CHx.jpg"},                                        // too short
        {"recording_1.mp4", 0, "_CHx.jpg"},                                 // no date at all
    };
    for (const Case& c : cases) {
        SnapshotSource source{"/card/" + c.name, c.name, 0, c.positionMs};
        EXPECT_EQ(proposedSnapshotName(source, false, true), c.proposed) << c.name;
    }
}

// The creation time with only the daylight-saving shift, and the position when addpos is set.
TEST(SnapshotName, CreationTimeTakesOnlyTheDaylightShift) {
    SnapshotSource source = kRecording;
    source.creationTime = utc(2024, 7, 1, 12, 0, 0);
    source.positionMs = 61'500;
    const DaylightShift summer = [](std::int64_t) { return 3600; };
    const DaylightShift none = [](std::int64_t) { return 0; };
    EXPECT_EQ(proposedSnapshotName(source, true, false, summer), "20240701_130000_CHx.jpg");
    EXPECT_EQ(proposedSnapshotName(source, true, false, none), "20240701_120000_CHx.jpg");
    EXPECT_EQ(proposedSnapshotName(source, true, true, none), "20240701_120101_CHx.jpg");
}

// A zone's standard offset never moves the time; its summer time does.
TEST(SnapshotName, DaylightShiftOfTheMachinesZone) {
    const char* before = std::getenv("TZ");
    const std::string saved = before != nullptr ? before : "";
    const auto unix = [](FileTime t) { return unixSecondsFromFileTime(t); };
    setenv("TZ", "Europe/Berlin", 1);
    EXPECT_EQ(localDaylightShift(unix(utc(2024, 7, 1, 12, 0, 0))), 3600);
    EXPECT_EQ(localDaylightShift(unix(utc(2024, 1, 15, 12, 0, 0))), 0);
    setenv("TZ", "Asia/Seoul", 1);
    EXPECT_EQ(localDaylightShift(unix(utc(2024, 7, 1, 12, 0, 0))), 0);
    // Its data calls the Irish summer time standard and the winter time the saving one: the
    // summer hour is still the shift.
    setenv("TZ", "Europe/Dublin", 1);
    EXPECT_EQ(localDaylightShift(unix(utc(2024, 7, 1, 12, 0, 0))), 3600);
    EXPECT_EQ(localDaylightShift(unix(utc(2024, 1, 15, 12, 0, 0))), 0);
    setenv("TZ", "America/Sao_Paulo", 1);  // daylight saving in the southern summer, until 2019
    EXPECT_EQ(localDaylightShift(unix(utc(2018, 12, 1, 12, 0, 0))), 3600);
    EXPECT_EQ(localDaylightShift(unix(utc(2018, 7, 1, 12, 0, 0))), 0);
    if (before != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// Whatever the user types, its last five characters give way to the camera's marker.
TEST(SnapshotName, ChosenNamesLoseTheirLastFiveCharacters) {
    EXPECT_EQ(snapshotChannelPath("/home/me/crash.jpg", 0), "/home/me/cras(#1).jpg");
    EXPECT_EQ(snapshotChannelPath("/home/me/crash_CHx.jpg", 2), "/home/me/crash_CH(#3).jpg");
    EXPECT_EQ(snapshotChannelPath("a.jp", 0), "(#1).jpg");
    // A short name gives way, its folder does not.
    EXPECT_EQ(snapshotChannelPath("/tmp/out/pic", 1), "/tmp/out/(#2).jpg");
    // Characters of any script count as one each, however many bytes they take.
    EXPECT_EQ(snapshotChannelPath("/home/me/\u56fe\u7247.jpg", 1), "/home/me/\u56fe(#2).jpg");
    EXPECT_EQ(snapshotChannelPath("/home/me/Fahrt_\u20ac\u00e4.jpg", 0),
              "/home/me/Fahrt_\u20ac(#1).jpg");
    EXPECT_EQ(snapshotChannelPath("\u00e4\u00e4.jp", 2), "(#3).jpg");
}

}  // namespace
}  // namespace qelv::core

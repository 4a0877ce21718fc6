#include "storage/recording_name.h"

#include <gtest/gtest.h>

namespace qelv::core {
namespace {

using Cat = RecordingCategory;
constexpr std::optional<Cat> kNone = std::nullopt;

TEST(RecordingName, ParsesEveryField) {
    struct Case {
        const char* name;
        const char* date;
        const char* time;
        int channels;
        std::optional<Cat> category;
        std::optional<Cat> listCategory;
        const char* typeText;
        CameraChannel camera;
        bool companion;
    };
    const Case cases[] = {
        {"20240131_235958_2CH_N_F.mp4", "2024-01-31", "23:59:58", 2, Cat::Normal, Cat::Normal,
         "NOR", CameraChannel::Front, false},
        {"20240131_235958_2CH_N_R1.mp4", "2024-01-31", "23:59:58", 2, Cat::Normal, Cat::Normal,
         "NOR", CameraChannel::Rear, true},
        {"20240229_000000_3CH_E_R2.mp4", "2024-02-29", "00:00:00", 3, Cat::Event, Cat::Event, "EVT",
         CameraChannel::Rear, true},
        {"20231105_101010_1CH_P_F.mp4", "2023-11-05", "10:10:10", 1, Cat::Parking, Cat::Parking,
         "MOT", CameraChannel::Front, false},
        {"20231105_101010_2CH_U_F.mp4", "2023-11-05", "10:10:10", 2, Cat::User, Cat::User, "USR",
         CameraChannel::Front, false},
        // A short time field reads as a number: 5 is 00:00:05.
        {"20240131_5_1CH_N_F.mp4", "2024-01-31", "00:00:05", 1, Cat::Normal, Cat::Normal, "NOR",
         CameraChannel::Front, false},
        // No category letter: shown as NONE, filtered as normal, absent from the full listing.
        {"20240131_120000_2CH_X_F.mp4", "2024-01-31", "12:00:00", 2, kNone, kNone, "NONE",
         CameraChannel::Front, false},
        // The letter rule tests N first wherever it stands; the underscore rule needs "_E_".
        {"NIGHT_20240131_E_F.mp4", "0000-00-00", "2024:01:31", 0, Cat::Normal, Cat::Event, "NOR",
         CameraChannel::Front, false},
        // Lower-case letters never count, so the extension cannot make a category.
        {"20240131_120000_2ch_x_f.mp4", "2024-01-31", "12:00:00", 0, kNone, kNone, "NONE",
         CameraChannel::None, false},
        {"", "0000-00-00", "00:00:00", 0, kNone, kNone, "NONE", CameraChannel::None, false},
        {"readme.txt", "0000-00-00", "00:00:00", 0, kNone, kNone, "NONE", CameraChannel::None,
         false},
        // Field 4 must be exactly R1.mp4 or R2.mp4 to make a companion file.
        {"20240131_235958_2CH_N_R1.MP4", "2024-01-31", "23:59:58", 2, Cat::Normal, Cat::Normal,
         "NOR", CameraChannel::Rear, false},
        // A signed field reads as C reads it, and is shown as printf shows it.
        {"20240131_-5_1CH_N_F.mp4", "2024-01-31", "00:00:-5", 1, Cat::Normal, Cat::Normal, "NOR",
         CameraChannel::Front, false},
        {"99999999999_999999999999_3CH2CH_E_F.mp4", "214748-36-47", "214748:36:47", 3, Cat::Event,
         Cat::Event, "EVT", CameraChannel::Front, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordingName name = parseRecordingName(c.name);
        EXPECT_EQ(name.dateText(), c.date);
        EXPECT_EQ(name.timeText(), c.time);
        EXPECT_EQ(name.channels, c.channels);
        EXPECT_EQ(name.category, c.category);
        EXPECT_EQ(name.listCategory, c.listCategory);
        EXPECT_EQ(name.typeText(), c.typeText);
        EXPECT_EQ(name.camera, c.camera);
        EXPECT_EQ(name.companionFile, c.companion);
    }
}

TEST(RecordingName, NoLetterIsFilteredAsNormal) {
    EXPECT_EQ(parseRecordingName("20240131_120000_2CH_X_F.mp4").filterCategory(), Cat::Normal);
    EXPECT_EQ(parseRecordingName("20240131_120000_2CH_P_F.mp4").filterCategory(), Cat::Parking);
}

TEST(RecordingName, Fields) {
    EXPECT_EQ(nameField("a_b_c_d_e.mp4", 0), "a");
    EXPECT_EQ(nameField("a_b_c_d_e.mp4", 4), "e.mp4");
    EXPECT_EQ(nameField("a_b", 2), "");
    EXPECT_EQ(nameField("a__c", 1), "");
    EXPECT_EQ(nameField("a_b_c_d_e_f", 4), "e");
}

TEST(CompanionPaths, PairsFrontFilesWithTheirCameras) {
    struct Case {
        const char* front;
        const char* second;  // nullptr: none
        const char* third;
    };
    const Case cases[] = {
        {"/media/card/NOR/FRONT/20240131_235958_2CH_N_F.mp4",
         "/media/card/NOR/REAR/20240131_235958_2CH_N_R1.mp4", nullptr},
        {"/media/card/EVT/FRONT/20240131_235958_3CH_E_F.mp4",
         "/media/card/EVT/REAR/20240131_235958_3CH_E_R1.mp4",
         "/media/card/EVT/REAR/20240131_235958_3CH_E_R2.mp4"},
        {"/media/card/NOR/FRONT/20240131_235958_1CH_N_F.mp4", nullptr, nullptr},
        // A user's own folder names are left alone; only the holding folder and the name change.
        {"/home/ana/Dash_Footage/FRONT/20240131_235958_2CH_N_F.mp4",
         "/home/ana/Dash_Footage/REAR/20240131_235958_2CH_N_R1.mp4", nullptr},
        {"/home/FRONT/clips/20240131_235958_2CH_N_F.mp4",
         "/home/FRONT/clips/20240131_235958_2CH_N_R1.mp4", nullptr},
        {"/home/ana/MYFRONT/20240131_235958_2CH_N_F.mp4",
         "/home/ana/MYFRONT/20240131_235958_2CH_N_R1.mp4", nullptr},
        {"FRONT/20240131_235958_2CH_N_F.mp4", "REAR/20240131_235958_2CH_N_R1.mp4", nullptr},
        {"20240131_235958_2CH_N_F.mp4", "20240131_235958_2CH_N_R1.mp4", nullptr},
        // Field 4 other than F.mp4: the companions are the front path itself.
        {"/c/NOR/FRONT/20240131_235958_3CH_N_F.avi", "/c/NOR/FRONT/20240131_235958_3CH_N_F.avi",
         "/c/NOR/FRONT/20240131_235958_3CH_N_F.avi"},
        {"/c/NOR/REAR/20240131_235958_2CH_N_R1.mp4", "/c/NOR/REAR/20240131_235958_2CH_N_R1.mp4",
         nullptr},
        {"", nullptr, nullptr},
        {"/", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.front);
        const CompanionPaths paths = companionPathsOf(c.front);
        EXPECT_EQ(paths.second, c.second ? std::optional<std::string>(c.second) : std::nullopt);
        EXPECT_EQ(paths.third, c.third ? std::optional<std::string>(c.third) : std::nullopt);
    }
}

}  // namespace
}  // namespace qelv::core

// Worked by hand: 2024-01-31 is 19753 days after 1970-01-01; 2024-02-29 is a leap day.
TEST(RecordingName, StartSecondsAndClockText) {
    struct Case {
        const char* name;
        std::optional<std::int64_t> seconds;
        const char* text;
    };
    const Case cases[] = {
        {"20240131_120005_2CH_N_F.mp4", 19753LL * 86400 + 43205, "2024-01-31 12:00:05"},
        {"20240229_235959_1CH_E_F.mp4", 19782LL * 86400 + 86399, "2024-02-29 23:59:59"},
        {"19700101_000000_1CH_N_F.mp4", 0, "1970-01-01 00:00:00"},
        {"19691231_235959_1CH_N_F.mp4", -1, "1969-12-31 23:59:59"},
        {"20241301_120000_1CH_N_F.mp4", std::nullopt, nullptr},  // month 13
        {"20240100_120000_1CH_N_F.mp4", std::nullopt, nullptr},  // day 0
        {"20240131_246000_1CH_N_F.mp4", std::nullopt, nullptr},  // hour 24
        {"clip.mp4", std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::int64_t> seconds = qelv::core::startSecondsOf(c.name);
        EXPECT_EQ(seconds, c.seconds) << c.name;
        if (seconds && c.text != nullptr) {
            EXPECT_EQ(qelv::core::recorderClockText(*seconds), c.text) << c.name;
        }
    }
}

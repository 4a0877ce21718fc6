// The recorder's settings file as the settings dialog and `qelv settings` edit it: read from
// the card, created when missing, choices shown and made, saved whole.
#include "tools/recorder_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using test::readFile;
using test::TempDir;

// The file the recorder would write with its defaults.
std::string defaultFile() {
    std::string text;
    for (const RecorderSettingKey& key : kRecorderSettingKeys) {
        text += std::string(key.name) + "=" + std::to_string(key.defaultValue) + "\r\n";
    }
    return text;
}

class RecorderSettingsTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return dir.path() / "SETUP" / "setup.ini"; }
    void writeCard(const std::string& text) {
        std::filesystem::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << text;
    }
    int shown(std::string_view key) const {
        for (const ChoiceGroup& group : kChoiceGroups) {
            if (group.key == key) {
                return settings.shownChoice(group);
            }
        }
        return -1;
    }

    TempDir dir;
    std::ostringstream diag;
    RecorderSettingsFile settings{diag};
};

TEST_F(RecorderSettingsTest, AMissingFileIsWrittenWithTheDefaultsInOrderAtTheFirstSave) {
    EXPECT_EQ(settings.open(dir.path()), "");
    EXPECT_FALSE(settings.existed());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "SETUP"));  // opening writes nothing
    EXPECT_EQ(settings.shownScreenChoice(), 36);                  // the clock after 30 seconds
    EXPECT_EQ(settings.shownTimeZone(), 23);
    EXPECT_EQ(settings.save(), "");
    EXPECT_EQ(readFile(file()), defaultFile());
}

TEST_F(RecorderSettingsTest, OneLineFileShowsItAndDefaultsAndSavesEveryKey) {
    writeCard("LCD_BR_LV=0\r\n");
    EXPECT_EQ(settings.open(dir.path()), "");
    EXPECT_TRUE(settings.existed());
    EXPECT_EQ(readFile(file()), "LCD_BR_LV=0\r\n");  // opening an existing file writes nothing
    EXPECT_EQ(shown("LCD_BR_LV"), 0);                // brightness level 1
    EXPECT_EQ(shown("GSENSOR_LV"), 4);               // middle, the default
    EXPECT_TRUE(settings.isShown(0));
    EXPECT_FALSE(settings.isShown(2));
    EXPECT_EQ(settings.save(), "");
    std::string expected = defaultFile();
    expected.replace(expected.find("LCD_BR_LV=2"), 11, "LCD_BR_LV=0");
    EXPECT_EQ(readFile(file()), expected);
}

TEST_F(RecorderSettingsTest, TheScreenGroupReadsTwoKeys) {
    struct Case {
        const char* file;
        int choice;
        std::int32_t timeout;  // in memory after opening
        std::int32_t clock;
    };
    const Case cases[] = {
        {"LCD_OFF_DUR=-1\nSCREEN_SAVER_EN=0\n", 35, -1, 0},
        {"LCD_OFF_DUR=180\nSCREEN_SAVER_EN=0\n", 34, 180, 0},
        {"LCD_OFF_DUR=60\nSCREEN_SAVER_EN=0\n", 33, 30, 0},
        {"LCD_OFF_DUR=180\nSCREEN_SAVER_EN=1\n", 36, 30, 1},
        // A switch value the recorder never writes: the default row, the values kept.
        {"LCD_OFF_DUR=180\nSCREEN_SAVER_EN=7\n", 36, 180, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        writeCard(c.file);
        RecorderSettingsFile opened(diag);
        ASSERT_EQ(opened.open(dir.path()), "");
        EXPECT_EQ(opened.shownScreenChoice(), c.choice);
        EXPECT_EQ(opened.value("LCD_OFF_DUR"), c.timeout);
        EXPECT_EQ(opened.value("SCREEN_SAVER_EN"), c.clock);
    }
}

TEST_F(RecorderSettingsTest, ChoicesSetTheirKeys) {
    ASSERT_EQ(settings.open(dir.path()), "");
    struct Case {
        int choice;
        std::string_view key;
        std::int32_t value;
    };
    const Case cases[] = {
        {29, "VOLT_CUT_ID", 4},  {36, "LCD_OFF_DUR", 30},    {36, "SCREEN_SAVER_EN", 1},
        {35, "LCD_OFF_DUR", -1}, {35, "SCREEN_SAVER_EN", 0}, {5, "GSENSOR_LV", 2},
        {38, "DST_EN", 1},       {37, "DST_EN", 0},          {32, "VOLUME_LV", 2},
        {21, "PARK_LED_EN", 0},  {24, "PARK_EN", 1},         {14, "FVSA_EN", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        settings.choose(c.choice);
        EXPECT_EQ(settings.value(c.key), c.value);
        EXPECT_TRUE(settings.isShown(c.choice));
    }
    // Save, Close and numbers beyond change nothing.
    const std::string before = readFile(file());
    for (int n : {39, 40, 41, -1, 1000}) {
        settings.choose(n);
    }
    EXPECT_EQ(settings.value("VOLT_CUT_ID"), 4);
    EXPECT_EQ(readFile(file()), before);  // nothing reaches the card before a save
}

TEST_F(RecorderSettingsTest, ValuesOutsideTheirGroupShowTheDefaultAndStayUntilChanged) {
    writeCard("BOARD_VERSION=1\nLCD_BR_LV=5\nGMT_ID=99\nVOLUME_LV=-3\n");
    ASSERT_EQ(settings.open(dir.path()), "");
    EXPECT_EQ(shown("LCD_BR_LV"), 2);  // level 3, the default; not "G Sensor low"
    EXPECT_FALSE(settings.isShown(3));
    EXPECT_EQ(shown("VOLUME_LV"), 31);
    EXPECT_EQ(settings.shownTimeZone(), 23);
    ASSERT_EQ(settings.save(), "");
    const std::string saved = readFile(file());
    for (const char* line :
         {"BOARD_VERSION=1\r\n", "LCD_BR_LV=5\r\n", "GMT_ID=99\r\n", "VOLUME_LV=-3\r\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    }
    settings.choose(1);
    settings.chooseTimeZone(5);
    ASSERT_EQ(settings.save(), "");
    EXPECT_NE(readFile(file()).find("LCD_BR_LV=1\r\nLCD_OFF_DUR"), std::string::npos);
    EXPECT_NE(readFile(file()).find("GMT_ID=5\r\n"), std::string::npos);
}

TEST_F(RecorderSettingsTest, SettingByNameFollowsTheChoices) {
    ASSERT_EQ(settings.open(dir.path()), "");
    struct Case {
        std::string_view key;
        std::int32_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"LCD_BR_LV", 1, true},        {"LCD_BR_LV", 3, false},     {"VOLT_CUT_ID", 4, true},
        {"VOLT_CUT_ID", 5, false},     {"GMT_ID", 47, true},        {"GMT_ID", 48, false},
        {"GMT_ID", -1, false},         {"LCD_OFF_DUR", 180, true},  {"LCD_OFF_DUR", 60, false},
        {"SCREEN_SAVER_EN", 2, false}, {"BOARD_VERSION", 2, false}, {"NO_SUCH_KEY", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + std::to_string(c.value));
        const auto before = settings.value(c.key);
        const std::string problem = settings.set(c.key, c.value);
        EXPECT_EQ(problem.empty(), c.accepted) << problem;
        EXPECT_EQ(settings.value(c.key), c.accepted ? std::optional(c.value) : before);
    }
    // The time-out turns the clock off; the clock switch keeps a time-out it can.
    EXPECT_EQ(settings.value("SCREEN_SAVER_EN"), 0);
    EXPECT_EQ(settings.set("SCREEN_SAVER_EN", 1), "");
    EXPECT_EQ(settings.value("LCD_OFF_DUR"), 30);
    EXPECT_EQ(settings.set("LCD_OFF_DUR", -1), "");
    EXPECT_EQ(settings.set("SCREEN_SAVER_EN", 0), "");
    EXPECT_EQ(settings.value("LCD_OFF_DUR"), -1);
}

TEST_F(RecorderSettingsTest, AFailedSaveNamesTheFileAndKeepsTheOldOne) {
    writeCard("LCD_BR_LV=0\r\n");
    ASSERT_EQ(settings.open(dir.path()), "");
    settings.choose(2);
    ::chmod(file().c_str(), 0444);
    const std::string problem = settings.save();
    EXPECT_NE(problem.find(file().string()), std::string::npos) << problem;
    EXPECT_EQ(readFile(file()), "LCD_BR_LV=0\r\n");
    // A card whose SETUP is a file: no folder, a message, the defaults shown.
    const TempDir broken;
    std::ofstream(broken.path() / "SETUP") << "not a folder";
    RecorderSettingsFile other(diag);
    EXPECT_NE(other.open(broken.path()), "");
    EXPECT_EQ(other.value("LCD_BR_LV"), 2);
    EXPECT_NE(other.save(), "");
    EXPECT_EQ(readFile(broken.path() / "SETUP"), "not a folder");
}

TEST_F(RecorderSettingsTest, NothingIsWrittenWhereNoCardIs) {
    // A card pulled out after opening: its folder must not be made again on the PC's disk.
    const auto card = dir.path() / "card";
    std::filesystem::create_directories(card);
    ASSERT_EQ(settings.open(card), "");
    std::filesystem::remove_all(card);
    EXPECT_NE(settings.save().find("is not there"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(card));
    // No card folder at all (a WyFS card) and a folder that is not there.
    for (const std::filesystem::path& root : {std::filesystem::path(), dir.path() / "gone"}) {
        RecorderSettingsFile other(diag);
        EXPECT_NE(other.open(root), "") << root;
        EXPECT_NE(other.save(), "") << root;
        EXPECT_FALSE(std::filesystem::exists(root / "SETUP")) << root;
    }
    // A file far larger than the recorder ever writes is not read, nor replaced unasked.
    writeCard(std::string(100000, '#'));
    RecorderSettingsFile large(diag);
    EXPECT_NE(large.open(dir.path()).find("too large"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(file()), 100000u);
}

// A card taken out leaves its mount point, an empty folder on the PC's own disk. Here the card
// lies in /dev/shm and its mount point is first a link to it, then an empty folder.
TEST_F(RecorderSettingsTest, ASaveAfterTheCardWasTakenOutWritesNothing) {
    std::string onCard = "/dev/shm/qelv-test-XXXXXX";
    ASSERT_NE(::mkdtemp(onCard.data()), nullptr);
    const std::shared_ptr<void> cleanup(nullptr,
                                        [&](void*) { std::filesystem::remove_all(onCard); });
    struct stat card {
    }, pc{};
    if (::stat(onCard.c_str(), &card) != 0 || ::stat(dir.path().c_str(), &pc) != 0 ||
        card.st_dev == pc.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    const auto mountPoint = dir.path() / "card";
    std::filesystem::create_directory_symlink(onCard, mountPoint);
    ASSERT_EQ(settings.open(mountPoint), "");
    std::filesystem::remove(mountPoint);
    std::filesystem::create_directory(mountPoint);
    EXPECT_NE(settings.save().find(mountPoint.string() + " is no longer on the card"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(mountPoint));
}

// A recorder's card holds no links; one in the place of SETUP or setup.ini leads off the card.
TEST_F(RecorderSettingsTest, LinksInTheFilesPlaceAreNeitherReadNorWrittenThrough) {
    const TempDir outside;
    for (const std::string content : {"", "LCD_BR_LV=0\r\n"}) {
        if (!content.empty()) {
            outside.write("setup.ini", content);
        }
        for (const std::string link : {"SETUP/setup.ini", "SETUP"}) {
            SCOPED_TRACE(link + " " + content);
            std::filesystem::remove_all(dir.path() / "SETUP");
            writeCard("");
            std::filesystem::remove_all(dir.path() / link);
            std::filesystem::create_symlink(outside.path() / (link == "SETUP" ? "" : "setup.ini"),
                                            dir.path() / link);
            RecorderSettingsFile other(diag);
            EXPECT_NE(other.open(dir.path()).find("symbolic link"), std::string::npos);
            EXPECT_EQ(other.value("LCD_BR_LV"), 2);
            EXPECT_NE(other.save().find("symbolic link"), std::string::npos);
            EXPECT_EQ(readFile(outside.path() / "setup.ini"), content);
            EXPECT_EQ(std::filesystem::is_empty(outside.path()), content.empty());
        }
    }
}

TEST(TimeZones, FortyEightNamesInIndexOrder) {
    EXPECT_EQ(kTimeZoneNames[0], "(GMT+0) Greenwich Mean Time: Lisbon, London");
    EXPECT_EQ(kTimeZoneNames[23], "(GMT+9) Seoul, Tokyo, Yakutsk");
    EXPECT_EQ(kTimeZoneNames[47], "(GMT-1) Azores, Cape Verde Islands");
    for (std::string_view name : kTimeZoneNames) {
        EXPECT_TRUE(name.starts_with("(GMT")) << name;
    }
}

}  // namespace
}  // namespace qelv::core

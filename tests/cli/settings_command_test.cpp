// `qelv settings`: a script reads and changes a card's recorder settings with the dialog's
// rules, and a refused change leaves the card as it was.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace qelv::test {
namespace {

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

TEST(QelvSettings, PrintsSetsAndRefuses) {
    const TempDir card;
    const auto file = card.path() / "SETUP" / "setup.ini";
    // Printing a card without the file writes nothing and shows the defaults.
    CliRun run = runQelv("settings " + quoted(card.path()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"existed\": false"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"GMT_ID\": 23"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(card.path() / "SETUP"));

    // A refused value (or a key the recorder does not have) writes nothing.
    for (const char* refused : {"LCD_BR_LV=3", "GMT_ID=48", "LCD_OFF_DUR=60", "NOPE=1",
                                "BOARD_VERSION=1", "LCD_BR_LV=1x", "LCD_BR_LV="}) {
        SCOPED_TRACE(refused);
        run = runQelv("settings " + quoted(card.path()) + " LCD_BR_LV=1 " + refused);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_FALSE(run.err.empty());
        EXPECT_FALSE(std::filesystem::exists(file));
    }

    run = runQelv("settings " + quoted(card.path()) + " LCD_BR_LV=0 VOLT_CUT_ID=4 LCD_OFF_DUR=-1");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The lines the save wrote are echoed on standard error; standard output is the JSON alone.
    EXPECT_NE(run.err.find("BOARD_VERSION=0\nLCD_BR_LV=0\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    const std::string written = readFile(file);
    EXPECT_EQ(written.find("BOARD_VERSION=0\r\nLCD_BR_LV=0\r\nLCD_OFF_DUR=-1\r\nSCREEN_SAVER_EN=0"),
              0u)
        << written;
    EXPECT_NE(written.find("VOLT_CUT_ID=4\r\n"), std::string::npos);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 18);

    // A key the recorder does not know is named on standard error, unless --quiet.
    std::ofstream(file, std::ios::app) << "FOO=1\r\n";
    run = runQelv("settings " + quoted(card.path()));
    EXPECT_EQ(run.err, "INI ITEM <FOO> is not registered! Ignore it.\n");
    EXPECT_EQ(runQelv("settings --quiet " + quoted(card.path())).err, "");
    std::ofstream(file, std::ios::binary) << written;

    // Reading it back: the same values, and the file is not touched.
    run = runQelv("settings " + quoted(card.path()) + " --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"existed\": true"), std::string::npos);
    EXPECT_NE(run.out.find("\"LCD_OFF_DUR\": -1"), std::string::npos) << run.out;
    EXPECT_EQ(readFile(file), written);

    // A card that cannot be written says so and keeps its file.
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    run = runQelv("settings " + quoted(card.path()) + " DST_EN=0");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(file.string()), std::string::npos) << run.err;
    EXPECT_EQ(readFile(file), written);

    // A link in the file's place is not followed off the card.
    std::filesystem::remove(file);
    std::filesystem::create_symlink(card.path() / "elsewhere.ini", file);
    run = runQelv("settings " + quoted(card.path()) + " DST_EN=0");
    EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(card.path() / "elsewhere.ini"));

    run = runQelv("settings " + quoted(card.path() / "missing"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("is not a folder"), std::string::npos);
}

}  // namespace
}  // namespace qelv::test

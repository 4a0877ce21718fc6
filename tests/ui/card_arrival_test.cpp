// A recorder card put in while the viewer runs: offered once, listed on Yes, never for cards
// that were there at start, for folders without a recorder's layout, or when switched off.
#include "storage/ui/card_arrival.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CardArrival;

core::SourceDrive fat(const std::filesystem::path& root, const std::string& device) {
    return {0, root.string() + "/", device, core::SourceKind::FatDrive};
}

class CardArrivalTest : public ::testing::Test {
protected:
    CardArrivalTest() : settings(profile.filePath(QStringLiteral("p.ini")), QSettings::IniFormat) {
        std::filesystem::create_directories(recorder.path() / "NOR" / "FRONT");
        std::filesystem::create_directories(other.path() / "Photos");
    }
    std::unique_ptr<CardArrival> watch() {
        return std::make_unique<CardArrival>(
            nullptr, settings, [this] { return drives; },
            [](const core::SourceDrive& drive) {
                return ui::holdsRecorderLayout(drive, {"NOR", "EVT", "MOT", "USR"});
            },
            [this](const core::SourceDrive& drive) { opened.push_back(drive.devicePath); });
    }

    QTemporaryDir profile;
    QSettings settings;
    TempDir recorder;
    TempDir other;
    std::vector<core::SourceDrive> drives{
        {-1, "Find in My Computer", {}, core::SourceKind::PcFolder}};
    std::vector<std::string> opened;
    MessageBoxSpy boxes;
};

TEST_F(CardArrivalTest, ANewRecorderCardIsOfferedAndListedOnYes) {
    drives.push_back(fat(other.path(), "/dev/sdb1"));  // there at start: never offered
    auto arrival = watch();
    boxes.answer = ui::kIdYes;
    arrival->drivesChanged();
    EXPECT_TRUE(boxes.boxes.empty());

    drives.push_back(fat(recorder.path(), "/dev/sdc1"));
    arrival->drivesChanged();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "Recorder card found: open its recordings?");
    EXPECT_EQ(opened, (std::vector<std::string>{"/dev/sdc1"}));
    arrival->drivesChanged();  // still there: not offered again
    EXPECT_EQ(boxes.boxes.size(), 1u);

    // Taken out and put in again: offered again; No lists nothing.
    drives.pop_back();
    arrival->drivesChanged();
    drives.push_back(fat(recorder.path(), "/dev/sdc1"));
    boxes.answer = ui::kIdNo;
    arrival->drivesChanged();
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(CardArrivalTest, OnlyRecorderCardsAndOnlyWhenSwitchedOn) {
    auto arrival = watch();
    boxes.answer = ui::kIdYes;
    // A stick without the recorder's folders is no recorder card.
    drives.push_back(fat(other.path(), "/dev/sdb1"));
    arrival->drivesChanged();
    EXPECT_TRUE(boxes.boxes.empty());
    // A WyFS card always holds the recorder's layout.
    drives.push_back({1, "/dev/sdd (WYFS)", "/dev/sdd", core::SourceKind::WyfsDrive});
    arrival->drivesChanged();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    // Switched off: nothing is asked.
    settings.setValue(QString::fromLatin1(CardArrival::kSettingKey), false);
    drives.push_back(fat(recorder.path(), "/dev/sdc1"));
    arrival->drivesChanged();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(opened, (std::vector<std::string>{"/dev/sdd"}));
}

}  // namespace
}  // namespace qelv::test

// A recorder card put in while the viewer runs: offered once, listed on Yes, never for cards
// that were there at start, for folders without a recorder's layout, or when switched off.
#include "storage/ui/card_arrival.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "platform/drive_discovery.h"
#include "platform/mount_watch.h"
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

// A card keeps being the same card when another drive before it in the list comes or goes
// (its number in the list changes); a card pulled while the question is up is not opened and
// is offered again when it comes back.
TEST_F(CardArrivalTest, AnotherDriveComingOrACardLeavingDuringTheQuestion) {
    auto arrival = watch();
    boxes.answer = ui::kIdNo;
    core::SourceDrive card = fat(recorder.path(), "/dev/sdc1");
    card.driveIndex = 0;
    drives.insert(drives.begin(), card);
    arrival->drivesChanged();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    // A stick sorts before the card: the card is now number 1, still not new.
    drives.insert(drives.begin(),
                  {0, other.path().string() + "/", "/dev/sdb1", core::SourceKind::FatDrive});
    drives[1].driveIndex = 1;
    arrival->drivesChanged();
    drives.erase(drives.begin());
    drives[0].driveIndex = 0;
    arrival->drivesChanged();
    EXPECT_EQ(boxes.boxes.size(), 1u);

    // Out and in again; pulled while the question is up, Yes opens nothing and says so.
    drives.erase(drives.begin());
    arrival->drivesChanged();
    drives.insert(drives.begin(), card);
    boxes.answer = ui::kIdYes;
    boxes.whileShown = [&] {
        drives.erase(drives.begin());
        arrival->drivesChanged();  // the watch during the question
    };
    arrival->drivesChanged();
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_TRUE(boxes.boxes[2].text.contains(QStringLiteral("taken out")))
        << boxes.boxes[2].text.toStdString();
    EXPECT_TRUE(opened.empty());
    // The change seen during the question is looked at after it; back in, it is offered.
    waitFor([] { return false; }, 1500);  // the second the retry waits
    drives.insert(drives.begin(), card);
    arrival->drivesChanged();
    ASSERT_EQ(boxes.boxes.size(), 4u);
    EXPECT_EQ(opened, (std::vector<std::string>{"/dev/sdc1"}));
}

// The whole way, as the viewer wires it: a removable disk appears and the mount table gains
// its FAT partition mounted on a recorder's card; the watch notices, the drive discovery
// reads the table, the prompt comes up and Yes lists that card.
TEST_F(CardArrivalTest, ACardTheMountTableGainsIsOfferedThroughTheWatch) {
    const TempDir machine;
    platform::SystemPaths paths;
    paths.sysfs = machine.path() / "sys";
    paths.mountInfo = machine.path() / "mountinfo";
    paths.devices = machine.path() / "dev";
    paths.swaps = machine.path() / "swaps";
    paths.removableMedia = {recorder.path().parent_path()};
    std::filesystem::create_directories(paths.sysfs / "block" / "sda");
    std::filesystem::create_directories(paths.devices);
    const auto write = [](const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file, std::ios::app) << text;
    };
    write(paths.mountInfo, "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
    CardArrival arrival(
        nullptr, settings, [paths] { return platform::discoverDrives(paths, {}); },
        [](const core::SourceDrive& drive) {
            return ui::holdsRecorderLayout(drive, {"NOR", "EVT", "MOT", "USR"});
        },
        [this](const core::SourceDrive& drive) { opened.push_back(drive.label); });
    platform::MountWatch watch(paths);
    QObject::connect(&watch, &platform::MountWatch::changed, &arrival, &CardArrival::drivesChanged);
    boxes.answer = ui::kIdYes;
    waitFor([] { return false; }, 2500);
    EXPECT_TRUE(boxes.boxes.empty()) << "nothing came, nothing is asked";

    const std::filesystem::path disk = paths.sysfs / "block" / "sdq";
    std::filesystem::create_directories(disk / "sdq1");
    write(disk / "removable", "1\n");
    write(disk / "sdq1" / "partition", "1\n");
    write(paths.mountInfo, "40 1 65:1 / " + recorder.path().string() +
                               " rw,relatime shared:2 - vfat " + paths.devices.string() +
                               "/sdq1 rw\n");
    ASSERT_TRUE(waitFor([&] { return !boxes.boxes.empty(); }, 15000)) << "no prompt";
    EXPECT_EQ(boxes.boxes[0].text, QString::fromLatin1(CardArrival::kQuestion));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(std::filesystem::path(opened[0]), recorder.path() / "");
}

}  // namespace
}  // namespace qelv::test

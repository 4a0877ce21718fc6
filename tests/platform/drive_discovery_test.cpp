#include "platform/drive_discovery.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::platform {
namespace {

namespace fs = std::filesystem;

// A machine in a folder: /sys/block, a mountinfo file, /dev with image files for devices.
class FakeMachine : public ::testing::Test {
protected:
    FakeMachine() {
        paths.sysBlock = dir.path() / "sys/block";
        paths.mountInfo = dir.path() / "mountinfo";
        paths.devices = dir.path() / "dev";
        fs::create_directories(paths.sysBlock);
        fs::create_directories(paths.devices);
    }
    void disk(const std::string& name, bool removable, std::vector<std::string> partitions = {}) {
        fs::create_directories(paths.sysBlock / name);
        dir.write("sys/block/" + name + "/removable", removable ? "1\n" : "0\n");
        dir.write("dev/" + name, "");
        for (const auto& part : partitions) {
            dir.write("sys/block/" + name + "/" + part + "/partition", "1\n");
            dir.write("dev/" + part, "");
        }
    }
    fs::path mountPoint(const std::string& name) {
        const fs::path point = dir.path() / "media" / name;
        fs::create_directories(point);
        return point;
    }
    void mounts(const std::string& lines) { dir.write("mountinfo", lines); }
    std::string mountLine(int id, const std::string& device, const std::string& point,
                          const std::string& type) {
        return std::to_string(id) + " 1 8:1 / " + point + " rw,relatime shared:1 - " + type + " " +
               (paths.devices / device).string() + " rw\n";
    }

    test::TempDir dir;
    SystemPaths paths;
};

TEST_F(FakeMachine, NothingRemovableLeavesTheFolderLine) {
    disk("sda", false, {"sda1"});
    mounts(mountLine(1, "sda1", "/", "ext4"));
    const auto drives = discoverDrives(paths, "Find in My Computer");
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].label, "Find in My Computer");
    EXPECT_EQ(drives[0].kind, core::SourceKind::PcFolder);
}

TEST_F(FakeMachine, CardsInDeviceOrderFolderLast) {
    disk("sda", false, {"sda1", "sda2"});
    disk("sdc", true);                      // a WyFS card, whole disk
    disk("sdb", true, {"sdb1"});            // a FAT card
    disk("mmcblk0", false, {"mmcblk0p1"});  // an SD slot, FAT with a blank in its mount point
    disk("sdd", true, {"sdd1"});            // removable but ext4: no card of ours
    disk("loop0", false);
    wyfs::formatImage(paths.devices / "sdc", 4u << 20);
    const fs::path card = mountPoint("CARD");
    const fs::path sd = mountPoint("SD CARD");
    const std::string escaped = (dir.path() / "media").string() + "/SD\\040CARD";
    mounts(mountLine(1, "sda2", "/", "ext4") + mountLine(2, "sdb1", card.string(), "vfat") +
           mountLine(3, "mmcblk0p1", escaped, "exfat") + mountLine(4, "sdd1", "/mnt/d", "ext4"));

    const auto drives = discoverDrives(paths, "Elsewhere");
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].label, sd.string() + "/");
    EXPECT_EQ(drives[0].devicePath, (paths.devices / "mmcblk0p1").string());
    EXPECT_EQ(drives[0].kind, core::SourceKind::FatDrive);
    EXPECT_EQ(drives[1].label, card.string() + "/");
    EXPECT_EQ(drives[2].label, (paths.devices / "sdc").string() + " (WYFS)");
    EXPECT_EQ(drives[2].kind, core::SourceKind::WyfsDrive);
    EXPECT_EQ(drives[3].label, "Elsewhere");
}

TEST_F(FakeMachine, TheSystemDiskIsNeverOffered) {
    // Even removable, the disk that holds "/" stays out, with every partition on it.
    disk("sdb", true, {"sdb1", "sdb2"});
    const fs::path card = mountPoint("CARD");
    mounts(mountLine(1, "sdb1", "/", "vfat") + mountLine(2, "sdb2", card.string(), "vfat"));
    EXPECT_EQ(discoverDrives(paths, "x").size(), 1u);
}

TEST_F(FakeMachine, BrokenMountTableIsSkippedLineByLine) {
    disk("sdb", true, {"sdb1"});
    const fs::path card = mountPoint("CARD");
    mounts("garbage\n\n1 2 3\n" + mountLine(2, "sdb1", card.string(), "vfat") + "4 5 - \n");
    const auto drives = discoverDrives(paths, "x");
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].kind, core::SourceKind::FatDrive);
    paths.mountInfo = dir.path() / "missing";
    paths.sysBlock = dir.path() / "missing-too";
    EXPECT_EQ(discoverDrives(paths, "x").size(), 1u);
}

TEST(MountTable, DecodesEscapes) {
    test::TempDir dir;
    const auto file =
        dir.write("mountinfo", "36 35 98:0 / /mnt/my\\040card rw master:1 - vfat /dev/sdb1 rw\n");
    const auto entries = readMountTable(file);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].mountPoint, "/mnt/my card");
    EXPECT_EQ(entries[0].source, "/dev/sdb1");
    EXPECT_EQ(entries[0].fsType, "vfat");
}

}  // namespace
}  // namespace qelv::platform

#include "platform/drive_discovery.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "platform/fake_system.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::platform {
namespace {

namespace fs = std::filesystem;

class FakeMachine : public ::testing::Test, public FakeSystem {};

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
    mmcType("mmcblk0", "SD");
    disk("sdd", true, {"sdd1"});  // removable but ext4: no card of ours
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
    paths.sysfs = dir.path() / "missing-too";
    EXPECT_EQ(discoverDrives(paths, "x").size(), 1u);
}

// A removable system disk (a laptop booted from a USB disk) with its FAT boot partition
// mounted, beside a real card. However "/" sits on that disk, only the card is offered.
TEST_F(FakeMachine, NoLayoutOfTheRootDiskLetsItBeOffered) {
    struct Layout {
        const char* name;
        std::function<std::string(FakeSystem&)> build;  // makes the layers, returns "/"'s line
    };
    const Layout layouts[] = {
        {"plain partition", [](FakeSystem& m) { return m.mountLine(1, "sdb2", "/", "ext4"); }},
        {"LVM on LUKS",
         [](FakeSystem& m) {
             m.layer("dm-0", {"sdb2"});  // the opened LUKS container
             m.layer("dm-1", {"dm-0"});  // the root volume of the volume group inside it
             m.alias("mapper/vg-root", "dm-1");
             return m.mountLine(1, "mapper/vg-root", "/", "ext4", m.numberOf("dm-1"));
         }},
        {"md mirror with the other half on a second removable disk",
         [](FakeSystem& m) {
             m.disk("sdd", true, {"sdd1", "sdd2"}, "pci0000:00/usb2/2-1");
             m.layer("md127", {"sdb2", "sdd2"}, {"md127p1"});
             return m.mountLine(1, "md127p1", "/", "ext4") +
                    m.mountLine(9, "sdd1", m.mountPoint("EFI2").string(), "vfat");
         }},
        {"/dev/root, known only by its number",
         [](FakeSystem& m) {
             return m.mountLine(1, "/dev/root", "/", "ext4", m.numberOf("sdb2"));
         }},
        {"btrfs with an anonymous device number",
         [](FakeSystem& m) { return m.mountLine(1, "sdb2", "/", "btrfs", "0:33"); }},
    };
    for (const Layout& layout : layouts) {
        FakeSystem machine;
        machine.disk("sda", false);
        machine.disk("sdb", true, {"sdb1", "sdb2"}, "pci0000:00/usb1/1-1");
        machine.disk("sdc", true, {"sdc1"}, "pci0000:00/usb1/1-2");
        const std::string root = layout.build(machine);
        const fs::path card = machine.mountPoint("CARD");
        machine.mounts(root +
                       machine.mountLine(2, "sdb1", machine.mountPoint("EFI").string(), "vfat") +
                       machine.mountLine(3, "sdc1", card.string(), "vfat"));
        EXPECT_EQ(machine.labels(discoverDrives(machine.paths, "Folder")),
                  (std::vector<std::string>{card.string() + "/", "Folder"}))
            << layout.name;
    }
}

TEST_F(FakeMachine, LayersThatLinkBackIntoThemselvesEndTheWalk) {
    disk("sdb", true, {"sdb1", "sdb2"}, "pci0000:00/usb1/1-1");
    layer("dm-0", {"sdb2"});
    // A damaged tree: the device lists itself among its lower layers.
    fs::create_directory_symlink(paths.sysfs / "devices/virtual/block/dm-0",
                                 paths.sysfs / "devices/virtual/block/dm-0/slaves/dm-0");
    mounts(mountLine(1, "dm-0", "/", "ext4") +
           mountLine(2, "sdb1", mountPoint("EFI").string(), "vfat"));
    EXPECT_EQ(labels(discoverDrives(paths, "Folder")), (std::vector<std::string>{"Folder"}));
}

TEST(MountTable, DecodesEscapes) {
    test::TempDir dir;
    const auto file =
        dir.write("mountinfo", "36 35 98:0 / /mnt/my\\040card rw master:1 - vfat /dev/sdb1 rw\n");
    const auto entries = readMountTable(file);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].deviceNumber, "98:0");
    EXPECT_EQ(entries[0].mountPoint, "/mnt/my card");
    EXPECT_EQ(entries[0].source, "/dev/sdb1");
    EXPECT_EQ(entries[0].fsType, "vfat");
}

// What is no mount table is refused at once, never read to its end: a device that never ends,
// a pipe without a writer, a folder, a file larger than any table. No card is offered then.
TEST_F(FakeMachine, WhatIsNoMountTableIsRefusedAndNoCardOffered) {
    disk("sdb", true, {"sdb1"}, "pci0000:00/usb1/1-1");
    const std::string card = mountLine(2, "sdb1", mountPoint("CARD"), "vfat");
    const fs::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path huge = dir.write("huge", std::string(17u << 20, ' ') + "\n" + card);
    for (const fs::path& table : {fs::path("/dev/zero"), fifo, dir.path(), huge}) {
        paths.mountInfo = table;
        EXPECT_TRUE(readMountTable(table).empty()) << table;
        EXPECT_EQ(labels(discoverDrives(paths, "F")), (std::vector<std::string>{"F"})) << table;
    }
    // A swap list that cannot be read leaves the disks in use unknown too.
    paths.mountInfo = dir.write("mountinfo", mountLine(1, "sda1", "/", "ext4") + card);
    EXPECT_EQ(discoverDrives(paths, "F").size(), 2u);
    paths.swaps = "/dev/zero";
    EXPECT_EQ(labels(discoverDrives(paths, "F")), (std::vector<std::string>{"F"}));
}

}  // namespace
}  // namespace qelv::platform

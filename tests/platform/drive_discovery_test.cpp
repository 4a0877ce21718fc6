#include "platform/drive_discovery.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>

#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::platform {
namespace {

namespace fs = std::filesystem;

// A machine in a folder, laid out as the kernel shows it: each disk's folder under
// sys/devices, linked from sys/block and, by device number, from sys/dev/block; device-mapper
// and md devices list their lower devices in "slaves"; /dev holds image files for the nodes.
class FakeSystem {
public:
    FakeSystem() {
        paths.sysfs = dir.path() / "sys";
        paths.mountInfo = dir.path() / "mountinfo";
        paths.devices = dir.path() / "dev";
        fs::create_directories(paths.sysfs / "block");
        fs::create_directories(paths.sysfs / "dev/block");
        fs::create_directories(paths.devices);
    }
    // A `bus` path with "/usb" in it makes a hot-plugged disk, otherwise an internal one.
    void disk(const std::string& name, bool removable, std::vector<std::string> partitions = {},
              const std::string& bus = "pci0000:00/ata1") {
        const fs::path folder = paths.sysfs / "devices" / bus / "block" / name;
        wholeDevice(folder, name, removable);
        for (const auto& part : partitions) {
            device(folder / part, part);
            dir.write(relative(folder / part / "partition"), "1\n");
        }
    }
    // A device-mapper ("dm-0") or md ("md127") device over `lower` (disks or partitions).
    void layer(const std::string& name, const std::vector<std::string>& lower,
               std::vector<std::string> partitions = {}) {
        const fs::path folder = paths.sysfs / "devices/virtual/block" / name;
        wholeDevice(folder, name, false);
        fs::create_directories(folder / "slaves");
        for (const auto& below : lower) {
            fs::create_directory_symlink(m_folders.at(below), folder / "slaves" / below);
        }
        for (const auto& part : partitions) {
            device(folder / part, part);
            dir.write(relative(folder / part / "partition"), "1\n");
        }
    }
    // A named node such as "mapper/vg-root" that links to a kernel node.
    void alias(const std::string& node, const std::string& target) {
        fs::create_directories((paths.devices / node).parent_path());
        fs::create_symlink(paths.devices / target, paths.devices / node);
    }
    fs::path mountPoint(const std::string& name) {
        const fs::path point = dir.path() / "media" / name;
        fs::create_directories(point);
        return point;
    }
    void mounts(const std::string& lines) { dir.write("mountinfo", lines); }
    // `source` is a node below the fake /dev ("sdb1", "mapper/vg-root"); one starting with "/"
    // is taken as it is. The device number is the node's own unless one is given.
    std::string mountLine(int id, const std::string& source, const std::string& point,
                          const std::string& type, std::string number = {}) {
        if (number.empty()) {
            const auto known = m_numbers.find(source);
            number = known == m_numbers.end() ? "0:99" : known->second;
        }
        const std::string node = source.front() == '/' ? source : (paths.devices / source).string();
        return std::to_string(id) + " 1 " + number + " / " + point + " rw,relatime shared:1 - " +
               type + " " + node + " rw\n";
    }
    std::string numberOf(const std::string& name) const { return m_numbers.at(name); }
    std::vector<std::string> labels(const std::vector<core::SourceDrive>& drives) const {
        std::vector<std::string> out;
        for (const auto& drive : drives) {
            out.push_back(drive.label);
        }
        return out;
    }

    test::TempDir dir;
    SystemPaths paths;

private:
    std::string relative(const fs::path& path) const {
        return fs::relative(path, dir.path()).string();
    }
    void wholeDevice(const fs::path& folder, const std::string& name, bool removable) {
        device(folder, name);
        dir.write(relative(folder / "removable"), removable ? "1\n" : "0\n");
        fs::create_directory_symlink(folder, paths.sysfs / "block" / name);
    }
    void device(const fs::path& folder, const std::string& name) {
        const std::string number = "8:" + std::to_string(m_numbers.size());
        fs::create_directories(folder);
        dir.write(relative(folder / "dev"), number + "\n");
        fs::create_directory_symlink(folder, paths.sysfs / "dev/block" / number);
        dir.write("dev/" + name, "");
        m_numbers[name] = number;
        m_folders[name] = folder;
    }

    std::map<std::string, std::string> m_numbers;
    std::map<std::string, fs::path> m_folders;
};

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

}  // namespace
}  // namespace qelv::platform

#include "platform/disk_lookup.h"

#include <gtest/gtest.h>

#include "platform/fake_system.h"

namespace qelv::platform {
namespace {

namespace fs = std::filesystem;

class DiskLookup : public ::testing::Test, public FakeSystem {
protected:
    DiskLookup() {
        disk("sda", false, {"sda1", "sda2"});
        disk("sdb", true, {"sdb1"}, "pci0000:00/usb1/1-1");
        disk("sdc", true, {}, "pci0000:00/usb1/1-2");
        disk("mmcblk0", false, {"mmcblk0p1"}, "platform/mmc0/mmc_host/mmc0/mmc0:0001");
        disk("nvme0n1", false, {"nvme0n1p1"}, "pci0000:00/nvme/nvme0");
        layer("dm-0", {"sda2"});
        alias("mapper/vg-root", "dm-0");
        alias("disk/by-label/CARD", "sdb1");
    }
};

struct DeviceCase {
    const char* device;
    const char* disk;
};

// Names as the card list and the user hand them over; "/dev/..." lies in the fake tree.
const DeviceCase kDevices[] = {
    {"/dev/sdb1", "sdb"},
    {"/dev/sdb", "sdb"},
    {"/dev/sdc", "sdc"},
    {"/dev/mmcblk0p1", "mmcblk0"},
    {"/dev/nvme0n1p1", "nvme0n1"},
    {"/dev/nvme0n1", "nvme0n1"},
    {"/dev/dm-0", "dm-0"},
    {"/dev/mapper/vg-root", "dm-0"},
    {"/dev/disk/by-label/CARD", "sdb"},
    {"/dev/sdz1", ""},  // no such device
    {"/dev/", ""},
    {"/dev/..", ""},
    {"sdb1", ""},  // not a path
    {"", ""},
};

TEST_F(DiskLookup, FindsTheDiskOfADeviceNode) {
    for (const DeviceCase& c : kDevices) {
        EXPECT_EQ(diskOfDevice(paths, c.device), c.disk) << c.device;
    }
}

// A tree without class/block (an older kernel, a reduced container sysfs) still finds disks and
// their partitions through block/.
TEST_F(DiskLookup, FindsDisksWithoutTheClassFolder) {
    fs::remove_all(paths.sysfs / "class");
    for (const DeviceCase& c : kDevices) {
        if (std::string(c.device).find("mapper") == std::string::npos &&
            std::string(c.device) != "/dev/dm-0") {
            EXPECT_EQ(diskOfDevice(paths, c.device), c.disk) << c.device;
        }
    }
}

TEST_F(DiskLookup, DamagedTreesAnswerUnknown) {
    const fs::path classBlock = paths.sysfs / "class/block";
    // A link to itself, a node that links to itself, a file where a folder belongs, a folder
    // that is no block device, and a partition folder inside a disk that is none.
    fs::create_directory_symlink(classBlock / "sdx", classBlock / "sdx");
    dir.write("dev/sdx", "");
    fs::create_symlink(paths.devices / "loopy", paths.devices / "loopy");
    dir.write("sys/class/block/sdy", "garbage");
    dir.write("dev/sdy", "");
    fs::create_directories(classBlock / "sdw");
    dir.write("dev/sdw", "");
    dir.write("sys/devices/odd/sdv1/dev", "8:99\n");
    dir.write("sys/devices/odd/sdv1/partition", "1\n");
    fs::create_directory_symlink(paths.sysfs / "devices/odd/sdv1", classBlock / "sdv1");
    dir.write("dev/sdv1", "");
    // A file outside the device folder with a device's name is not that device.
    const std::string elsewhere = dir.write("elsewhere/sdb1", "").string();
    for (const std::string device : {"/dev/sdx", "/dev/loopy", "/dev/sdy", "/dev/sdw", "/dev/sdv1",
                                     "/dev/../sdb1", elsewhere.c_str()}) {
        EXPECT_EQ(diskOfDevice(paths, device), "") << device;
    }
}

TEST_F(DiskLookup, FindsTheDiskOfAMountedFolder) {
    const std::string card = mountPoint("CARD").string();
    const std::string covered = mountPoint("COVERED").string();
    mounts(mountLine(1, "mapper/vg-root", "/", "ext4", numberOf("dm-0")) +
           mountLine(2, "sdb1", card, "vfat") +
           mountLine(3, "sda1", "/boot", "btrfs", "0:33") +  // anonymous number: by its source
           mountLine(4, "/dev/root", "/srv", "ext4", numberOf("nvme0n1p1")) +
           mountLine(5, "tmpfs", "/run", "tmpfs", "0:25") + mountLine(6, "sdb1", covered, "vfat") +
           mountLine(7, "mmcblk0p1", covered, "vfat"));  // mounted over the one before
    const std::pair<std::string, std::string> cases[] = {
        {"/", "dm-0"},    {card, "sdb"},        {card + "/", "sdb"},
        {"/boot", "sda"}, {"/srv", "nvme0n1"},  {"/run", ""},
        {"/nowhere", ""}, {covered, "mmcblk0"}, {"", ""},
    };
    for (const auto& [point, disk] : cases) {
        EXPECT_EQ(diskOfMount(paths, point), disk) << point;
    }
}

}  // namespace
}  // namespace qelv::platform

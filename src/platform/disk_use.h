// Which disks the running system uses, and whether a disk may be taken for the recorder's card.
// The one rule that keeps the drive list and the card formatter away from the machine's own
// disks: a disk is in use when any of its partitions, through device-mapper, md and loop
// layers in either direction,
//   - is mounted anywhere outside the removable-media folders ("/", "/boot/efi", "/home", a
//     live system's medium such as "/run/live/medium"), or is another device of a btrfs or
//     bcachefs file system mounted there,
//   - holds the image of a loop device (a live system's squashfs, a root file system image),
//   - is active swap, or holds an active swap file,
//   - is part of a device-mapper or md device built on it (LVM, LUKS, RAID).
// An eMMC (an mmcblk disk that reports itself as "MMC") is a fixed disk, an SD card is not.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "platform/system_paths.h"

namespace qelv::platform {

class DiskUse {
public:
    // Reads the mount table, the swap list and the loop devices where `paths` says.
    static DiskUse read(const SystemPaths& paths);

    // False when the mount table or the swap list could not be read: nothing then tells which
    // disks are free, and every disk counts as used.
    bool known() const { return m_known; }
    // What uses `disk` ("sdb", "dm-1"), such as "/home is mounted from sdb2"; empty when the
    // system uses nothing on it (or when nothing is known: see known()).
    std::string useOf(const std::string& disk) const;

private:
    bool m_known = false;
    std::map<std::string, std::string> m_uses;  // disk -> the first use found on it
};

// Whether the disk `disk` ("sdb", "mmcblk0") is of a kind a card comes in: removable, an SD
// card, or hot-plugged over USB. An eMMC counts as fixed. What it holds is not looked at.
bool isCardDisk(const std::filesystem::path& sysfs, const std::string& disk);

// Whether `disk` may be offered as a card, listed or formatted.
struct CardVerdict {
    enum class Kind { Card, InUse, Fixed, Unknown };
    Kind kind = Kind::Unknown;
    std::string use;  // with InUse: what uses the disk
};
CardVerdict cardVerdict(const SystemPaths& paths, const DiskUse& use, const std::string& disk);

}  // namespace qelv::platform

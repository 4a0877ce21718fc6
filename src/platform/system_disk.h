// The disks that hold "/": the card list must never offer them, so that nothing the viewer
// writes to a card (a WyFS volume, a format) can reach the running system.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/mount_table.h"

namespace qelv::platform {

// Every block device under "/", as /sys/block names ("sda", "dm-1", "md0"): the device that
// is mounted there, the disk of that partition, and, through the "slaves" of device-mapper
// (LVM, LUKS) and md (RAID) layers, every device and physical disk beneath it.
//
// The mounted device is found by the device number mountinfo gives for "/"
// (`<sysfs>/dev/block/MAJ:MIN`), and also by the mount source's name under `devices` (which
// is what a file system with an anonymous device number, such as btrfs, leaves); both are
// followed. Empty when "/" is on no block device (a container's overlay, a network root).
std::set<std::string> systemDisks(const std::filesystem::path& sysfs,
                                  const std::filesystem::path& devices,
                                  const std::vector<MountEntry>& mounts);

}  // namespace qelv::platform

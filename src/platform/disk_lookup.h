// Which physical disk a block device node or a mounted folder belongs to, as the kernel
// shows it in sysfs. Names are kernel names as /sys/block lists them: "sdb", "mmcblk0",
// "nvme0n1", "dm-1", "md127".
//
// Every lookup reads only below the folders of SystemPaths, so tests run it on a fake tree;
// "/dev/..." names are taken below `devices`. A damaged tree (links in a loop, files where
// folders belong) gives "unknown", never a hang.
#pragma once

#include <filesystem>
#include <string>

#include "platform/system_paths.h"

namespace qelv::platform {

// The disk that holds `device`: "/dev/sdb1" -> "sdb", "/dev/mmcblk0p1" -> "mmcblk0",
// "/dev/sdb" -> "sdb", "/dev/mapper/vg-root" -> "dm-1" (a device-mapper or md device is its own
// disk; what lies beneath it is systemDisks' business). Empty when sysfs does not know it.
//
// A block device node is found by its device number (`<sysfs>/dev/block/MAJ:MIN`), which is
// what the kernel itself answers for it. A node that is no block device (a fake tree) is
// found by its kernel name (under `<sysfs>/class/block`, or `<sysfs>/block` for disks and
// their partitions), but only when it lies in `devices` itself, links followed. A node that
// does not exist is unknown.
std::string diskOfDevice(const SystemPaths& paths, const std::filesystem::path& device);

// The disk that holds the file system mounted at `mountPoint` ("/media/CARD" or
// "/media/CARD/"); the topmost mount there counts. Found by the device number the mount table
// gives, else by the mount source's node. Empty when nothing is mounted there or the file
// system is on no disk (tmpfs, a network share).
std::string diskOfMount(const SystemPaths& paths, const std::filesystem::path& mountPoint);

// The building blocks, shared with the system-disk walk. Folders are returned canonical;
// empty when unknown.

// The sysfs folder of a device by its kernel name ("sdb1", "dm-0").
std::filesystem::path deviceFolderByName(const std::filesystem::path& sysfs,
                                         const std::string& kernelName);
// The sysfs folder of a device by its number "MAJ:MIN" ("8:17").
std::filesystem::path deviceFolderByNumber(const std::filesystem::path& sysfs,
                                           const std::string& deviceNumber);
// The kernel name behind a device node: "/dev/mapper/vg-root", a link to "../dm-1", gives
// "dm-1"; a node that is no link gives its own name. Empty for a name that is no path
// ("overlay", "tmpfs", "server:/share").
std::string kernelNameOf(const std::filesystem::path& devices, const std::string& node);
// The disk folder of a device folder: the parent for a partition, the folder itself otherwise.
std::filesystem::path diskFolderOf(const std::filesystem::path& deviceFolder);

}  // namespace qelv::platform

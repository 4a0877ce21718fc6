// Finds the recorder's card among the machine's drives: removable, hot-plugged or SD/MMC
// disks (never the one that holds "/"), whose partitions are either FAT/exFAT volumes mounted
// somewhere or WyFS volumes read through the card library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/mount_table.h"
#include "platform/system_paths.h"
#include "storage/recording_types.h"

namespace qelv::platform {

// The machine's paths, each replaced by the environment variable QELV_SYSFS, QELV_MOUNTINFO
// or QELV_DEV when it is set: the end-to-end tests show the viewer a card on a fake tree.
SystemPaths systemPaths();

// Whether the disk `disk` ("sdb", "mmcblk0") may be a card: removable, an SD/MMC device, or
// hot-plugged over USB. What it holds is not looked at.
bool isCardDisk(const std::filesystem::path& sysfs, const std::string& disk);

// The drive list: card drives ordered by device name, then the folder line (label
// `folderSearchText`, kind 2). No disk that holds "/" is offered, however it is connected
// (see systemDisks). A FAT drive's label is its mount point with a trailing "/", a
// WyFS drive's its device path plus " (WYFS)". A drive is offered only when this user may
// read and write it (the mount point for FAT, the device node for WyFS).
std::vector<core::SourceDrive> discoverDrives(const SystemPaths& paths,
                                              const std::string& folderSearchText);

}  // namespace qelv::platform

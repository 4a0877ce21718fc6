// Finds the recorder's card among the machine's drives: removable, hot-plugged or SD card
// disks that the system does not use (see disk_use.h), whose partitions are either FAT/exFAT
// volumes mounted somewhere or WyFS volumes read through the card library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/disk_use.h"
#include "platform/mount_table.h"
#include "platform/system_paths.h"
#include "storage/recording_types.h"

namespace qelv::platform {

// The machine's paths, each replaced by the environment variable QELV_SYSFS, QELV_MOUNTINFO,
// QELV_SWAPS or QELV_DEV when it is set, and the removable-media folders by QELV_MEDIA (a
// list separated by ":"): the end-to-end tests show the viewer a card on a fake tree. The
// drive list and the card formatter take the same paths.
SystemPaths systemPaths();
// Folders separated by ":", empty names dropped: "/media:/mnt" gives "/media" and "/mnt".
std::vector<std::filesystem::path> folderList(const std::string& text);

// The drive list: card drives ordered by device name, then the folder line (label
// `folderSearchText`, kind 2). No disk the system uses is offered, however it is connected,
// and none at all when the mount table cannot be read (see disk_use.h). A FAT drive's label is its
// mount point with a trailing "/", a WyFS drive's its device path plus " (WYFS)". A drive is
// offered only when this user may read and write it (the mount point for FAT, the device node for
// WyFS).
std::vector<core::SourceDrive> discoverDrives(const SystemPaths& paths,
                                              const std::string& folderSearchText);

}  // namespace qelv::platform

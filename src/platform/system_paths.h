// Where the system describes its disks, mounts and swap; tests point these at a fake tree.
#pragma once

#include <filesystem>
#include <vector>

namespace qelv::platform {

struct SystemPaths {
    std::filesystem::path sysfs = "/sys";  // block, class/block, dev/block and their devices
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path swaps = "/proc/swaps";
    std::filesystem::path devices = "/dev";  // "/dev/..." names are looked up below this folder
    // The folders where removable media are mounted (by udisks2, a desktop or by hand); a disk
    // with a file system mounted anywhere else is in use by the system.
    std::vector<std::filesystem::path> removableMedia = {"/media", "/run/media", "/mnt"};
};

}  // namespace qelv::platform

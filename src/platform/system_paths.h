// Where the system describes its disks and mounts; tests point these at a fake tree.
#pragma once

#include <filesystem>

namespace qelv::platform {

struct SystemPaths {
    std::filesystem::path sysfs = "/sys";  // block, class/block, dev/block and their devices
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path devices = "/dev";  // "/dev/..." names are looked up below this folder
};

}  // namespace qelv::platform

#include "platform/system_disk.h"

#include "platform/disk_lookup.h"

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

// Device-mapper and md layers nest a few deep at most; the bound only guards against a
// damaged tree that links back into itself.
constexpr int kMaxLayers = 16;

// Adds `device`'s disk and every disk beneath it to `disks`. The lower layers of a
// device-mapper or md device are its "slaves"; a partition of an md array (md0p1) has none of
// its own, its array has.
void addWithLowerLayers(const fs::path& device, std::set<std::string>& disks, int depth) {
    if (device.empty() || depth > kMaxLayers) {
        return;
    }
    const fs::path disk = diskFolderOf(device);
    if (!disks.insert(disk.filename().string()).second) {
        return;  // its lower layers are in already
    }
    std::error_code error;
    for (const auto& lower : fs::directory_iterator(disk / "slaves", error)) {
        std::error_code ignored;
        addWithLowerLayers(fs::canonical(lower.path(), ignored), disks, depth + 1);
    }
}

}  // namespace

std::set<std::string> systemDisks(const fs::path& sysfs, const fs::path& devices,
                                  const std::vector<MountEntry>& mounts) {
    std::set<std::string> disks;
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint != "/") {
            continue;  // every entry for "/" counts: one mounted over another hides nothing
        }
        addWithLowerLayers(deviceFolderByNumber(sysfs, mount.deviceNumber), disks, 0);
        addWithLowerLayers(deviceFolderByName(sysfs, kernelNameOf(devices, mount.source)), disks,
                           0);
    }
    return disks;
}

}  // namespace qelv::platform

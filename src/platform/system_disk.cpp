#include "platform/system_disk.h"

#include <string_view>

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

// Device-mapper and md layers nest a few deep at most; the bound only guards against a
// damaged tree that links back into itself.
constexpr int kMaxLayers = 16;

fs::path canonicalOrEmpty(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    return error ? fs::path() : real;
}

// The sysfs folder of a device by its kernel name ("sda2", "dm-1"): a disk under
// <sysfs>/block, or a partition inside one of them.
fs::path deviceFolderByName(const fs::path& sysfs, const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return {};
    }
    const fs::path block = sysfs / "block";
    std::error_code error;
    if (fs::is_directory(block / name, error)) {
        return canonicalOrEmpty(block / name);
    }
    for (const auto& disk : fs::directory_iterator(block, error)) {
        if (fs::exists(disk.path() / name / "partition", error)) {
            return canonicalOrEmpty(disk.path() / name);
        }
    }
    return {};
}

// The kernel name behind a mount source: "/dev/mapper/vg-root" is a link to "../dm-1".
std::string kernelNameOf(const fs::path& devices, const std::string& source) {
    const std::string prefix = "/dev/";
    if (source.empty() || source.front() != '/') {
        return {};  // "overlay", "tmpfs", a network share: no device node
    }
    fs::path node(source);
    if (source.rfind(prefix, 0) == 0) {
        node = devices / source.substr(prefix.size());
    }
    const fs::path real = canonicalOrEmpty(node);
    return (real.empty() ? node : real).filename().string();
}

bool isPartition(const fs::path& device) {
    std::error_code error;
    return fs::exists(device / "partition", error);
}

// Adds `device`'s disk and every disk beneath it to `disks`. The lower layers of a
// device-mapper or md device are its "slaves"; a partition of an md array (md0p1) has none of
// its own, its array has.
void addWithLowerLayers(const fs::path& device, std::set<std::string>& disks, int depth) {
    if (device.empty() || depth > kMaxLayers) {
        return;
    }
    const fs::path disk = isPartition(device) ? device.parent_path() : device;
    if (!disks.insert(disk.filename().string()).second) {
        return;  // its lower layers are in already
    }
    std::error_code error;
    for (const auto& lower : fs::directory_iterator(disk / "slaves", error)) {
        addWithLowerLayers(canonicalOrEmpty(lower.path()), disks, depth + 1);
    }
}

// "MAJ:MIN", two decimal numbers.
bool isDeviceNumber(const std::string& text) {
    const std::size_t colon = text.find(':');
    auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return colon != std::string::npos && digits(std::string_view(text).substr(0, colon)) &&
           digits(std::string_view(text).substr(colon + 1));
}

}  // namespace

std::set<std::string> systemDisks(const fs::path& sysfs, const fs::path& devices,
                                  const std::vector<MountEntry>& mounts) {
    std::set<std::string> disks;
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint != "/") {
            continue;  // every entry for "/" counts: one mounted over another hides nothing
        }
        if (isDeviceNumber(mount.deviceNumber)) {
            addWithLowerLayers(canonicalOrEmpty(sysfs / "dev/block" / mount.deviceNumber), disks,
                               0);
        }
        addWithLowerLayers(deviceFolderByName(sysfs, kernelNameOf(devices, mount.source)), disks,
                           0);
    }
    return disks;
}

}  // namespace qelv::platform

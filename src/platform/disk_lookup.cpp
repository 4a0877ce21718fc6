#include "platform/disk_lookup.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <string_view>

#include "platform/mount_table.h"

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

fs::path canonicalOrEmpty(const fs::path& path) {
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    return error ? fs::path() : real;
}

// Every block device's sysfs folder carries its number in "dev"; a folder without one is no
// block device, whatever links to it.
fs::path blockDeviceOrEmpty(const fs::path& folder) {
    std::error_code error;
    return !folder.empty() && fs::is_regular_file(folder / "dev", error) ? folder : fs::path();
}

bool isKernelName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// "MAJ:MIN", two decimal numbers.
bool isDeviceNumber(const std::string& text) {
    const std::size_t colon = text.find(':');
    auto digits = [](std::string_view part) {
        return !part.empty() && part.size() <= 10 &&
               part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return colon != std::string::npos && digits(std::string_view(text).substr(0, colon)) &&
           digits(std::string_view(text).substr(colon + 1));
}

// The node a name stands for on this machine: "/dev/sdb1" is looked up below `devices`.
fs::path nodePath(const fs::path& devices, const std::string& node) {
    const std::string prefix = "/dev/";
    if (node.empty() || node.front() != '/') {
        return {};
    }
    if (node.rfind(prefix, 0) == 0) {
        return devices / node.substr(prefix.size());
    }
    return node;
}

std::string diskNameOf(const fs::path& deviceFolder) {
    const fs::path disk = blockDeviceOrEmpty(diskFolderOf(deviceFolder));
    return disk.empty() ? std::string() : disk.filename().string();
}

}  // namespace

fs::path deviceFolderByName(const fs::path& sysfs, const std::string& kernelName) {
    if (!isKernelName(kernelName)) {
        return {};
    }
    std::error_code error;
    // class/block lists disks and partitions alike; older or reduced trees only have block/.
    for (const fs::path& candidate :
         {sysfs / "class/block" / kernelName, sysfs / "block" / kernelName}) {
        if (fs::is_directory(candidate, error)) {
            if (fs::path found = blockDeviceOrEmpty(canonicalOrEmpty(candidate)); !found.empty()) {
                return found;
            }
        }
    }
    for (const auto& disk : fs::directory_iterator(sysfs / "block", error)) {
        if (fs::exists(disk.path() / kernelName / "partition", error)) {
            return blockDeviceOrEmpty(canonicalOrEmpty(disk.path() / kernelName));
        }
    }
    return {};
}

fs::path deviceFolderByNumber(const fs::path& sysfs, const std::string& deviceNumber) {
    if (!isDeviceNumber(deviceNumber)) {
        return {};
    }
    return blockDeviceOrEmpty(canonicalOrEmpty(sysfs / "dev/block" / deviceNumber));
}

std::string kernelNameOf(const fs::path& devices, const std::string& node) {
    const fs::path path = nodePath(devices, node);
    if (path.empty()) {
        return {};  // "overlay", "tmpfs", a network share: no device node
    }
    const fs::path real = canonicalOrEmpty(path);
    return (real.empty() ? path : real).filename().string();
}

fs::path diskFolderOf(const fs::path& deviceFolder) {
    std::error_code error;
    if (!deviceFolder.empty() && fs::exists(deviceFolder / "partition", error)) {
        return deviceFolder.parent_path();
    }
    return deviceFolder;
}

std::string diskOfDevice(const SystemPaths& paths, const fs::path& device) {
    const fs::path node = canonicalOrEmpty(nodePath(paths.devices, device.string()));
    if (node.empty()) {
        return {};  // no such node
    }
    fs::path folder;
    struct stat status {};
    if (::stat(node.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        folder = deviceFolderByNumber(paths.sysfs, std::to_string(major(status.st_rdev)) + ":" +
                                                       std::to_string(minor(status.st_rdev)));
    } else if (node.parent_path() == canonicalOrEmpty(paths.devices)) {
        // Only a node in the device folder goes by its name: a file elsewhere that happens to
        // be called "sdb1" is not that partition.
        folder = deviceFolderByName(paths.sysfs, node.filename().string());
    }
    return folder.empty() ? std::string() : diskNameOf(folder);
}

std::string diskOfMount(const SystemPaths& paths, const fs::path& mountPoint) {
    std::string point = mountPoint.string();
    while (point.size() > 1 && point.back() == '/') {
        point.pop_back();
    }
    const auto mounts = readMountTable(paths.mountInfo);
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {  // a later mount covers an earlier
        if (it->mountPoint != point) {
            continue;
        }
        fs::path folder = deviceFolderByNumber(paths.sysfs, it->deviceNumber);
        if (folder.empty()) {
            folder = deviceFolderByName(paths.sysfs, kernelNameOf(paths.devices, it->source));
        }
        return folder.empty() ? std::string() : diskNameOf(folder);
    }
    return {};
}

}  // namespace qelv::platform

#include "platform/disk_use.h"

#include <algorithm>
#include <vector>

#include "common/text_file.h"
#include "platform/disk_lookup.h"
#include "platform/mount_table.h"

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

// Device-mapper and md layers nest a few deep at most; the bound only guards against a
// damaged tree that links back into itself.
constexpr int kMaxLayers = 16;
constexpr std::size_t kMaxAttributeBytes = 4096;

// The first line of a sysfs attribute; empty when it cannot be read.
std::string attribute(const fs::path& file) {
    const auto text = core::readTextFile(file, kMaxAttributeBytes);
    return text ? text->substr(0, text->find('\n')) : std::string();
}

bool isBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (folder == "/" || path[folder.size()] == '/');
}

bool isRemovableMedia(const std::string& mountPoint, const std::vector<fs::path>& roots) {
    for (const fs::path& root : roots) {
        std::string folder = root.lexically_normal().string();
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        // "/" among them would free every disk; a relative folder names nothing.
        if (folder.size() > 1 && folder.front() == '/' &&
            (mountPoint == folder || isBelow(mountPoint, folder))) {
            return true;
        }
    }
    return false;
}

// Gathers what the system uses, disk by disk.
class UseCollector {
public:
    UseCollector(const SystemPaths& paths, const std::vector<MountEntry>& mounts,
                 std::map<std::string, std::string>& uses)
        : m_paths(paths), m_mounts(mounts), m_uses(uses) {}

    void mount(const MountEntry& mount, const std::string& use) {
        device(deviceFolderByNumber(m_paths.sysfs, mount.deviceNumber), use, 0);
        node(mount.source, use);  // a file system with an anonymous number (btrfs) has a source
        // One over several devices (bcachefs) names them all, joined by ':'.
        for (std::size_t start = 0, end;
             mount.source.starts_with('/') && start < mount.source.size(); start = end + 1) {
            end = std::min(mount.source.find(':', start), mount.source.size());
            node(mount.source.substr(start, end - start), use);
        }
        if (mount.fsType == "btrfs") {
            btrfsDevices(kernelNameOf(m_paths.devices, mount.source), use);
        }
    }

    // The mount table names one device of a btrfs file system that spans several; the kernel
    // lists all of a mounted one's devices under fs/btrfs/<uuid>/devices.
    void btrfsDevices(const std::string& member, const std::string& use) {
        if (member.empty() || member == "." || member == "..") {
            return;
        }
        std::error_code error;
        for (const auto& filesystem : fs::directory_iterator(m_paths.sysfs / "fs/btrfs", error)) {
            const fs::path devices = filesystem.path() / "devices";
            std::error_code ignored;
            if (!fs::exists(devices / member, ignored)) {
                continue;
            }
            for (const auto& each : fs::directory_iterator(devices, ignored)) {
                std::error_code unknown;
                device(fs::canonical(each.path(), unknown), use, 0);
            }
        }
    }

    void node(const std::string& name, const std::string& use) {
        device(deviceFolderByName(m_paths.sysfs, kernelNameOf(m_paths.devices, name)), use, 0);
    }

    // A swap file or a loop device's image: a device node, or a file on a mounted file system.
    void file(const std::string& path, const std::string& use) {
        if (path.rfind("/dev/", 0) == 0) {
            node(path, use);
        } else if (const MountEntry* holder = mountHolding(path)) {
            mount(*holder, use);
        }
    }

    // Every disk with a device-mapper or md device built on one of its partitions.
    void layeredDisks() {
        std::error_code error;
        for (const auto& disk : fs::directory_iterator(m_paths.sysfs / "block", error)) {
            std::vector<fs::path> folders{disk.path()};
            std::error_code ignored;
            for (const auto& part : fs::directory_iterator(disk.path(), ignored)) {
                if (fs::exists(part.path() / "partition", ignored)) {
                    folders.push_back(part.path());
                }
            }
            for (const fs::path& folder : folders) {
                for (const auto& holder : fs::directory_iterator(folder / "holders", ignored)) {
                    m_uses.emplace(disk.path().filename().string(),
                                   holder.path().filename().string() + " is built on it");
                    break;
                }
            }
        }
    }

private:
    // Adds the disk of `folder` and every disk beneath it. The lower layers of a device-mapper
    // or md device are its "slaves"; a partition of an md array (md0p1) has none of its own,
    // its array has.
    void device(const fs::path& folder, const std::string& use, int depth) {
        if (folder.empty() || depth > kMaxLayers) {
            return;
        }
        const fs::path disk = diskFolderOf(folder);
        if (!m_uses.emplace(disk.filename().string(), use).second) {
            return;  // its lower layers are in already
        }
        std::error_code error;
        for (const auto& lower : fs::directory_iterator(disk / "slaves", error)) {
            std::error_code ignored;
            device(fs::canonical(lower.path(), ignored), use, depth + 1);
        }
    }

    // The mount whose folder holds `path`: the longest mount point above it, the later of two
    // on the same point.
    const MountEntry* mountHolding(const std::string& path) const {
        const MountEntry* best = nullptr;
        for (const MountEntry& mount : m_mounts) {
            if ((path == mount.mountPoint || isBelow(path, mount.mountPoint)) &&
                (best == nullptr || mount.mountPoint.size() >= best->mountPoint.size())) {
                best = &mount;
            }
        }
        return best;
    }

    const SystemPaths& m_paths;
    const std::vector<MountEntry>& m_mounts;
    std::map<std::string, std::string>& m_uses;
};

}  // namespace

DiskUse DiskUse::read(const SystemPaths& paths) {
    DiskUse result;
    const auto mounts = readMountTable(paths.mountInfo);
    const auto swaps = readSwaps(paths.swaps);
    result.m_known = !mounts.empty() && swaps.has_value();
    if (!result.m_known) {
        return result;
    }
    UseCollector collect(paths, mounts, result.m_uses);
    for (const MountEntry& mount : mounts) {
        // A live system's medium is mounted outside them too ("/run/live/medium").
        if (!isRemovableMedia(mount.mountPoint, paths.removableMedia)) {
            collect.mount(mount, mount.mountPoint + " is mounted from it");
        }
    }
    for (const std::string& swap : *swaps) {
        collect.file(swap, swap + " is active swap on it");
    }
    // Every loop device's image, whatever the loop device is used for: a live system's
    // squashfs, or the image of "/" itself, may lie on a card-like disk mounted under /media.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(paths.sysfs / "block", error)) {
        const std::string name = entry.path().filename().string();
        std::string image = attribute(entry.path() / "loop/backing_file");
        if (const std::string deleted = " (deleted)"; image.ends_with(deleted)) {
            image.resize(image.size() - deleted.size());
        }
        if (name.rfind("loop", 0) == 0 && !image.empty()) {
            collect.file(image, image + ", the image behind " + name + ", lies on it");
        }
    }
    collect.layeredDisks();
    return result;
}

std::string DiskUse::useOf(const std::string& disk) const {
    const auto found = m_uses.find(disk);
    return found == m_uses.end() ? std::string() : found->second;
}

bool isCardDisk(const fs::path& sysfs, const std::string& disk) {
    if (disk.empty() || disk == "." || disk == ".." || disk.find('/') != std::string::npos) {
        return false;
    }
    const fs::path folder = sysfs / "block" / disk;
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return false;
    }
    if (disk.rfind("mmcblk", 0) == 0) {
        // An SD card and an eMMC soldered to the board both show as mmcblk; the device says
        // which it is.
        return attribute(folder / "device/type") == "SD";
    }
    if (attribute(folder / "removable") == "1") {
        return true;
    }
    const fs::path real = fs::canonical(folder, error);
    return !error && real.string().find("/usb") != std::string::npos;  // hot-plugged over USB
}

CardVerdict cardVerdict(const SystemPaths& paths, const DiskUse& use, const std::string& disk) {
    using Kind = CardVerdict::Kind;
    if (!use.known()) {
        return {Kind::Unknown, {}};
    }
    if (std::string what = use.useOf(disk); !what.empty()) {
        return {Kind::InUse, std::move(what)};
    }
    return {isCardDisk(paths.sysfs, disk) ? Kind::Card : Kind::Fixed, {}};
}

}  // namespace qelv::platform

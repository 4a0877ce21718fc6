#include "platform/drive_discovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/disk_use.h"
#include "wyfs/wyfs.h"

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

// Partitions of a disk in name order, or the disk itself when it has none.
std::vector<std::string> partitionsOf(const fs::path& disk) {
    std::vector<std::string> parts;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(disk, error)) {
        if (fs::exists(entry.path() / "partition", error)) {
            parts.push_back(entry.path().filename().string());
        }
    }
    std::sort(parts.begin(), parts.end());
    if (parts.empty()) {
        parts.push_back(disk.filename().string());
    }
    return parts;
}

bool isFat(const std::string& type) {
    return type == "vfat" || type == "msdos" || type == "exfat";
}

bool opensReadWrite(const fs::path& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace

std::vector<fs::path> folderList(const std::string& text) {
    std::vector<fs::path> folders;
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find(':', start), text.size());
        if (end > start) {
            folders.emplace_back(text.substr(start, end - start));
        }
    }
    return folders;
}

SystemPaths systemPaths() {
    SystemPaths paths;
    const auto take = [](const char* name, fs::path& path) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            path = value;
        }
    };
    take("QELV_SYSFS", paths.sysfs);
    take("QELV_MOUNTINFO", paths.mountInfo);
    take("QELV_DEV", paths.devices);
    take("QELV_SWAPS", paths.swaps);
    if (const char* media = std::getenv("QELV_MEDIA"); media != nullptr && *media != '\0') {
        paths.removableMedia = folderList(media);
    }
    return paths;
}

std::vector<core::SourceDrive> discoverDrives(const SystemPaths& paths,
                                              const std::string& folderSearchText) {
    const auto mounts = readMountTable(paths.mountInfo);
    const DiskUse use = DiskUse::read(paths);
    const fs::path sysBlock = paths.sysfs / "block";
    std::vector<std::string> disks;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysBlock, error)) {
        const std::string name = entry.path().filename().string();
        if (cardVerdict(paths, use, name).kind == CardVerdict::Kind::Card) {
            disks.push_back(name);
        }
    }
    std::sort(disks.begin(), disks.end());

    std::vector<core::SourceDrive> drives;
    for (const std::string& disk : disks) {
        for (const std::string& part : partitionsOf(sysBlock / disk)) {
            const fs::path device = paths.devices / part;
            const auto mount = std::find_if(mounts.begin(), mounts.end(), [&](const MountEntry& m) {
                return m.source == device.string() && isFat(m.fsType);
            });
            core::SourceDrive drive;
            drive.driveIndex = static_cast<std::int32_t>(drives.size());
            drive.devicePath = device.string();
            if (mount != mounts.end()) {
                if (::access(mount->mountPoint.c_str(), R_OK | W_OK | X_OK) != 0) {
                    continue;
                }
                drive.label = mount->mountPoint == "/" ? "/" : mount->mountPoint + "/";
                drive.kind = core::SourceKind::FatDrive;
            } else if (QV_WyFS_Check_WyFS_partition(device.c_str()) != 0 &&
                       opensReadWrite(device)) {
                drive.label = device.string() + " (WYFS)";
                drive.kind = core::SourceKind::WyfsDrive;
            } else {
                continue;
            }
            drives.push_back(std::move(drive));
        }
    }
    core::SourceDrive folder;
    folder.driveIndex = -1;
    folder.label = folderSearchText;
    folder.kind = core::SourceKind::PcFolder;
    drives.push_back(std::move(folder));
    return drives;
}

}  // namespace qelv::platform

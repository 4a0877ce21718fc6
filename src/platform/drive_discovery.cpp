#include "platform/drive_discovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "wyfs/wyfs.h"

namespace qelv::platform {

namespace fs = std::filesystem;

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as three octal digits.
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
            out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                            (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string readLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The disk (a /sys/block entry) a device name belongs to: itself, or the disk that has a
// partition of that name.
std::string diskOf(const fs::path& sysBlock, const std::string& name) {
    std::error_code error;
    if (fs::exists(sysBlock / name, error)) {
        return name;
    }
    for (const auto& disk : fs::directory_iterator(sysBlock, error)) {
        if (fs::exists(disk.path() / name / "partition", error)) {
            return disk.path().filename().string();
        }
    }
    return {};
}

bool isCandidate(const fs::path& disk) {
    const std::string name = disk.filename().string();
    if (readLine(disk / "removable") == "1" || name.rfind("mmcblk", 0) == 0) {
        return true;
    }
    std::error_code error;
    const fs::path real = fs::canonical(disk, error);
    return !error && real.string().find("/usb") != std::string::npos;  // hot-plugged over USB
}

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

std::vector<MountEntry> readMountTable(const fs::path& mountInfo) {
    std::vector<MountEntry> entries;
    std::ifstream in(mountInfo);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) {
            words.push_back(word);
        }
        const auto dash = std::find(words.begin(), words.end(), "-");
        if (words.size() < 6 || dash == words.end() || words.end() - dash < 3) {
            continue;
        }
        entries.push_back({unescape(*(dash + 2)), unescape(words[4]), *(dash + 1)});
    }
    return entries;
}

std::vector<core::SourceDrive> discoverDrives(const SystemPaths& paths,
                                              const std::string& folderSearchText) {
    const auto mounts = readMountTable(paths.mountInfo);
    std::string systemDisk;
    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/") {
            systemDisk = diskOf(paths.sysBlock, fs::path(m.source).filename().string());
        }
    }
    std::vector<std::string> disks;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(paths.sysBlock, error)) {
        const std::string name = entry.path().filename().string();
        if (name != systemDisk && isCandidate(entry.path())) {
            disks.push_back(name);
        }
    }
    std::sort(disks.begin(), disks.end());

    std::vector<core::SourceDrive> drives;
    for (const std::string& disk : disks) {
        for (const std::string& part : partitionsOf(paths.sysBlock / disk)) {
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

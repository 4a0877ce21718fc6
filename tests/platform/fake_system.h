// A machine in a folder for the platform tests: a fake sysfs, /dev, mount table and swap list.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/system_paths.h"
#include "storage/recording_types.h"
#include "support/temp_dir.h"

namespace qelv::platform {

// A machine in a folder, laid out as the kernel shows it: each disk's folder under
// sys/devices, linked from sys/block and, like its partitions, from sys/class/block and by
// device number from sys/dev/block; device-mapper and md devices list their lower devices in
// "slaves" and are listed in their lower devices' "holders"; /dev holds image files for the
// nodes. Its removable-media folder is "media" in the machine's folder (mountPoint()).
class FakeSystem {
public:
    FakeSystem() {
        paths.sysfs = dir.path() / "sys";
        paths.mountInfo = dir.path() / "mountinfo";
        paths.devices = dir.path() / "dev";
        paths.swaps = dir.path() / "swaps";  // none until swaps() writes it
        paths.removableMedia.push_back(dir.path() / "media");
        std::filesystem::create_directories(paths.sysfs / "block");
        std::filesystem::create_directories(paths.sysfs / "dev/block");
        std::filesystem::create_directories(paths.sysfs / "class/block");
        std::filesystem::create_directories(paths.devices);
    }
    // A `bus` path with "/usb" in it makes a hot-plugged disk, otherwise an internal one.
    void disk(const std::string& name, bool removable, std::vector<std::string> partitions = {},
              const std::string& bus = "pci0000:00/ata1") {
        const std::filesystem::path folder = paths.sysfs / "devices" / bus / "block" / name;
        wholeDevice(folder, name, removable);
        for (const auto& part : partitions) {
            device(folder / part, part);
            dir.write(relative(folder / part / "partition"), "1\n");
        }
    }
    // A device-mapper ("dm-0") or md ("md127") device over `lower` (disks or partitions).
    void layer(const std::string& name, const std::vector<std::string>& lower,
               std::vector<std::string> partitions = {}) {
        const std::filesystem::path folder = paths.sysfs / "devices/virtual/block" / name;
        wholeDevice(folder, name, false);
        std::filesystem::create_directories(folder / "slaves");
        for (const auto& below : lower) {
            std::filesystem::create_directory_symlink(m_folders.at(below),
                                                      folder / "slaves" / below);
            std::filesystem::create_directories(m_folders.at(below) / "holders");
            std::filesystem::create_directory_symlink(folder,
                                                      m_folders.at(below) / "holders" / name);
        }
        for (const auto& part : partitions) {
            device(folder / part, part);
            dir.write(relative(folder / part / "partition"), "1\n");
        }
    }
    // What an mmcblk disk says it is: "SD" for a card, "MMC" for an eMMC on the board.
    void mmcType(const std::string& disk, const std::string& type) {
        dir.write(relative(m_folders.at(disk) / "device/type"), type + "\n");
    }
    // A mounted btrfs file system over `members`: sys/fs/btrfs/<uuid>/devices/<member> each.
    void btrfs(const std::string& uuid, const std::vector<std::string>& members) {
        const std::filesystem::path folder = paths.sysfs / "fs/btrfs" / uuid / "devices";
        std::filesystem::create_directories(folder);
        for (const auto& member : members) {
            std::filesystem::create_directory_symlink(m_folders.at(member), folder / member);
        }
    }
    // A loop device whose image is `image` (a path as the kernel shows it).
    void loop(const std::string& name, const std::string& image) {
        disk(name, false, {}, "virtual");
        dir.write(relative(m_folders.at(name) / "loop/backing_file"), image + "\n");
    }
    // The swap list: a header, then one area per name.
    void swaps(const std::vector<std::string>& names) {
        std::string text = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
        for (const auto& name : names) {
            text += name + "\t\tpartition\t1048572\t\t0\t\t-2\n";
        }
        dir.write("swaps", text);
    }
    // A named node such as "mapper/vg-root" that links to a kernel node.
    void alias(const std::string& node, const std::string& target) {
        std::filesystem::create_directories((paths.devices / node).parent_path());
        std::filesystem::create_symlink(paths.devices / target, paths.devices / node);
    }
    std::filesystem::path mountPoint(const std::string& name) {
        const std::filesystem::path point = dir.path() / "media" / name;
        std::filesystem::create_directories(point);
        return point;
    }
    void mounts(const std::string& lines) { dir.write("mountinfo", lines); }
    // `source` is a node below the fake /dev ("sdb1", "mapper/vg-root"); one starting with "/"
    // is taken as it is. The device number is the node's own unless one is given.
    std::string mountLine(int id, const std::string& source, const std::string& point,
                          const std::string& type, std::string number = {}) {
        if (number.empty()) {
            const auto known = m_numbers.find(source);
            number = known == m_numbers.end() ? "0:99" : known->second;
        }
        const std::string node = source.front() == '/' ? source : (paths.devices / source).string();
        return std::to_string(id) + " 1 " + number + " / " + point + " rw,relatime shared:1 - " +
               type + " " + node + " rw\n";
    }
    std::string numberOf(const std::string& name) const { return m_numbers.at(name); }
    std::vector<std::string> labels(const std::vector<core::SourceDrive>& drives) const {
        std::vector<std::string> out;
        for (const auto& drive : drives) {
            out.push_back(drive.label);
        }
        return out;
    }

    test::TempDir dir;
    SystemPaths paths;

private:
    std::string relative(const std::filesystem::path& path) const {
        return std::filesystem::relative(path, dir.path()).string();
    }
    void wholeDevice(const std::filesystem::path& folder, const std::string& name, bool removable) {
        device(folder, name);
        dir.write(relative(folder / "removable"), removable ? "1\n" : "0\n");
        std::filesystem::create_directory_symlink(folder, paths.sysfs / "block" / name);
    }
    void device(const std::filesystem::path& folder, const std::string& name) {
        const std::string number = "8:" + std::to_string(m_numbers.size());
        std::filesystem::create_directories(folder);
        dir.write(relative(folder / "dev"), number + "\n");
        std::filesystem::create_directory_symlink(folder, paths.sysfs / "dev/block" / number);
        std::filesystem::create_directory_symlink(folder, paths.sysfs / "class/block" / name);
        dir.write("dev/" + name, "");
        m_numbers[name] = number;
        m_folders[name] = folder;
    }

    std::map<std::string, std::string> m_numbers;
    std::map<std::string, std::filesystem::path> m_folders;
};

}  // namespace qelv::platform

// The mount table as the kernel reports it for this process (/proc/self/mountinfo).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qelv::platform {

struct MountEntry {
    std::string deviceNumber;  // "MAJ:MIN" of the mounted file system, e.g. "8:1"
    std::string source;        // e.g. "/dev/sdb1"
    std::string mountPoint;    // octal escapes (\040) decoded
    std::string fsType;
};

// Lines of a mountinfo file in file order; unreadable or malformed lines are skipped.
std::vector<MountEntry> readMountTable(const std::filesystem::path& mountInfo);

}  // namespace qelv::platform

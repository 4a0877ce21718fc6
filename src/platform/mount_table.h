// The mount table and the swap list as the kernel reports them for this process
// (/proc/self/mountinfo, /proc/swaps).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qelv::platform {

struct MountEntry {
    std::string deviceNumber;  // "MAJ:MIN" of the mounted file system, e.g. "8:1"
    std::string source;        // e.g. "/dev/sdb1"
    std::string mountPoint;    // octal escapes (\040) decoded
    std::string fsType;
};

// Lines of a mountinfo file in file order; malformed lines are skipped. Empty when the file
// cannot be read, is no regular file or is larger than any mount table (16 MiB): a machine
// always has "/" mounted, so an empty table means the mounts are unknown.
std::vector<MountEntry> readMountTable(const std::filesystem::path& mountInfo);

// The active swap areas' file names (partitions such as "/dev/sdb2" or swap files), escapes
// decoded. An empty list when the file does not exist (a kernel without swap); nothing when
// it exists but cannot be read as a swap list.
std::optional<std::vector<std::string>> readSwaps(const std::filesystem::path& swaps);

}  // namespace qelv::platform

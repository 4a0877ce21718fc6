// Reads a small text file whole: a mount table, a sysfs attribute, /proc/swaps, a settings
// file. Such files are read at every look at the machine, so a path that names something else
// (a device that never ends, such as /dev/zero, a pipe that blocks, a folder) or a file far
// larger than its kind can be must be refused rather than read.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace qelv::core {

// The whole content of the regular file at `path` (links followed), or nothing when it cannot
// be opened, is no regular file, cannot be read, or holds more than `maxBytes`. Files of the
// kernel's pseudo file systems report no size and are read to their end all the same.
std::optional<std::string> readTextFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace qelv::core

// A WyFS volume opened for reading: its checked directories and files, and the bytes of a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "wyfs/wyfs_format.h"

namespace qelv::wyfs {

class Volume {
public:
    // Opens a block device or image file read-only (read-write when `writable`). Nothing when
    // it cannot be opened or holds no valid WyFS superblock; damaged entries are skipped.
    static std::unique_ptr<Volume> open(const std::filesystem::path& path, bool writable = false);
    ~Volume();
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    const Superblock& superblock() const { return m_superblock; }
    const std::vector<DirEntry>& directories() const { return m_dirs; }
    const DirEntry* directory(std::string_view name) const;
    // The files of a directory in file-table order (indexes into files()).
    std::vector<std::size_t> filesIn(std::uint32_t dirId) const;
    const std::vector<FileRecord>& files() const { return m_files; }
    const FileRecord* file(std::string_view dirName, std::string_view fileName) const;
    std::uint64_t freeClusters() const;

    // Copies up to dst.size() bytes of `file` from `offset`; returns how many (0 at its end),
    // or -1 on a read error.
    std::int64_t read(const FileRecord& file, std::uint64_t offset,
                      std::span<std::uint8_t> dst) const;

    // Writing (image files opened writable). Adds a directory; adds a file with its data.
    // Both throw std::runtime_error with the reason on failure; the volume stays consistent.
    std::uint32_t addDirectory(const std::string& name);
    const FileRecord& addFile(const std::string& dirName, const std::string& fileName,
                              std::span<const std::uint8_t> data, std::int32_t time);

private:
    Volume(int fd, Superblock superblock);
    void loadTables();
    std::vector<Extent> allocate(std::uint32_t clusters) const;
    void writeAt(std::uint64_t offset, std::span<const std::uint8_t> data);

    int m_fd;
    Superblock m_superblock;
    std::vector<DirEntry> m_dirs;
    std::vector<std::size_t> m_dirSlots;  // table slot of each directory
    std::vector<FileRecord> m_files;
    std::vector<bool> m_slotUsed;  // file table slots holding a record (valid or not)
};

// Writes a new empty volume of `bytes` with the recorder's directories NOR, EVT, MOT and USR
// to `path` (an image file; written beside it and renamed into place). Throws on failure.
void formatImage(const std::filesystem::path& path, std::uint64_t bytes);

}  // namespace qelv::wyfs

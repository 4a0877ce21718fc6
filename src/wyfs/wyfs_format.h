// The WyFS on-disk layout (see FORMAT.md beside this file): constants, and the encoding and
// checking of the superblock, directory entries and file records.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qelv::wyfs {

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::array<std::uint8_t, 8> kMagic{0x57, 0x79, 0x46, 0x53, 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kDirEntrySize = 64;
inline constexpr std::uint32_t kDirNameSize = 48;
inline constexpr std::uint32_t kMaxDirs = 64;
inline constexpr std::uint32_t kFileRecordSize = 256;
inline constexpr std::uint32_t kFileNameSize = 64;
inline constexpr std::uint32_t kMaxFileSlots = 65536;
inline constexpr std::uint32_t kMaxExtents = 16;
inline constexpr std::uint32_t kMaxClusterSectors = 65536;

std::uint32_t crc32(std::span<const std::uint8_t> data);

struct Superblock {
    std::uint64_t totalSectors = 0;
    std::uint32_t dirTableSector = 0;
    std::uint32_t dirCount = 0;
    std::uint32_t fileTableSector = 0;
    std::uint32_t fileSlots = 0;
    std::uint32_t dataStartSector = 0;
    std::uint32_t clusterSectors = 0;
    std::uint32_t clusterCount = 0;
    std::uint32_t nextFileId = 1;

    std::uint64_t clusterBytes() const { return std::uint64_t{clusterSectors} * kSectorSize; }
    std::uint64_t dataOffset() const { return std::uint64_t{dataStartSector} * kSectorSize; }
};

struct DirEntry {
    std::string name;
    std::uint32_t id = 0;
};

struct Extent {
    std::uint32_t firstCluster = 0;
    std::uint32_t clusterCount = 0;
};

struct FileRecord {
    std::string name;
    std::uint32_t dirId = 0;
    std::int32_t fileId = 0;
    std::uint32_t size = 0;
    std::int32_t time = 0;
    std::vector<Extent> extents;
};

// Decoding checks everything a single block can tell: nothing for a bad magic, version,
// CRC, geometry that does not fit `deviceBytes`, or an entry that is unused or malformed.
std::optional<Superblock> decodeSuperblock(std::span<const std::uint8_t> sector,
                                           std::uint64_t deviceBytes);
std::optional<DirEntry> decodeDirEntry(std::span<const std::uint8_t> entry);
std::optional<FileRecord> decodeFileRecord(std::span<const std::uint8_t> record,
                                           const Superblock& superblock);

std::vector<std::uint8_t> encodeSuperblock(const Superblock& superblock);
std::vector<std::uint8_t> encodeDirEntry(const DirEntry& entry);
std::vector<std::uint8_t> encodeFileRecord(const FileRecord& record);

// The geometry a new volume of `bytes` gets; nothing when it is too small to hold one cluster.
std::optional<Superblock> layoutFor(std::uint64_t bytes);

}  // namespace qelv::wyfs

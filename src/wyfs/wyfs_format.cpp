#include "wyfs/wyfs_format.h"

#include "common/byte_order.h"

#include <algorithm>
#include <cstring>

namespace qelv::wyfs {

namespace {

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return core::readLe32(b.data() + at);
}

std::uint64_t get64(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint64_t{get32(b, at)} | (std::uint64_t{get32(b, at + 4)} << 32);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    put32(b, at, static_cast<std::uint32_t>(v));
    put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

bool crcMatches(std::span<const std::uint8_t> block) {
    const std::size_t body = block.size() - 4;
    return crc32(block.first(body)) == get32(block, body);
}

void sealWithCrc(std::vector<std::uint8_t>& block) {
    const std::size_t body = block.size() - 4;
    put32(block, body, crc32(std::span(block).first(body)));
}

// A zero-terminated name inside `field`; nothing when there is no terminator or it is empty.
std::optional<std::string> nameIn(std::span<const std::uint8_t> field) {
    const auto zero = std::find(field.begin(), field.end(), 0);
    if (zero == field.end() || zero == field.begin()) {
        return std::nullopt;
    }
    return std::string(field.begin(), zero);
}

std::uint64_t sectorsFor(std::uint64_t bytes) {
    return (bytes + kSectorSize - 1) / kSectorSize;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data) {
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

std::optional<Superblock> decodeSuperblock(std::span<const std::uint8_t> s,
                                           std::uint64_t deviceBytes) {
    if (s.size() < kSectorSize || !std::equal(kMagic.begin(), kMagic.end(), s.begin()) ||
        get32(s, 8) != kVersion || get32(s, 12) != kSectorSize ||
        !crcMatches(s.first(kSectorSize))) {
        return std::nullopt;
    }
    Superblock b;
    b.totalSectors = get64(s, 16);
    b.dirTableSector = get32(s, 24);
    b.dirCount = get32(s, 28);
    b.fileTableSector = get32(s, 32);
    b.fileSlots = get32(s, 36);
    b.dataStartSector = get32(s, 40);
    b.clusterSectors = get32(s, 44);
    b.clusterCount = get32(s, 48);
    b.nextFileId = get32(s, 52);
    const std::uint64_t dirEnd =
        b.dirTableSector + sectorsFor(std::uint64_t{b.dirCount} * kDirEntrySize);
    const std::uint64_t fileEnd =
        b.fileTableSector + sectorsFor(std::uint64_t{b.fileSlots} * kFileRecordSize);
    const std::uint64_t dataEnd =
        b.dataStartSector + std::uint64_t{b.clusterCount} * b.clusterSectors;
    const bool ordered = b.dirTableSector >= 1 && b.fileTableSector >= dirEnd &&
                         b.dataStartSector >= fileEnd && dataEnd <= b.totalSectors;
    const bool bounded = b.dirCount >= 1 && b.dirCount <= kMaxDirs && b.fileSlots >= 1 &&
                         b.fileSlots <= kMaxFileSlots && b.clusterSectors >= 1 &&
                         b.clusterSectors <= kMaxClusterSectors &&
                         b.totalSectors <= deviceBytes / kSectorSize;
    if (!ordered || !bounded) {
        return std::nullopt;
    }
    return b;
}

std::optional<DirEntry> decodeDirEntry(std::span<const std::uint8_t> e) {
    if (e.size() < kDirEntrySize || !crcMatches(e.first(kDirEntrySize))) {
        return std::nullopt;
    }
    const auto name = nameIn(e.first(kDirNameSize));
    const std::uint32_t id = get32(e, 48);
    if (!name || id == 0) {
        return std::nullopt;
    }
    return DirEntry{*name, id};
}

std::optional<FileRecord> decodeFileRecord(std::span<const std::uint8_t> r,
                                           const Superblock& superblock) {
    if (r.size() < kFileRecordSize || !crcMatches(r.first(kFileRecordSize))) {
        return std::nullopt;
    }
    FileRecord f;
    const auto name = nameIn(r.first(kFileNameSize));
    f.dirId = get32(r, 64);
    f.fileId = static_cast<std::int32_t>(get32(r, 68));
    f.size = get32(r, 72);
    f.time = static_cast<std::int32_t>(get32(r, 76));
    const std::uint32_t extents = get32(r, 80);
    if (!name || f.fileId <= 0 || f.dirId == 0 || extents > kMaxExtents) {
        return std::nullopt;
    }
    f.name = *name;
    std::uint64_t capacity = 0;
    for (std::uint32_t i = 0; i < extents; ++i) {
        const Extent e{get32(r, 84 + 8 * i), get32(r, 88 + 8 * i)};
        if (e.clusterCount == 0 ||
            std::uint64_t{e.firstCluster} + e.clusterCount > superblock.clusterCount) {
            return std::nullopt;
        }
        for (const Extent& other : f.extents) {
            if (e.firstCluster < other.firstCluster + other.clusterCount &&
                other.firstCluster < e.firstCluster + e.clusterCount) {
                return std::nullopt;  // a file that reads one cluster twice
            }
        }
        capacity += std::uint64_t{e.clusterCount} * superblock.clusterBytes();
        f.extents.push_back(e);
    }
    if (capacity < f.size) {
        return std::nullopt;
    }
    return f;
}

std::vector<std::uint8_t> encodeSuperblock(const Superblock& b) {
    std::vector<std::uint8_t> s(kSectorSize, 0);
    std::copy(kMagic.begin(), kMagic.end(), s.begin());
    put32(s, 8, kVersion);
    put32(s, 12, kSectorSize);
    put64(s, 16, b.totalSectors);
    put32(s, 24, b.dirTableSector);
    put32(s, 28, b.dirCount);
    put32(s, 32, b.fileTableSector);
    put32(s, 36, b.fileSlots);
    put32(s, 40, b.dataStartSector);
    put32(s, 44, b.clusterSectors);
    put32(s, 48, b.clusterCount);
    put32(s, 52, b.nextFileId);
    sealWithCrc(s);
    return s;
}

std::vector<std::uint8_t> encodeDirEntry(const DirEntry& entry) {
    std::vector<std::uint8_t> e(kDirEntrySize, 0);
    std::memcpy(e.data(), entry.name.data(),
                std::min<std::size_t>(entry.name.size(), kDirNameSize - 1));
    put32(e, 48, entry.id);
    sealWithCrc(e);
    return e;
}

std::vector<std::uint8_t> encodeFileRecord(const FileRecord& f) {
    std::vector<std::uint8_t> r(kFileRecordSize, 0);
    std::memcpy(r.data(), f.name.data(), std::min<std::size_t>(f.name.size(), kFileNameSize - 1));
    put32(r, 64, f.dirId);
    put32(r, 68, static_cast<std::uint32_t>(f.fileId));
    put32(r, 72, f.size);
    put32(r, 76, static_cast<std::uint32_t>(f.time));
    const std::size_t extents = std::min<std::size_t>(f.extents.size(), kMaxExtents);
    put32(r, 80, static_cast<std::uint32_t>(extents));
    for (std::size_t i = 0; i < extents; ++i) {
        put32(r, 84 + 8 * i, f.extents[i].firstCluster);
        put32(r, 88 + 8 * i, f.extents[i].clusterCount);
    }
    sealWithCrc(r);
    return r;
}

std::optional<Superblock> layoutFor(std::uint64_t bytes) {
    Superblock b;
    b.totalSectors = bytes / kSectorSize;
    b.dirTableSector = 1;
    b.dirCount = 16;
    b.fileTableSector = 1 + static_cast<std::uint32_t>(sectorsFor(b.dirCount * kDirEntrySize));
    b.fileSlots = 4096;
    b.clusterSectors = 128;  // 64 KiB
    const std::uint64_t fileEnd =
        b.fileTableSector + sectorsFor(std::uint64_t{b.fileSlots} * kFileRecordSize);
    b.dataStartSector = static_cast<std::uint32_t>((fileEnd + b.clusterSectors - 1) /
                                                   b.clusterSectors * b.clusterSectors);
    if (b.totalSectors < b.dataStartSector + b.clusterSectors) {
        return std::nullopt;
    }
    const std::uint64_t clusters = (b.totalSectors - b.dataStartSector) / b.clusterSectors;
    b.clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusters, 0xFFFFFFFFu));
    b.nextFileId = 1;
    return b;
}

}  // namespace qelv::wyfs

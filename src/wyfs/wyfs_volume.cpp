#include "wyfs/wyfs_volume.h"

#include "common/posix_io.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

namespace qelv::wyfs {

namespace {

bool readFully(int fd, std::uint64_t offset, std::span<std::uint8_t> dst) {
    return core::readAt(fd, offset, dst) == dst.size();
}

std::uint64_t deviceSize(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return 0;
    }
    if (S_ISBLK(info.st_mode)) {
        std::uint64_t bytes = 0;
        return ::ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
    }
    return S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::uint64_t dirOffset(const Superblock& b, std::size_t slot) {
    return std::uint64_t{b.dirTableSector} * kSectorSize + slot * kDirEntrySize;
}

std::uint64_t fileOffset(const Superblock& b, std::size_t slot) {
    return std::uint64_t{b.fileTableSector} * kSectorSize + slot * kFileRecordSize;
}

}  // namespace

std::unique_ptr<Volume> Volume::open(const std::filesystem::path& path, bool writable) {
    const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    const std::uint64_t bytes = deviceSize(fd);
    std::vector<std::uint8_t> sector(kSectorSize);
    std::optional<Superblock> superblock;
    if (bytes >= kSectorSize && readFully(fd, 0, sector)) {
        superblock = decodeSuperblock(sector, bytes);
    }
    if (!superblock) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<Volume> volume(new Volume(fd, *superblock));
    volume->loadTables();
    return volume;
}

Volume::Volume(int fd, Superblock superblock) : m_fd(fd), m_superblock(superblock) {}

Volume::~Volume() {
    ::close(m_fd);
}

void Volume::loadTables() {
    const Superblock& b = m_superblock;
    std::vector<std::uint8_t> dirs(std::size_t{b.dirCount} * kDirEntrySize);
    std::vector<std::uint8_t> files(std::size_t{b.fileSlots} * kFileRecordSize);
    if (!readFully(m_fd, dirOffset(b, 0), dirs) || !readFully(m_fd, fileOffset(b, 0), files)) {
        return;  // unreadable tables: an empty volume
    }
    std::set<std::string> dirNames;
    for (std::size_t i = 0; i < b.dirCount; ++i) {
        const auto entry =
            decodeDirEntry(std::span(dirs).subspan(i * kDirEntrySize, kDirEntrySize));
        if (entry && !directory(entry->name) &&
            std::none_of(m_dirs.begin(), m_dirs.end(),
                         [&](const auto& d) { return d.id == entry->id; })) {
            m_dirs.push_back(*entry);
            m_dirSlots.push_back(i);
        }
    }
    // Clusters taken by files accepted so far: first cluster -> one past the last.
    std::map<std::uint32_t, std::uint64_t> taken;
    auto overlapsTaken = [&](const Extent& e) {
        auto next = taken.lower_bound(e.firstCluster);
        if (next != taken.end() && next->first < std::uint64_t{e.firstCluster} + e.clusterCount) {
            return true;
        }
        return next != taken.begin() && std::prev(next)->second > e.firstCluster;
    };
    std::set<std::int32_t> ids;
    m_slotUsed.assign(b.fileSlots, false);
    for (std::size_t i = 0; i < b.fileSlots; ++i) {
        const auto raw = std::span(files).subspan(i * kFileRecordSize, kFileRecordSize);
        m_slotUsed[i] = std::any_of(raw.begin(), raw.end(), [](std::uint8_t v) { return v != 0; });
        const auto record = decodeFileRecord(raw, b);
        if (!record || ids.contains(record->fileId) ||
            std::none_of(m_dirs.begin(), m_dirs.end(),
                         [&](const auto& d) { return d.id == record->dirId; }) ||
            std::any_of(record->extents.begin(), record->extents.end(), overlapsTaken)) {
            continue;
        }
        for (const Extent& e : record->extents) {
            taken[e.firstCluster] = std::uint64_t{e.firstCluster} + e.clusterCount;
        }
        ids.insert(record->fileId);
        m_files.push_back(*record);
    }
}

const DirEntry* Volume::directory(std::string_view name) const {
    const auto it =
        std::find_if(m_dirs.begin(), m_dirs.end(), [&](const auto& d) { return d.name == name; });
    return it == m_dirs.end() ? nullptr : &*it;
}

std::vector<std::size_t> Volume::filesIn(std::uint32_t dirId) const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].dirId == dirId) {
            out.push_back(i);
        }
    }
    return out;
}

const FileRecord* Volume::file(std::string_view dirName, std::string_view fileName) const {
    const DirEntry* dir = directory(dirName);
    if (dir == nullptr) {
        return nullptr;
    }
    const auto it = std::find_if(m_files.begin(), m_files.end(), [&](const auto& f) {
        return f.dirId == dir->id && f.name == fileName;
    });
    return it == m_files.end() ? nullptr : &*it;
}

std::uint64_t Volume::freeClusters() const {
    std::uint64_t used = 0;
    for (const FileRecord& f : m_files) {
        for (const Extent& e : f.extents) {
            used += e.clusterCount;
        }
    }
    return m_superblock.clusterCount - std::min<std::uint64_t>(used, m_superblock.clusterCount);
}

std::int64_t Volume::read(const FileRecord& file, std::uint64_t offset,
                          std::span<std::uint8_t> dst) const {
    if (offset >= file.size) {
        return 0;
    }
    const std::uint64_t clusterBytes = m_superblock.clusterBytes();
    std::size_t done = 0;
    std::uint64_t want = std::min<std::uint64_t>(dst.size(), file.size - offset);
    std::uint64_t extentStart = 0;  // file offset of the current extent
    for (const Extent& e : file.extents) {
        const std::uint64_t extentBytes = std::uint64_t{e.clusterCount} * clusterBytes;
        while (want > 0 && offset >= extentStart && offset < extentStart + extentBytes) {
            const std::uint64_t inside = offset - extentStart;
            const std::uint64_t n = std::min(want, extentBytes - inside);
            const std::uint64_t at =
                m_superblock.dataOffset() + std::uint64_t{e.firstCluster} * clusterBytes + inside;
            if (!readFully(m_fd, at, dst.subspan(done, n))) {
                return -1;
            }
            done += n;
            offset += n;
            want -= n;
        }
        extentStart += extentBytes;
    }
    return static_cast<std::int64_t>(done);
}

void Volume::writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (!core::writeAt(m_fd, offset, data)) {
        throw std::runtime_error(std::string("write failed: ") + std::strerror(errno));
    }
}

std::uint32_t Volume::addDirectory(const std::string& name) {
    if (name.empty() || name.size() >= kDirNameSize || name.find('/') != std::string::npos) {
        throw std::runtime_error("a directory name has 1 to 47 bytes and no '/'");
    }
    if (const DirEntry* existing = directory(name)) {
        return existing->id;
    }
    std::uint32_t id = 1;
    for (const DirEntry& d : m_dirs) {
        id = std::max(id, d.id + 1);
    }
    for (std::size_t slot = 0; slot < m_superblock.dirCount; ++slot) {
        if (std::find(m_dirSlots.begin(), m_dirSlots.end(), slot) == m_dirSlots.end()) {
            writeAt(dirOffset(m_superblock, slot), encodeDirEntry({name, id}));
            ::fsync(m_fd);
            m_dirs.push_back({name, id});
            m_dirSlots.push_back(slot);
            return id;
        }
    }
    throw std::runtime_error("the directory table is full");
}

std::vector<Extent> Volume::allocate(std::uint32_t clusters) const {
    std::vector<Extent> used;
    for (const FileRecord& f : m_files) {
        used.insert(used.end(), f.extents.begin(), f.extents.end());
    }
    std::sort(used.begin(), used.end(),
              [](const Extent& a, const Extent& b) { return a.firstCluster < b.firstCluster; });
    // The free gaps, in cluster order.
    std::vector<Extent> gaps;
    std::uint64_t cursor = 0;
    for (const Extent& e : used) {
        if (e.firstCluster > cursor) {
            gaps.push_back({static_cast<std::uint32_t>(cursor),
                            static_cast<std::uint32_t>(e.firstCluster - cursor)});
        }
        cursor = std::max<std::uint64_t>(cursor, std::uint64_t{e.firstCluster} + e.clusterCount);
    }
    if (cursor < m_superblock.clusterCount) {
        gaps.push_back({static_cast<std::uint32_t>(cursor),
                        static_cast<std::uint32_t>(m_superblock.clusterCount - cursor)});
    }
    for (const Extent& gap : gaps) {  // one piece where it fits
        if (gap.clusterCount >= clusters) {
            return {{gap.firstCluster, clusters}};
        }
    }
    std::vector<Extent> pieces;
    for (const Extent& gap : gaps) {
        if (clusters == 0 || pieces.size() == kMaxExtents) {
            break;
        }
        const std::uint32_t n = std::min(gap.clusterCount, clusters);
        pieces.push_back({gap.firstCluster, n});
        clusters -= n;
    }
    if (clusters > 0) {
        throw std::runtime_error("not enough free space on the volume");
    }
    return pieces;
}

const FileRecord& Volume::addFile(const std::string& dirName, const std::string& fileName,
                                  std::span<const std::uint8_t> data, std::int32_t time) {
    if (fileName.empty() || fileName.size() >= kFileNameSize) {
        throw std::runtime_error("a file name has 1 to 63 bytes");
    }
    if (data.size() > 0xFFFFFFFFu) {
        throw std::runtime_error("a file holds at most 4 GiB");
    }
    if (file(dirName, fileName) != nullptr) {
        throw std::runtime_error("the directory already holds " + fileName);
    }
    const std::uint32_t dirId = addDirectory(dirName);
    const auto slot = std::find(m_slotUsed.begin(), m_slotUsed.end(), false);
    if (slot == m_slotUsed.end()) {
        throw std::runtime_error("the file table is full");
    }
    const std::uint64_t clusterBytes = m_superblock.clusterBytes();
    const auto clusters = static_cast<std::uint32_t>(
        std::max<std::uint64_t>(1, (data.size() + clusterBytes - 1) / clusterBytes));
    FileRecord record{fileName,
                      dirId,
                      static_cast<std::int32_t>(m_superblock.nextFileId),
                      static_cast<std::uint32_t>(data.size()),
                      time,
                      allocate(clusters)};
    // Data first, then the record that points at it, then the next id.
    std::size_t written = 0;
    for (const Extent& e : record.extents) {
        const std::size_t n = std::min<std::uint64_t>(data.size() - written,
                                                      std::uint64_t{e.clusterCount} * clusterBytes);
        writeAt(m_superblock.dataOffset() + std::uint64_t{e.firstCluster} * clusterBytes,
                data.subspan(written, n));
        written += n;
    }
    if (::fsync(m_fd) != 0) {
        throw std::runtime_error(std::string("flush failed: ") + std::strerror(errno));
    }
    const auto index = static_cast<std::size_t>(slot - m_slotUsed.begin());
    writeAt(fileOffset(m_superblock, index), encodeFileRecord(record));
    ::fsync(m_fd);
    m_superblock.nextFileId += 1;
    writeAt(0, encodeSuperblock(m_superblock));
    ::fsync(m_fd);
    *slot = true;
    m_files.push_back(std::move(record));
    return m_files.back();
}

void formatImage(const std::filesystem::path& path, std::uint64_t bytes) {
    const auto layout = layoutFor(bytes);
    if (!layout) {
        throw std::runtime_error("too small for a WyFS volume");
    }
    const std::filesystem::path temp = path.string() + ".partial";
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + temp.string() + ": " + std::strerror(errno));
    }
    auto fail = [&](const std::string& why) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw std::runtime_error(why);
    };
    if (::ftruncate(fd, static_cast<off_t>(layout->totalSectors * kSectorSize)) != 0) {
        fail(std::string("cannot size the image: ") + std::strerror(errno));
    }
    std::vector<std::uint8_t> block = encodeSuperblock(*layout);
    std::uint32_t id = 1;
    for (const char* name : {"NOR", "EVT", "MOT", "USR"}) {
        const auto entry = encodeDirEntry({name, id});
        block.resize(dirOffset(*layout, id - 1));
        block.insert(block.end(), entry.begin(), entry.end());
        ++id;
    }
    if (::pwrite(fd, block.data(), block.size(), 0) != static_cast<ssize_t>(block.size()) ||
        ::fsync(fd) != 0) {
        fail(std::string("cannot write the image: ") + std::strerror(errno));
    }
    ::close(fd);
    std::filesystem::rename(temp, path);
}

}  // namespace qelv::wyfs

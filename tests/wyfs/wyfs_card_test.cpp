// Cards as a recorder leaves them after months of use: full to the last cluster, files in
// pieces and out of cluster order, freed and reused table slots, the largest file there can
// be. The images are written here from the documented layout alone (a writer of our own), and
// what each file must hold is known before the library reads a byte of it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_listing.h"

namespace qelv::wyfs {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint8_t kSlack = 0xEE;  // what lies in a cluster past a file's end

struct Piece {
    std::uint32_t first, count;  // clusters
};

void le32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// zlib's CRC-32, bit by bit.
std::uint32_t crcOf(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
        }
    }
    return ~crc;
}

void seal(std::vector<std::uint8_t>& block) {
    le32(block, block.size() - 4, crcOf(block.data(), block.size() - 4));
}

// A card image written straight from the on-disk layout: superblock in sector 0, the directory
// table from sector 1, the file table after it, the data area after that and nothing beyond.
class CardWriter {
public:
    CardWriter(const std::filesystem::path& path, std::uint32_t clusterSectors,
               std::uint32_t clusterCount, std::uint32_t dirCount, std::uint32_t fileSlots)
        : m_clusterBytes(std::uint64_t{clusterSectors} * kSector),
          m_fileSector(1 + (dirCount * 64 + kSector - 1) / kSector),
          m_dataSector(m_fileSector + (fileSlots * 256 + kSector - 1) / kSector),
          m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
        const std::uint64_t total = m_dataSector + std::uint64_t{clusterCount} * clusterSectors;
        EXPECT_EQ(::ftruncate(m_fd, static_cast<off_t>(total * kSector)), 0);
        std::vector<std::uint8_t> s(512, 0);
        std::memcpy(s.data(), "WyFS\r\n\x1a\n", 8);
        le32(s, 8, 1);
        le32(s, 12, 512);
        le32(s, 16, static_cast<std::uint32_t>(total));
        le32(s, 20, static_cast<std::uint32_t>(total >> 32));
        le32(s, 24, 1);
        le32(s, 28, dirCount);
        le32(s, 32, static_cast<std::uint32_t>(m_fileSector));
        le32(s, 36, fileSlots);
        le32(s, 40, static_cast<std::uint32_t>(m_dataSector));
        le32(s, 44, clusterSectors);
        le32(s, 48, clusterCount);
        le32(s, 52, 1000);
        seal(s);
        put(0, s);
    }
    ~CardWriter() { ::close(m_fd); }

    void directory(std::uint32_t slot, const std::string& name, std::uint32_t id) {
        std::vector<std::uint8_t> e(64, 0);
        std::memcpy(e.data(), name.data(), name.size());
        le32(e, 48, id);
        seal(e);
        put(kSector + slot * 64, e);
    }

    // A file record; `stale` is what the slot held before (a longer name, more extents) and
    // stays where the new record does not write.
    void record(std::uint32_t slot, const std::string& name, std::uint32_t dirId,
                std::int32_t fileId, std::uint32_t size, std::int32_t time,
                const std::vector<Piece>& pieces, std::vector<std::uint8_t> stale = {}) {
        std::vector<std::uint8_t> r = stale.empty() ? std::vector<std::uint8_t>(256, 0) : stale;
        std::memcpy(r.data(), name.c_str(), name.size() + 1);
        le32(r, 64, dirId);
        le32(r, 68, static_cast<std::uint32_t>(fileId));
        le32(r, 72, size);
        le32(r, 76, static_cast<std::uint32_t>(time));
        le32(r, 80, static_cast<std::uint32_t>(pieces.size()));
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            le32(r, 84 + 8 * i, pieces[i].first);
            le32(r, 88 + 8 * i, pieces[i].count);
        }
        seal(r);
        put(m_fileSector * kSector + slot * 256, r);
        m_lastRecord = r;
    }
    const std::vector<std::uint8_t>& lastRecord() const { return m_lastRecord; }

    // Where byte `offset` of a file made of `pieces` lies on the card.
    std::uint64_t where(const std::vector<Piece>& pieces, std::uint64_t offset) const {
        std::uint64_t cluster = offset / m_clusterBytes;
        for (const Piece& p : pieces) {
            if (cluster < p.count) {
                return (m_dataSector * kSector) + (p.first + cluster) * m_clusterBytes +
                       offset % m_clusterBytes;
            }
            cluster -= p.count;
        }
        ADD_FAILURE() << "offset " << offset << " lies past the file's clusters";
        return 0;
    }

    // Writes `bytes` as the file's bytes from `offset`, cluster by cluster.
    void content(const std::vector<Piece>& pieces, std::uint64_t offset,
                 const std::vector<std::uint8_t>& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const std::uint64_t at = offset + done;
            const std::size_t n =
                std::min<std::uint64_t>(bytes.size() - done, m_clusterBytes - at % m_clusterBytes);
            put(where(pieces, at), {bytes.begin() + static_cast<std::ptrdiff_t>(done),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(done + n)});
            done += n;
        }
    }

    // The whole file, the rest of its last cluster filled with slack.
    void file(const std::vector<Piece>& pieces, const std::vector<std::uint8_t>& bytes) {
        std::uint64_t clusters = 0;
        for (const Piece& p : pieces) {
            clusters += p.count;
        }
        std::vector<std::uint8_t> padded = bytes;
        padded.resize(clusters * m_clusterBytes, kSlack);
        content(pieces, 0, padded);
    }

private:
    void put(std::uint64_t at, const std::vector<std::uint8_t>& b) {
        ASSERT_EQ(::pwrite(m_fd, b.data(), b.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(b.size()));
    }

    std::uint64_t m_clusterBytes;
    std::uint64_t m_fileSector;
    std::uint64_t m_dataSector;
    int m_fd;
    std::vector<std::uint8_t> m_lastRecord;
};

// Bytes that differ from file to file and do not repeat with the cluster size.
std::vector<std::uint8_t> pattern(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + i / 509);
    }
    return b;
}

std::uint8_t byteAt(std::uint64_t offset) {
    return static_cast<std::uint8_t>((offset * 2654435761u) >> 13);
}

struct Opened {
    explicit Opened(const std::filesystem::path& image) {
        EXPECT_EQ(QV_WyFS_Device_Open(image.c_str(), 130, &device), 0);
    }
    ~Opened() { QV_WyFS_Device_Close(&device); }
    CardDeviceHandle device{};
};

// Reads a whole file through the library in steps of `step` bytes.
std::vector<std::uint8_t> readAll(CardDeviceHandle& device, const char* dir, const char* name,
                                  std::uint32_t step) {
    CardFileHandle file{};
    if (QV_WyFS_File_Open(&device, dir, name, &file) != 0) {
        ADD_FAILURE() << name << " does not open";
        return {};
    }
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buffer(step);
    for (;;) {
        const std::int64_t n = QV_WyFS_File_Read(&file, out.size(), buffer.data(), step);
        if (n <= 0) {
            EXPECT_EQ(n, 0) << name;
            break;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    QV_WyFS_File_Close(&file);
    return out;
}

TEST(WyfsCard, FullCardOfReusedSlotsListsAndReadsEveryFile) {
    test::TempDir dir;
    const auto image = dir.path() / "card.img";
    // 24 clusters of 512 bytes, every one of them taken:
    //   0-2 a (its 2nd piece)  3-9 b  10-14 a (its 1st piece)  15 u  16-20 c  21-23 clip
    CardWriter card(image, 1, 24, 4, 8);
    card.directory(0, "EVT", 7);
    card.directory(1, "MOT", 0);  // a removed directory
    card.directory(2, "NOR", 3);
    card.directory(3, "USR", 12);
    struct File {
        std::uint32_t slot;
        const char* dir;
        std::uint32_t dirId;
        const char* name;
        std::int32_t id;
        std::uint32_t size;
        std::vector<Piece> pieces;
    };
    const File files[] = {
        // Ends where the reused slot's file begins.
        {0, "NOR", 3, "20240131_120200_1CH_N_F.avi", 12, 5 * 512, {{16, 5}}},
        // In two pieces, the later clusters first: its first piece ends where u begins.
        {2, "EVT", 7, "20240131_120000_2CH_E_F.avi", 14, 8 * 512 - 100, {{10, 5}, {0, 3}}},
        // Begins where a's second piece ends and ends where its first begins.
        {3, "NOR", 3, "20240131_120100_1CH_N_F.avi", 13, 7 * 512 - 1, {{3, 7}}},
        {5, "NOR", 3, "empty.avi", 15, 0, {}},
        {7, "USR", 12, "20240131_115900_1CH_U_F.avi", 2, 1, {{15, 1}}},
    };
    for (const File& f : files) {
        card.record(f.slot, f.name, f.dirId, f.id, f.size, 1706702400 + f.id, f.pieces);
        card.file(f.pieces, pattern(f.size, static_cast<std::uint32_t>(f.id)));
    }
    // Slot 1 was freed (id 0) and still names the clusters a took over.
    card.record(1, "20240131_110000_1CH_N_F.avi", 3, 0, 4000, 0, {{10, 5}, {0, 3}});
    // Slot 4 held a file of three pieces; the new, shorter record was written over it and
    // leaves the old name's tail and pieces behind. Its file ends at the card's last cluster.
    card.record(4, "20240131_110100_1CH_N_F.avi", 3, 9, 3000, 0, {{21, 3}, {3, 2}, {0, 1}});
    card.record(4, "clip.avi", 3, 16, 3 * 512 - 200, 1706702416, {{21, 3}}, card.lastRecord());
    card.file({{21, 3}}, pattern(3 * 512 - 200, 16));

    Opened opened(image);
    CardMasterInfo info{};
    ASSERT_EQ(QV_WyFS_Get_Master_Device_Info(image.c_str(), &info), 0);
    std::uint32_t clusters = 0, free = 0;
    std::memcpy(&clusters, info.bytes + 20, 4);
    std::memcpy(&free, info.bytes + 24, 4);
    EXPECT_EQ(clusters, 24u);
    EXPECT_EQ(free, 0u);

    // Table order within each directory.
    const std::vector<std::pair<const char*, std::vector<std::string>>> listings{
        {"NOR",
         {"20240131_120200_1CH_N_F.avi 12 2560", "20240131_120100_1CH_N_F.avi 13 3583",
          "clip.avi 16 1336", "empty.avi 15 0"}},
        {"EVT", {"20240131_120000_2CH_E_F.avi 14 3996"}},
        {"USR", {"20240131_115900_1CH_U_F.avi 2 1"}},
        {"MOT", {}},
    };
    for (const auto& [name, expected] : listings) {
        std::vector<std::string> listed;
        for (const ListedFile& f : listDirectory(&opened.device, name)) {
            listed.push_back(f.name + " " + std::to_string(f.id) + " " + std::to_string(f.size));
            EXPECT_EQ(f.time, 1706702400 + f.id) << f.name;
        }
        EXPECT_EQ(listed, expected) << name;
    }
    EXPECT_EQ(QV_WyFS_Get_Dir_Info(&opened.device, "MOT", nullptr, nullptr, nullptr), -1);

    std::vector<File> all(std::begin(files), std::end(files));
    all.push_back({4, "NOR", 3, "clip.avi", 16, 3 * 512 - 200, {{21, 3}}});
    for (const File& f : all) {
        const auto expected = pattern(f.size, static_cast<std::uint32_t>(f.id));
        // In one read past the end, and in odd steps that straddle clusters and pieces.
        for (std::uint32_t step : {1u << 16, 333u}) {
            EXPECT_TRUE(readAll(opened.device, f.dir, f.name, step) == expected)
                << f.name << " in steps of " << step;
        }
    }
}

// 4 GiB less one byte, the most a record's 32-bit size can hold, in sixteen pieces of the
// largest clusters, scattered over the last 4 GiB of a card, most of them beyond its first
// 4 GiB. The image is sparse: only the bytes around every cluster boundary are written, and
// read back.
TEST(WyfsCard, LargestFileReadsAcrossEveryPieceToItsLastByte) {
    test::TempDir dir;
    const auto image = dir.path() / "card.img";
    constexpr std::uint32_t kClusterSectors = 65536;
    constexpr std::uint64_t kClusterBytes = std::uint64_t{kClusterSectors} * kSector;
    constexpr std::uint32_t kSize = 0xFFFFFFFFu;
    CardWriter card(image, kClusterSectors, 136, 1, 2);
    card.directory(0, "NOR", 1);
    std::vector<Piece> pieces;
    for (std::uint32_t at :
         {15u, 3u, 8u, 0u, 12u, 6u, 1u, 10u, 14u, 4u, 9u, 2u, 13u, 7u, 11u, 5u}) {
        pieces.push_back({8 + at * 8, 8});  // the first piece ends at the last cluster
    }
    card.record(1, "20240131_120000_3CH_N_F.avi", 1, 1, kSize, 1706702400, pieces);
    constexpr std::uint64_t kWindow = 48;
    auto windowAt = [&](std::uint64_t from, std::uint64_t n) {
        std::vector<std::uint8_t> b(n);
        for (std::uint64_t i = 0; i < n; ++i) {
            b[i] = byteAt(from + i);
        }
        return b;
    };
    for (std::uint64_t boundary = 0; boundary <= kSize; boundary += kClusterBytes) {
        const std::uint64_t from = boundary == 0 ? 0 : boundary - kWindow;
        card.content(pieces, from,
                     windowAt(from, std::min(kSize - from, boundary + kWindow - from)));
    }
    card.content(pieces, kSize - kWindow, windowAt(kSize - kWindow, kWindow));
    card.content(pieces, kSize, {kSlack});

    Opened opened(image);
    const auto listed = listDirectory(&opened.device, "NOR");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].size, kSize);
    std::uint64_t used = 0;
    EXPECT_EQ(QV_WyFS_Get_Dir_Info(&opened.device, "NOR", nullptr, nullptr, &used), 0);
    EXPECT_EQ(used, kSize);
    CardFileHandle file{};
    ASSERT_EQ(QV_WyFS_File_Open(&opened.device, "NOR", listed[0].name.c_str(), &file), 0);
    EXPECT_EQ(QV_WyFS_File_Size(&file), std::int64_t{kSize});
    std::vector<std::uint8_t> buffer(2 * kWindow);
    for (std::uint64_t boundary = kClusterBytes; boundary < kSize; boundary += kClusterBytes) {
        SCOPED_TRACE(boundary / kClusterBytes);
        ASSERT_EQ(QV_WyFS_File_Read(&file, boundary - kWindow, buffer.data(), 2 * kWindow),
                  std::int64_t{2 * kWindow});
        EXPECT_TRUE(buffer == windowAt(boundary - kWindow, 2 * kWindow));
    }
    // The last bytes, cut at the size: the slack byte after them is not the file's.
    ASSERT_EQ(QV_WyFS_File_Read(&file, kSize - kWindow, buffer.data(), 2 * kWindow),
              std::int64_t{kWindow});
    buffer.resize(kWindow);
    EXPECT_TRUE(buffer == windowAt(kSize - kWindow, kWindow));
    EXPECT_EQ(QV_WyFS_File_Read(&file, kSize, buffer.data(), 1), 0);
    QV_WyFS_File_Close(&file);
}

}  // namespace
}  // namespace qelv::wyfs

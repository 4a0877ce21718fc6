#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>

#include "support/temp_dir.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_format.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::wyfs {
namespace {

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    }
    return b;
}

class WyfsImage : public ::testing::Test {
protected:
    WyfsImage() : image(dir.path() / "card.img") { formatImage(image, 16u << 20); }

    // Rewrites `size` bytes at `offset` of the image.
    void patch(std::uint64_t offset, const std::vector<std::uint8_t>& data) {
        std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
    }
    std::uint64_t recordOffset(std::size_t slot) {
        return std::uint64_t{Volume::open(image)->superblock().fileTableSector} * kSectorSize +
               slot * kFileRecordSize;
    }

    test::TempDir dir;
    std::filesystem::path image;
};

TEST_F(WyfsImage, NewImageHasTheRecordersDirectories) {
    const auto volume = Volume::open(image);
    ASSERT_TRUE(volume);
    std::vector<std::string> names;
    for (const auto& d : volume->directories()) {
        names.push_back(d.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"NOR", "EVT", "MOT", "USR"}));
    EXPECT_TRUE(volume->files().empty());
    EXPECT_EQ(volume->superblock().totalSectors, (16u << 20) / 512);
    EXPECT_EQ(QV_WyFS_Check_WyFS_partition(image.c_str()), 1);
    CardMasterInfo info{};
    ASSERT_EQ(QV_WyFS_Get_Master_Device_Info(image.c_str(), &info), 0);
    std::uint32_t sectors = 0;
    std::memcpy(&sectors, info.bytes + 12, 4);
    EXPECT_EQ(sectors, 32768u);
}

TEST_F(WyfsImage, FilesReadBackAcrossClusters) {
    auto volume = Volume::open(image, true);
    ASSERT_TRUE(volume);
    const auto a = bytes(200000, 1), b = bytes(70000, 2), c = bytes(5, 3);
    volume->addFile("NOR", "a.avi", a, 100);
    volume->addFile("EVT", "b.avi", b, 200);
    volume->addFile("NEWDIR", "c.avi", c, -5);
    const auto reopened = Volume::open(image);
    ASSERT_EQ(reopened->files().size(), 3u);
    for (const auto& [dirName, name, data] :
         {std::tuple{"NOR", "a.avi", a}, std::tuple{"EVT", "b.avi", b},
          std::tuple{"NEWDIR", "c.avi", c}}) {
        const FileRecord* file = reopened->file(dirName, name);
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(file->size, data.size());
        std::vector<std::uint8_t> read(data.size() + 10);
        EXPECT_EQ(reopened->read(*file, 0, read), static_cast<std::int64_t>(data.size()));
        read.resize(data.size());
        EXPECT_EQ(read, data);
        // A read across a cluster boundary from an odd offset.
        if (data.size() > 70000) {
            std::vector<std::uint8_t> part(1000);
            EXPECT_EQ(reopened->read(*file, 65000, part), 1000);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), data.begin() + 65000));
        }
        std::vector<std::uint8_t> past(4);
        EXPECT_EQ(reopened->read(*file, file->size, past), 0);
    }
    EXPECT_EQ(reopened->file("NOR", "b.avi"), nullptr);
}

TEST_F(WyfsImage, FullVolumeRefusesAndStaysReadable) {
    auto volume = Volume::open(image, true);
    const auto big = bytes(15u << 20, 9);
    EXPECT_THROW(volume->addFile("NOR", "big.avi", big, 0), std::runtime_error);
    volume->addFile("NOR", "small.avi", bytes(1000, 1), 0);
    EXPECT_THROW(volume->addFile("NOR", "small.avi", bytes(10, 1), 0), std::runtime_error);
    EXPECT_THROW(volume->addFile("NOR", std::string(64, 'x'), bytes(10, 1), 0), std::runtime_error);
    EXPECT_EQ(Volume::open(image)->files().size(), 1u);
}

TEST_F(WyfsImage, ListingThirtyAtATimeWithTheCursor) {
    auto volume = Volume::open(image, true);
    for (int i = 0; i < 65; ++i) {
        volume->addFile("NOR", "f" + std::to_string(i) + ".avi", bytes(10, 1), 1000 + i);
    }
    volume.reset();
    CardDeviceHandle device{};
    ASSERT_EQ(QV_WyFS_Device_Open(image.c_str(), 130, &device), 0);
    std::uint64_t count = 0;
    EXPECT_EQ(QV_WyFS_Get_Dir_Info(&device, "NOR", nullptr, &count, nullptr), 0);
    EXPECT_EQ(count, 65u);
    EXPECT_EQ(QV_WyFS_Get_Dir_Info(&device, "XXX", nullptr, nullptr, nullptr), -1);
    int cursor = 1;
    std::vector<int> counts;
    std::vector<std::string> names;
    for (;;) {
        CardListBuffer list{};
        list.bytes[0] = 200;  // more than thirty is taken as thirty
        const int n = QV_WyFS_Get_FileList(&device, "NOR", &cursor, &list, 0);
        counts.push_back(n);
        if (n <= 0) {
            break;
        }
        for (int i = 0; i < n; ++i) {
            const unsigned char* item = list.bytes + 4 + i * kCardListItemSize;
            names.emplace_back(reinterpret_cast<const char*>(item));
            std::int32_t time = 0;
            std::memcpy(&time, item + 106, 4);
            EXPECT_EQ(time, 1000 + static_cast<int>(names.size()) - 1);
        }
    }
    EXPECT_EQ(counts, (std::vector<int>{30, 30, 5, 0}));
    EXPECT_EQ(names.front(), "f0.avi");
    EXPECT_EQ(names.back(), "f64.avi");
    int zero = 0;
    CardListBuffer list{};
    EXPECT_EQ(QV_WyFS_Get_FileList(&device, "NOR", &zero, &list, 0), -1);

    CardFileHandle file{};
    ASSERT_EQ(QV_WyFS_File_Open(&device, "NOR", "f3.avi", &file), 0);
    EXPECT_EQ(QV_WyFS_File_Size(&file), 10);
    std::uint8_t buffer[16]{};
    EXPECT_EQ(QV_WyFS_File_Read(&file, 2, buffer, sizeof buffer), 8);
    QV_WyFS_Device_Close(&device);
    // Handles of a closed device are refused, not followed.
    EXPECT_EQ(QV_WyFS_File_Size(&file), -1);
    EXPECT_EQ(QV_WyFS_Get_FileList(&device, "NOR", &cursor, &list, 0), -1);
    CardDeviceHandle never{};
    EXPECT_EQ(QV_WyFS_Get_Dir_Info(&never, "NOR", nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(QV_WyFS_Device_Open((dir.path() / "missing").c_str(), 130, &never), -1);
}

TEST_F(WyfsImage, DamagedRecordsAreSkipped) {
    auto volume = Volume::open(image, true);
    for (int i = 0; i < 6; ++i) {
        volume->addFile("NOR", "f" + std::to_string(i), bytes(70000, 1), 0);
    }
    const Superblock b = volume->superblock();
    const auto files = volume->files();
    volume.reset();
    auto record = [&](FileRecord r) { return encodeFileRecord(r); };
    // 0: bad CRC; 1: extent outside the data area; 2: overlaps file 5's clusters;
    // 3: name without terminator; 4: too many extents; 5 stays good.
    auto bad = record(files[0]);
    bad[10] ^= 0xFF;
    patch(recordOffset(0), bad);
    FileRecord outside = files[1];
    outside.extents = {{b.clusterCount - 1, 2}};
    patch(recordOffset(1), record(outside));
    FileRecord overlapping = files[2];
    overlapping.extents = files[5].extents;
    patch(recordOffset(2), record(overlapping));
    auto unterminated = record(files[3]);
    std::memset(unterminated.data(), 'x', kFileNameSize);
    const std::uint32_t crc = crc32(std::span(unterminated).first(252));
    std::memcpy(unterminated.data() + 252, &crc, 4);
    patch(recordOffset(3), unterminated);
    auto many = record(files[4]);
    const std::uint32_t seventeen = 17;
    std::memcpy(many.data() + 80, &seventeen, 4);
    const std::uint32_t crc2 = crc32(std::span(many).first(252));
    std::memcpy(many.data() + 252, &crc2, 4);
    patch(recordOffset(4), many);

    const auto reopened = Volume::open(image);
    ASSERT_TRUE(reopened);
    // The overlapping record stands before file 5 in the table, so it is the one kept.
    std::vector<std::string> names;
    for (const auto& f : reopened->files()) {
        names.push_back(f.name);
    }
    EXPECT_EQ(names, std::vector<std::string>{"f2"});
}

TEST_F(WyfsImage, BrokenSuperblocksAreNotWyfs) {
    const auto good = Volume::open(image)->superblock();
    struct Case {
        const char* what;
        std::function<void(Superblock&)> change;
    };
    const Case cases[] = {
        {"larger than the device", [](Superblock& s) { s.totalSectors *= 2; }},
        {"data area past the end", [](Superblock& s) { s.clusterCount += 1000; }},
        {"tables overlapping", [](Superblock& s) { s.fileTableSector = s.dirTableSector; }},
        {"no clusters per sector", [](Superblock& s) { s.clusterSectors = 0; }},
        {"too many slots", [](Superblock& s) { s.fileSlots = kMaxFileSlots + 1; }},
        {"sector count overflowing", [](Superblock& s) { s.totalSectors = ~0ull; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Superblock changed = good;
        c.change(changed);
        patch(0, encodeSuperblock(changed));
        EXPECT_EQ(Volume::open(image), nullptr);
        EXPECT_EQ(QV_WyFS_Check_WyFS_partition(image.c_str()), 0);
    }
    auto sector = encodeSuperblock(good);
    sector[20] ^= 1;  // CRC no longer matches
    patch(0, sector);
    EXPECT_EQ(Volume::open(image), nullptr);
    patch(0, encodeSuperblock(good));
    EXPECT_NE(Volume::open(image), nullptr);
    EXPECT_EQ(Volume::open(dir.path()), nullptr);  // a folder is no volume
}

TEST(WyfsFormat, Crc32OfKnownText) {
    const std::string text = "123456789";
    EXPECT_EQ(crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              0xCBF43926u);
}

TEST(WyfsFormat, TooSmallForAVolume) {
    EXPECT_FALSE(layoutFor(100 * 1024));
    EXPECT_TRUE(layoutFor(2u << 20));
}

}  // namespace
}  // namespace qelv::wyfs

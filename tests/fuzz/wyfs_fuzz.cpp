// Any bytes as a WyFS image. Most inputs would fail the superblock's CRC at once, so the
// harness first seals the superblock and every table entry with correct CRCs (when the first
// byte is even): the reader's checks of geometry, names, ids and extents then meet hostile
// values. Opening, listing and reading every file must never crash or hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wyfs/wyfs.h"
#include "wyfs/wyfs_format.h"
#include "wyfs/wyfs_volume.h"

namespace {

void seal(std::vector<std::uint8_t>& image, std::uint64_t at, std::size_t size) {
    if (at + size > image.size()) {
        return;
    }
    const std::uint32_t crc = qelv::wyfs::crc32(std::span(image).subspan(at, size - 4));
    std::memcpy(image.data() + at + size - 4, &crc, 4);
}

std::uint32_t word(const std::vector<std::uint8_t>& image, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, image.data() + at, 4);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qelv::wyfs;
    std::vector<std::uint8_t> image(data, data + size);
    if (image.size() >= kSectorSize && (image[0] & 1) == 0) {
        std::copy(kMagic.begin(), kMagic.end(), image.begin());
        std::memcpy(image.data() + 8, &kVersion, 4);
        std::memcpy(image.data() + 12, &kSectorSize, 4);
        const std::uint64_t dirs = std::uint64_t{word(image, 24)} * kSectorSize;
        const std::uint64_t files = std::uint64_t{word(image, 32)} * kSectorSize;
        for (std::uint64_t i = 0; i < std::min(word(image, 28), kMaxDirs); ++i) {
            seal(image, dirs + i * kDirEntrySize, kDirEntrySize);
        }
        for (std::uint64_t i = 0; i < std::min(word(image, 36), 256u); ++i) {
            seal(image, files + i * kFileRecordSize, kFileRecordSize);
        }
        seal(image, 0, kSectorSize);
    }
    const int fd = memfd_create("wyfs-fuzz", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
        if (fd >= 0) {
            ::close(fd);
        }
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (auto volume = Volume::open(path)) {
        std::vector<std::uint8_t> buffer(4096);
        for (const FileRecord& file : volume->files()) {
            volume->read(file, 0, buffer);
            volume->read(file, file.size / 2, buffer);
        }
        CardDeviceHandle device{};
        if (QV_WyFS_Device_Open(path.c_str(), 130, &device) == 0) {
            for (const DirEntry& dir : volume->directories()) {
                int cursor = 1;
                CardListBuffer list{};
                list.bytes[0] = 30;
                while (QV_WyFS_Get_FileList(&device, dir.name.c_str(), &cursor, &list, 0) > 0) {
                }
            }
            QV_WyFS_Device_Close(&device);
        }
    }
    ::close(fd);
    return 0;
}

// The C operations over Volume. Open devices live in a table guarded by one lock; a handle
// holds a tag, the table slot and the slot's generation, so a handle that was closed (or
// never opened) is recognised and refused instead of reaching a freed volume.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "common/byte_order.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_volume.h"

namespace {

using qelv::wyfs::Volume;

constexpr std::uint32_t kDeviceTag = 0x48445957;  // "WYDH"
constexpr std::uint32_t kFileTag = 0x46465957;    // "WYFF"

struct Slot {
    std::shared_ptr<Volume> volume;
    std::uint32_t generation = 0;
};

std::mutex g_lock;
std::vector<Slot> g_slots;

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// The volume behind a handle's tag, slot and generation words, or null.
std::shared_ptr<Volume> volumeOf(const unsigned char* words, std::uint32_t tag) {
    if (words == nullptr || qelv::core::readLe32(words) != tag) {
        return nullptr;
    }
    const std::lock_guard guard(g_lock);
    const std::uint32_t slot = qelv::core::readLe32(words + 4);
    if (slot >= g_slots.size() || g_slots[slot].generation != qelv::core::readLe32(words + 8)) {
        return nullptr;
    }
    return g_slots[slot].volume;
}

}  // namespace

extern "C" {

void QV_WyFS_Start(void) {}

void QV_WyFS_Stop(void) {
    const std::lock_guard guard(g_lock);
    for (Slot& slot : g_slots) {
        slot.volume.reset();
        ++slot.generation;
    }
}

int QV_WyFS_Check_WyFS_partition(const char* rawDiskPath) {
    return rawDiskPath != nullptr && Volume::open(rawDiskPath) != nullptr ? 1 : 0;
}

int QV_WyFS_Get_Master_Device_Info(const char* rawDiskPath, CardMasterInfo* info) {
    if (rawDiskPath == nullptr || info == nullptr) {
        return -1;
    }
    const auto volume = Volume::open(rawDiskPath);
    if (!volume) {
        return -1;
    }
    const auto& b = volume->superblock();
    std::memset(info->bytes, 0, sizeof info->bytes);
    std::memcpy(info->bytes, "WYFS", 4);
    put32(info->bytes + 4, qelv::wyfs::kVersion);
    put32(info->bytes + 8, qelv::wyfs::kSectorSize);
    put32(info->bytes + 12,
          static_cast<std::uint32_t>(std::min<std::uint64_t>(b.totalSectors, 0xFFFFFFFFu)));
    put32(info->bytes + 16, b.clusterSectors);
    put32(info->bytes + 20, b.clusterCount);
    put32(info->bytes + 24, static_cast<std::uint32_t>(volume->freeClusters()));
    return 0;
}

int QV_WyFS_Device_Open(const char* rawDiskPath, int /*mode*/, CardDeviceHandle* handle) {
    if (rawDiskPath == nullptr || handle == nullptr) {
        return -1;
    }
    std::shared_ptr<Volume> volume = Volume::open(rawDiskPath);
    if (!volume) {
        return -1;
    }
    const std::lock_guard guard(g_lock);
    auto free =
        std::find_if(g_slots.begin(), g_slots.end(), [](const Slot& s) { return !s.volume; });
    if (free == g_slots.end()) {
        g_slots.push_back({});
        free = g_slots.end() - 1;
    }
    free->volume = std::move(volume);
    ++free->generation;
    std::memset(handle->bytes, 0, sizeof handle->bytes);
    put32(handle->bytes, kDeviceTag);
    put32(handle->bytes + 4, static_cast<std::uint32_t>(free - g_slots.begin()));
    put32(handle->bytes + 8, free->generation);
    return 0;
}

void QV_WyFS_Device_Close(CardDeviceHandle* handle) {
    if (handle == nullptr || qelv::core::readLe32(handle->bytes) != kDeviceTag) {
        return;
    }
    {
        const std::lock_guard guard(g_lock);
        const std::uint32_t slot = qelv::core::readLe32(handle->bytes + 4);
        if (slot < g_slots.size() &&
            g_slots[slot].generation == qelv::core::readLe32(handle->bytes + 8)) {
            g_slots[slot].volume.reset();
            ++g_slots[slot].generation;
        }
    }
    std::memset(handle->bytes, 0, sizeof handle->bytes);
}

int QV_WyFS_Get_Dir_Info(CardDeviceHandle* handle, const char* dirName, CardDirInfo* info,
                         uint64_t* fileCount, uint64_t* bytesUsed) {
    const auto volume = volumeOf(handle ? handle->bytes : nullptr, kDeviceTag);
    const auto* dir = volume && dirName ? volume->directory(dirName) : nullptr;
    if (dir == nullptr) {
        return -1;
    }
    const auto files = volume->filesIn(dir->id);
    std::uint64_t bytes = 0;
    for (std::size_t i : files) {
        bytes += volume->files()[i].size;
    }
    if (info != nullptr) {
        std::memset(info->bytes, 0, sizeof info->bytes);
        put32(info->bytes, static_cast<std::uint32_t>(files.size()));
        put32(info->bytes + 4, static_cast<std::uint32_t>(bytes));
        put32(info->bytes + 8, static_cast<std::uint32_t>(bytes >> 32));
    }
    if (fileCount != nullptr) {
        *fileCount = files.size();
    }
    if (bytesUsed != nullptr) {
        *bytesUsed = bytes;
    }
    return 0;
}

int QV_WyFS_Get_FileList(CardDeviceHandle* handle, const char* dirName, int* cursor,
                         CardListBuffer* list, int /*reserved*/) {
    const auto volume = volumeOf(handle ? handle->bytes : nullptr, kDeviceTag);
    const auto* dir = volume && dirName ? volume->directory(dirName) : nullptr;
    if (dir == nullptr || cursor == nullptr || list == nullptr || *cursor < 1) {
        return -1;
    }
    const std::uint32_t capacity =
        std::min<std::uint32_t>(qelv::core::readLe32(list->bytes), kCardListCapacity);
    const auto files = volume->filesIn(dir->id);
    int written = 0;
    for (std::size_t i = static_cast<std::size_t>(*cursor) - 1;
         i < files.size() && static_cast<std::uint32_t>(written) < capacity; ++i, ++written) {
        const auto& file = volume->files()[files[i]];
        unsigned char* item = list->bytes + 4 + written * kCardListItemSize;
        std::memset(item, 0, kCardListItemSize);
        std::memcpy(item, file.name.data(), std::min<std::size_t>(file.name.size(), 63));
        put32(item + 98, static_cast<std::uint32_t>(file.fileId));
        put32(item + 102, file.size);
        put32(item + 106, static_cast<std::uint32_t>(file.time));
    }
    *cursor += written;
    return written;
}

int QV_WyFS_File_Open(CardDeviceHandle* device, const char* dirName, const char* fileName,
                      CardFileHandle* file) {
    const auto volume = volumeOf(device ? device->bytes : nullptr, kDeviceTag);
    if (!volume || dirName == nullptr || fileName == nullptr || file == nullptr ||
        volume->file(dirName, fileName) == nullptr) {
        return -1;
    }
    const auto* record = volume->file(dirName, fileName);
    std::memset(file->bytes, 0, sizeof file->bytes);
    put32(file->bytes, kFileTag);
    std::memcpy(file->bytes + 4, device->bytes + 4, 8);  // slot and generation
    put32(file->bytes + 12, static_cast<std::uint32_t>(record - volume->files().data()));
    return 0;
}

static const qelv::wyfs::FileRecord* recordOf(const CardFileHandle* file,
                                              std::shared_ptr<Volume>& volume) {
    volume = volumeOf(file ? file->bytes : nullptr, kFileTag);
    if (!volume) {
        return nullptr;
    }
    const std::uint32_t index = qelv::core::readLe32(file->bytes + 12);
    return index < volume->files().size() ? &volume->files()[index] : nullptr;
}

int64_t QV_WyFS_File_Size(const CardFileHandle* file) {
    std::shared_ptr<Volume> volume;
    const auto* record = recordOf(file, volume);
    return record ? static_cast<int64_t>(record->size) : -1;
}

int64_t QV_WyFS_File_Read(const CardFileHandle* file, uint64_t offset, void* buffer,
                          uint32_t length) {
    std::shared_ptr<Volume> volume;
    const auto* record = recordOf(file, volume);
    if (record == nullptr || (buffer == nullptr && length > 0)) {
        return -1;
    }
    return volume->read(*record, offset, std::span(static_cast<std::uint8_t*>(buffer), length));
}

void QV_WyFS_File_Close(CardFileHandle* file) {
    if (file != nullptr) {
        std::memset(file->bytes, 0, sizeof file->bytes);
    }
}

}  // extern "C"

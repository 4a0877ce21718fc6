#include "wyfs/wyfs_listing.h"

#include <cstring>

#include "common/byte_order.h"

namespace qelv::wyfs {

std::vector<ListedFile> listDirectory(CardDeviceHandle* device, const std::string& dir) {
    std::vector<ListedFile> files;
    int cursor = 1;
    for (;;) {
        CardListBuffer list{};
        list.bytes[0] = kCardListCapacity;
        QV_WyFS_Get_Dir_Info(device, dir.c_str(), nullptr, nullptr, nullptr);
        const int count = QV_WyFS_Get_FileList(device, dir.c_str(), &cursor, &list, 0);
        if (count <= 0) {
            return files;
        }
        for (int k = 0; k < count && k < kCardListCapacity; ++k) {
            const unsigned char* item = list.bytes + 4 + k * kCardListItemSize;
            files.push_back({std::string(reinterpret_cast<const char*>(item),
                                         strnlen(reinterpret_cast<const char*>(item), 63)),
                             static_cast<std::int32_t>(core::readLe32(item + 98)),
                             core::readLe32(item + 102),
                             static_cast<std::int32_t>(core::readLe32(item + 106))});
        }
    }
}

}  // namespace qelv::wyfs

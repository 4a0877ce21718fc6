#include "storage/card_file_source.h"

namespace qelv::core {

CardFileSource::CardFileSource(CardDeviceHandle* device, const std::string& dir,
                               const std::string& name)
    : m_name(name) {
    m_open = QV_WyFS_File_Open(device, dir.c_str(), name.c_str(), &m_file) == 0;
    const std::int64_t size = m_open ? QV_WyFS_File_Size(&m_file) : -1;
    m_open = size >= 0;
    m_size = m_open ? static_cast<std::uint64_t>(size) : 0;
}

CardFileSource::~CardFileSource() {
    QV_WyFS_File_Close(&m_file);
}

std::size_t CardFileSource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    std::size_t done = 0;
    while (m_open && done < dst.size()) {
        const auto chunk =
            static_cast<std::uint32_t>(std::min<std::size_t>(dst.size() - done, 1u << 30));
        const std::int64_t n = QV_WyFS_File_Read(&m_file, offset + done, dst.data() + done, chunk);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace qelv::core

#include "storage/byte_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qelv::core {

std::size_t MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    if (offset >= m_data.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::uint64_t>(dst.size(), m_data.size() - offset);
    std::memcpy(dst.data(), m_data.data() + offset, n);
    return n;
}

std::size_t FileSource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    std::size_t done = 0;
    while (done < dst.size()) {
        const ssize_t n =
            ::pread(m_fd, dst.data() + done, dst.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace qelv::core

#include "storage/byte_source.h"

#include "common/posix_io.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qelv::core {

std::string shortReadReason(const ByteSource& source) {
    std::string why = source.error();
    return why.empty() ? "the data ends before its size" : why;
}

std::size_t MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    if (offset >= m_data.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::uint64_t>(dst.size(), m_data.size() - offset);
    if (n > 0) {  // an empty destination may have no storage at all
        std::memcpy(dst.data(), m_data.data() + offset, n);
    }
    return n;
}

namespace {
constexpr std::size_t kChunkBytes = 1u << 20;
}

// Whether all of dst came from the page cache without touching the disk.
bool FileSource::readCached(std::uint64_t offset, std::span<std::uint8_t> dst) {
    if (!m_noWaitWorks) {
        return false;
    }
    iovec vector{dst.data(), dst.size()};
    const ssize_t n = ::preadv2(m_fd, &vector, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    if (n < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS)) {
        m_noWaitWorks = false;
    }
    return n == static_cast<ssize_t>(dst.size());
}

std::size_t FileSource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    if (offset >= m_size) {
        return 0;
    }
    const std::size_t wanted = std::min<std::uint64_t>(dst.size(), m_size - offset);
    if (wanted == 0) {
        return 0;
    }
    dst = dst.first(wanted);
    if (offset >= m_chunkOffset && offset + wanted <= m_chunkOffset + m_chunk.size()) {
        std::memcpy(dst.data(), m_chunk.data() + (offset - m_chunkOffset), wanted);
        return wanted;
    }
    if (readCached(offset, dst)) {
        return wanted;
    }
    m_chunk.resize(kChunkBytes);
    int error = 0;
    m_chunk.resize(readAt(m_fd, offset, m_chunk, &error));
    m_chunkOffset = offset;
    const std::size_t n = std::min(wanted, m_chunk.size());
    if (n < wanted) {
        m_error = error != 0 ? std::strerror(error) : "the file ends before its size";
    }
    std::memcpy(dst.data(), m_chunk.data(), n);
    return n;
}

}  // namespace qelv::core

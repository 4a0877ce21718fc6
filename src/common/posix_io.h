// Whole reads and writes at an offset of a file descriptor, retried across interruptions and
// short transfers.
#pragma once

#include <cstdint>
#include <span>

namespace qelv::core {

// An open descriptor that is closed on every path.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Bytes read (fewer only at the end of the file or on an error). `error`, when given, receives
// the errno of a failed read, 0 when the read ended at the end of the file or filled dst.
std::size_t readAt(int fd, std::uint64_t offset, std::span<std::uint8_t> dst, int* error = nullptr);
// True when every byte was written.
bool writeAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> data);

}  // namespace qelv::core

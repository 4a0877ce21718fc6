#include "common/posix_io.h"

#include <unistd.h>

#include <cerrno>

namespace qelv::core {

Fd::~Fd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::size_t readAt(int fd, std::uint64_t offset, std::span<std::uint8_t> dst, int* error) {
    std::size_t done = 0;
    if (error != nullptr) {
        *error = 0;
    }
    while (done < dst.size()) {
        const ssize_t n =
            ::pread(fd, dst.data() + done, dst.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && error != nullptr) {
            *error = errno;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool writeAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace qelv::core

#include "common/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qelv::core {

std::optional<std::string> readTextFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::string text;
        char buffer[8192];
        bool ok = true;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 || text.size() + static_cast<std::size_t>(n) > maxBytes) {
                ok = false;
                break;
            }
            if (n == 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        if (ok) {
            content = std::move(text);
        }
    }
    ::close(fd);
    return content;
}

}  // namespace qelv::core

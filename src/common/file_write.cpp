#include "common/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace qelv::core {

namespace {

namespace fs = std::filesystem;

std::string reason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

FileWriteResult failed(int error) {
    return {false, reason(error), error == EEXIST};
}

// Creates a temporary file in `folder`: its path and open descriptor, or the errno.
int createTemporary(const fs::path& folder, std::string& path) {
    // A name of our own rather than mkstemp's, which would make the file private. Short, so
    // that a target whose own name is near the limit still gets one.
    std::random_device random;
    for (int tries = 0; tries < 100; ++tries) {
        path = (folder / (".qelv-save-" + std::to_string(::getpid()) + "-" +
                          std::to_string(random()) + ".part"))
                   .string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd >= 0 ? fd : -errno;
        }
    }
    return -EEXIST;
}

// 0 when every byte is written and flushed to the disk, the errno otherwise.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Gives the complete temporary file its name; 0 or the errno.
int moveInPlace(const std::string& from, const std::string& to, ExistingFile existing) {
    if (existing == ExistingFile::Replace) {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system that cannot refuse in the rename itself: look first.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

FileWriteResult writeFileSafely(const std::string& path, std::string_view bytes,
                                ExistingFile existing) {
    const fs::path target(path);
    if (target.filename().empty()) {
        return {false, "no file name given", false};
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (existing == ExistingFile::Keep) {
            return failed(EEXIST);
        }
        // Renaming over it would replace a link, not the file it names, and a folder or a
        // device is nothing to save into.
        if (!S_ISREG(info.st_mode)) {
            return {false, S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file",
                    false};
        }
    }
    std::string temporary;
    const int fd = createTemporary(
        target.parent_path().empty() ? fs::path(".") : target.parent_path(), temporary);
    if (fd < 0) {
        return failed(-fd);
    }
    int error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0) {
        error = moveInPlace(temporary, path, existing);
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return failed(error);
    }
    return {true, {}, false};
}

}  // namespace qelv::core

#include "storage/entry_metadata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "storage/file_time.h"

namespace qelv::core {

namespace {

// Creation time: the birth time where the file system keeps one, else the modification time.
FileTime creationTimeOf(const struct statx& info) {
    if (info.stx_mask & STATX_BTIME) {
        return fileTimeFromUnix(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    }
    return fileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
}

// `name` relative to `folderFd` (AT_FDCWD: a whole path).
void readMetadata(int folderFd, const char* name, RecordingEntry& entry) {
    entry.metadataPending = false;
    struct statx info {};
    if (::statx(folderFd, name, AT_STATX_DONT_SYNC, STATX_SIZE | STATX_BTIME | STATX_MTIME,
                &info) == 0) {
        entry.creationTime = creationTimeOf(info);
        entry.sizeKB = sizeKBFromBytes(info.stx_size);
    }
}

}  // namespace

void fillMetadata(RecordingEntry& entry) {
    if (entry.metadataPending) {
        readMetadata(AT_FDCWD, entry.path.c_str(), entry);
    }
}

MetadataReader::~MetadataReader() {
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
    }
}

void MetadataReader::fill(RecordingEntry& entry) {
    if (!entry.metadataPending) {
        return;
    }
    const std::size_t slash = entry.path.rfind('/');
    if (slash == std::string::npos) {
        readMetadata(AT_FDCWD, entry.path.c_str(), entry);
        return;
    }
    const std::string_view folder = std::string_view(entry.path).substr(0, slash + 1);
    if (folder != m_folder) {
        if (m_folderFd >= 0) {
            ::close(m_folderFd);
        }
        m_folder = folder;
        m_folderFd = ::open(m_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (m_folderFd < 0) {
        readMetadata(AT_FDCWD, entry.path.c_str(), entry);
        return;
    }
    readMetadata(m_folderFd, entry.path.c_str() + slash + 1, entry);
}

}  // namespace qelv::core

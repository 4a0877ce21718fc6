#include "storage/folder_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string_view>

#include "storage/recording_sort.h"

namespace qelv::core {

namespace {

constexpr int kMaxDepth = 64;

// The extension test: the text after the last "." (the whole name without one), any case.
bool accepted(const RecordingCatalogue& catalogue, std::string_view name) {
    if (name.empty()) {
        return false;
    }
    const std::size_t dot = name.rfind('.');
    return catalogue.acceptsExtension(dot == std::string_view::npos ? name : name.substr(dot + 1));
}

unsigned char typeOf(int dirFd, const char* name, int flags) {
    struct statx info {};
    if (::statx(dirFd, name, flags | AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0) {
        return DT_UNKNOWN;
    }
    return S_ISDIR(info.stx_mode)   ? DT_DIR
           : S_ISREG(info.stx_mode) ? DT_REG
           : S_ISLNK(info.stx_mode) ? DT_LNK
                                    : DT_UNKNOWN;
}

}  // namespace

bool FolderScanner::scan(const std::string& path, std::int32_t folderIndex, bool recurse,
                         std::int32_t& fileCount, int depth) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    const int fd = ::dirfd(dir);
    const auto folder = static_cast<std::uint32_t>(m_folders.size());
    m_folders.push_back(path);
    std::vector<std::string> subfolders;
    while (const dirent* hit = ::readdir(dir)) {
        const std::string_view name = hit->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        unsigned char type = hit->d_type;
        if (type == DT_UNKNOWN) {
            type = typeOf(fd, hit->d_name, AT_SYMLINK_NOFOLLOW);
        }
        // A link counts for what it points at, but a folder is never entered through one:
        // a link loop must not hang the scan.
        if (type == DT_LNK) {
            type = typeOf(fd, hit->d_name, 0) == DT_REG ? DT_REG : DT_UNKNOWN;
        } else if (type == DT_DIR) {
            if (recurse) {
                subfolders.emplace_back(name);
            }
            continue;
        }
        if (type != DT_REG || !accepted(m_catalogue, name)) {
            continue;
        }
        const auto key = numericNameKey(name);
        m_allNumeric = m_allNumeric && key.has_value();
        m_found.push_back({key.value_or(0), folder, static_cast<std::uint32_t>(m_names.size()),
                           static_cast<std::uint32_t>(name.size()), folderIndex});
        m_names.append(name);
        ++fileCount;
    }
    ::closedir(dir);
    for (const std::string& sub : subfolders) {
        if (depth < kMaxDepth && scan(path + sub + "/", folderIndex, true, fileCount, depth + 1)) {
            ++fileCount;
        }
    }
    return true;
}

std::vector<RecordingEntry> FolderScanner::takeEntries(bool descending) {
    if (m_allNumeric) {
        std::sort(m_found.begin(), m_found.end(), [descending](const Found& a, const Found& b) {
            return descending ? a.key > b.key : a.key < b.key;
        });
    }
    // Built in their final order, the entries' texts lie in memory in the order the sort
    // and the listing read them.
    std::vector<RecordingEntry> entries;
    entries.reserve(m_found.size());
    for (const Found& found : m_found) {
        const std::string_view name(m_names.data() + found.nameOffset, found.nameLength);
        const std::string& folder = m_folders[found.folder];
        RecordingEntry& entry = entries.emplace_back();
        entry.folderIndex = found.folderIndex;
        entry.fileName.assign(name);
        entry.path.reserve(folder.size() + name.size());
        entry.path.append(folder).append(name);
        entry.metadataPending = true;
    }
    m_folders.clear();
    m_names.clear();
    m_found.clear();
    m_allNumeric = true;
    return entries;
}

}  // namespace qelv::core

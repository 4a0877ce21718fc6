#include "storage/recording_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "config/text_rules.h"
#include "storage/file_time.h"
#include "wyfs/wyfs_listing.h"

namespace qelv::core {

namespace {

// The extension test: the text after the last "." (the whole name without one), any case.
bool accepted(const RecordingCatalogue& catalogue, std::string_view name) {
    if (name.empty()) {
        return false;
    }
    const std::size_t dot = name.rfind('.');
    return catalogue.acceptsExtension(dot == std::string_view::npos ? name : name.substr(dot + 1));
}

// Creation time: the birth time where the file system keeps one, else the modification time.
FileTime creationTimeOf(const struct statx& info) {
    if (info.stx_mask & STATX_BTIME) {
        return fileTimeFromUnix(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    }
    return fileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
}

class FolderScanner {
public:
    FolderScanner(const RecordingCatalogue& catalogue, std::vector<RecordingEntry>& entries)
        : m_catalogue(catalogue), m_entries(entries) {}

    // Scans `path` (ending in "/"); false when it cannot be read. `fileCount` grows by the
    // files found here and by one for every subfolder that could be read. Names and types
    // come from the directory itself, as `find` reads them; nothing is opened per file.
    bool scan(const std::string& path, std::int32_t folderIndex, bool recurse,
              std::int32_t& fileCount, int depth = 0) {
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            return false;
        }
        const int fd = ::dirfd(dir);
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
            RecordingEntry& entry = m_entries.emplace_back();
            entry.folderIndex = folderIndex;
            entry.fileName = std::string(name);
            entry.path.reserve(path.size() + name.size());
            entry.path.append(path).append(name);
            entry.metadataPending = true;
            ++fileCount;
        }
        ::closedir(dir);
        constexpr int kMaxDepth = 64;
        for (const std::string& sub : subfolders) {
            if (depth < kMaxDepth &&
                scan(path + sub + "/", folderIndex, true, fileCount, depth + 1)) {
                ++fileCount;
            }
        }
        return true;
    }

private:
    static unsigned char typeOf(int dirFd, const char* name, int flags) {
        struct statx info {};
        if (::statx(dirFd, name, flags | AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0) {
            return DT_UNKNOWN;
        }
        return S_ISDIR(info.stx_mode)   ? DT_DIR
               : S_ISREG(info.stx_mode) ? DT_REG
               : S_ISLNK(info.stx_mode) ? DT_LNK
                                        : DT_UNKNOWN;
    }

    const RecordingCatalogue& m_catalogue;
    std::vector<RecordingEntry>& m_entries;
};

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

bool scanFat(RecordingCatalogue& catalogue, const SourceDrive& drive) {
    std::vector<RecordingFolder> folders;
    std::vector<RecordingEntry> entries;
    FolderScanner scanner(catalogue, entries);
    const auto& names = catalogue.folderNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        RecordingFolder folder{withSlash(drive.label) + names[i] + "/", {}, 0};
        scanner.scan(folder.path, static_cast<std::int32_t>(i), catalogue.recurseRemovable(),
                     folder.fileCount);
        folders.push_back(std::move(folder));  // listed whatever it held
    }
    catalogue.replaceSource(SourceKind::FatDrive, std::move(folders), std::move(entries));
    return true;
}

bool scanWyfs(RecordingCatalogue& catalogue, const SourceDrive& drive, std::ostream& console) {
    catalogue.replaceSource(SourceKind::WyfsDrive, {}, {});
    auto device = std::make_unique<CardDeviceHandle>();
    std::memset(device.get(), 0, sizeof *device);
    if (QV_WyFS_Device_Open(drive.devicePath.c_str(), 130, device.get()) != 0) {
        console << "WYFS drive cannot be opened\n";
        return false;
    }
    std::vector<RecordingFolder> folders;
    std::vector<RecordingEntry> entries;
    const auto& names = catalogue.folderNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        RecordingFolder folder{names[i], names[i].substr(0, 63), 0};
        for (const wyfs::ListedFile& file : wyfs::listDirectory(device.get(), folder.cardDirName)) {
            RecordingEntry entry;
            entry.folderIndex = static_cast<std::int32_t>(i);
            entry.cardFileId = file.id;
            entry.cardName = file.name;
            entry.fileName = file.name;
            entry.path = file.name;
            entry.creationTime = fileTimeFromCardSeconds(file.time);
            entry.sizeKB = sizeKBFromCardBytes(file.size);
            entries.push_back(std::move(entry));
            ++folder.fileCount;
        }
        folders.push_back(std::move(folder));
    }
    catalogue.replaceSource(SourceKind::WyfsDrive, std::move(folders), std::move(entries));
    catalogue.setCardDevice(std::move(device));
    return true;
}

bool scanPcFolder(RecordingCatalogue& catalogue, const FolderChooser& chooseFolder) {
    if (!chooseFolder) {
        return false;
    }
    const auto chosen = chooseFolder(catalogue.folderDialogTitle());
    if (!chosen) {
        catalogue.replaceSource(SourceKind::PcFolder, {}, {});
        return false;
    }
    std::vector<RecordingEntry> entries;
    RecordingFolder folder{withSlash(*chosen), {}, 0};
    FolderScanner(catalogue, entries)
        .scan(folder.path, 0, catalogue.recurseFolder(), folder.fileCount);
    std::vector<RecordingFolder> folders;
    const bool found = folder.fileCount > 0;
    if (found) {
        folders.push_back(std::move(folder));
    }
    catalogue.replaceSource(SourceKind::PcFolder, std::move(folders), std::move(entries));
    return found;
}

// Fields 0 and 1 joined: "20240131" and "235958" give "20240131235958".
std::string nameKey(std::string_view fileName) {
    const std::size_t first = fileName.find('_');
    if (first == std::string_view::npos) {
        return std::string(fileName);
    }
    const std::size_t second = fileName.find('_', first + 1);
    std::string key(fileName.substr(0, first));
    key.append(
        fileName.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
    return key;
}

}  // namespace

bool selectSource(RecordingCatalogue& catalogue, std::int64_t driveIndex,
                  const FolderChooser& chooseFolder, std::ostream& console) {
    if (driveIndex < 0) {
        return false;
    }
    catalogue.closeCardDevice();
    const SourceDrive* drive = catalogue.driveAt(driveIndex);
    if (drive == nullptr) {
        return false;
    }
    const SourceDrive chosen = *drive;  // the scans replace nothing in the drive list
    if (!selectDrive(catalogue, chosen, chooseFolder, console)) {
        return false;
    }
    catalogue.setSelectedDrive(static_cast<std::int32_t>(driveIndex));
    return true;
}

bool selectDrive(RecordingCatalogue& catalogue, const SourceDrive& drive,
                 const FolderChooser& chooseFolder, std::ostream& console) {
    catalogue.closeCardDevice();
    bool ok = false;
    switch (drive.kind) {
        case SourceKind::FatDrive:
            ok = scanFat(catalogue, drive);
            break;
        case SourceKind::WyfsDrive:
            ok = scanWyfs(catalogue, drive, console);
            break;
        case SourceKind::PcFolder:
            ok = scanPcFolder(catalogue, chooseFolder);
            break;
        case SourceKind::Nothing:
            break;
    }
    if (ok) {
        sortEntries(catalogue);
        const auto& drives = catalogue.drives();
        const auto line = std::find(drives.begin(), drives.end(), drive);
        catalogue.setSelectedDrive(
            line == drives.end() ? -1 : static_cast<std::int32_t>(line - drives.begin()));
    }
    return ok;
}

std::vector<RecordingEntry> peekPcFolder(const RecordingCatalogue& catalogue,
                                         const std::string& folder) {
    std::vector<RecordingEntry> entries;
    std::int32_t fileCount = 0;
    FolderScanner(catalogue, entries)
        .scan(withSlash(folder), 0, catalogue.recurseFolder(), fileCount);
    return entries;
}

void fillMetadata(RecordingEntry& entry) {
    if (!entry.metadataPending) {
        return;
    }
    entry.metadataPending = false;
    struct statx info {};
    if (::statx(AT_FDCWD, entry.path.c_str(), AT_STATX_DONT_SYNC,
                STATX_SIZE | STATX_BTIME | STATX_MTIME, &info) == 0) {
        entry.creationTime = creationTimeOf(info);
        entry.sizeKB = sizeKBFromBytes(info.stx_size);
    }
}

void sortEntries(RecordingCatalogue& catalogue) {
    auto& entries = catalogue.mutableEntries();
    std::vector<std::string> keys;
    keys.reserve(entries.size());
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        keys.push_back(nameKey(entries[i].fileName));
        order[i] = i;
    }
    // The recorder's keys are 14 digits; as numbers they compare as the strings do, and
    // faster. Any other key compares as text.
    std::vector<std::uint64_t> numbers(entries.size(), 0);
    std::vector<bool> numeric(entries.size(), false);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& key = keys[i];
        if (key.size() == 14 &&
            std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            numeric[i] = true;
            for (char c : key) {
                numbers[i] = numbers[i] * 10 + static_cast<std::uint64_t>(c - '0');
            }
        }
    }
    const bool descending = catalogue.sortMode() == SortMode::Descending;
    auto byKey = [&](std::size_t a, std::size_t b) {
        if (numeric[a] && numeric[b]) {
            return descending ? numbers[a] > numbers[b] : numbers[a] < numbers[b];
        }
        return descending ? keys[a] > keys[b] : keys[a] < keys[b];
    };
    std::sort(order.begin(), order.end(), byKey);
    // Recordings that share a name time are ordered by creation time, then size; only those
    // need their file's metadata. A recording's second- and third-camera files share its
    // front file's time but are never listed, so where at most one file of the run can be
    // listed, the order inside the run shows nowhere: those files keep their name order and
    // no file is read.
    auto listable = [&](std::size_t i) { return !isCompanionName(entries[i].fileName); };
    for (auto run = order.begin(); run != order.end();) {
        const auto runEnd = std::find_if(
            run, order.end(), [&](std::size_t i) { return byKey(*run, i) || byKey(i, *run); });
        if (std::count_if(run, runEnd, listable) <= 1) {
            std::sort(run, runEnd, [&](std::size_t a, std::size_t b) {
                return entries[a].fileName < entries[b].fileName;
            });
        } else {
            for (auto it = run; it != runEnd; ++it) {
                fillMetadata(entries[*it]);
            }
            std::sort(run, runEnd, [&](std::size_t a, std::size_t b) {
                const RecordingEntry& x = entries[a];
                const RecordingEntry& y = entries[b];
                if (x.creationTime != y.creationTime) {
                    return descending ? x.creationTime > y.creationTime
                                      : x.creationTime < y.creationTime;
                }
                return x.sizeKB > y.sizeKB;
            });
        }
        run = runEnd;
    }
    // Put the entries in that order in place, following each cycle of the permutation.
    std::vector<bool> placed(entries.size(), false);
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start]) {
            continue;
        }
        std::size_t at = start;
        RecordingEntry carried = std::move(entries[start]);
        while (order[at] != start) {
            entries[at] = std::move(entries[order[at]]);
            placed[at] = true;
            at = order[at];
        }
        entries[at] = std::move(carried);
        placed[at] = true;
    }
    catalogue.setShown({});
}

}  // namespace qelv::core

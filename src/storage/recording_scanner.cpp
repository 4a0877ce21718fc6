#include "storage/recording_scanner.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "config/text_rules.h"
#include "storage/file_time.h"
#include "storage/folder_scanner.h"
#include "wyfs/wyfs_listing.h"

namespace qelv::core {

namespace {

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

bool descending(const RecordingCatalogue& catalogue) {
    return catalogue.sortMode() == SortMode::Descending;
}

bool scanFat(RecordingCatalogue& catalogue, const SourceDrive& drive) {
    std::vector<RecordingFolder> folders;
    FolderScanner scanner(catalogue);
    const auto& names = catalogue.folderNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        RecordingFolder folder{withSlash(drive.label) + names[i] + "/", {}, 0};
        scanner.scan(folder.path, static_cast<std::int32_t>(i), catalogue.recurseRemovable(),
                     folder.fileCount);
        folders.push_back(std::move(folder));  // listed whatever it held
    }
    catalogue.replaceSource(SourceKind::FatDrive, std::move(folders),
                            scanner.takeEntries(descending(catalogue)), withSlash(drive.label));
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
    RecordingFolder folder{withSlash(*chosen), {}, 0};
    FolderScanner scanner(catalogue);
    scanner.scan(folder.path, 0, catalogue.recurseFolder(), folder.fileCount);
    std::vector<RecordingFolder> folders;
    const bool found = folder.fileCount > 0;
    if (found) {
        folders.push_back(std::move(folder));
    }
    catalogue.replaceSource(SourceKind::PcFolder, std::move(folders),
                            scanner.takeEntries(descending(catalogue)), withSlash(*chosen));
    return found;
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
    std::int32_t fileCount = 0;
    FolderScanner scanner(catalogue);
    scanner.scan(withSlash(folder), 0, catalogue.recurseFolder(), fileCount);
    return scanner.takeEntries(false);
}

}  // namespace qelv::core

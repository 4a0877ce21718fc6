// The records the recording catalogue keeps: categories, cameras, files, folders and drives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/file_time.h"

namespace qelv::core {

// Why a recording was made. A name without a category letter has no category.
enum class RecordingCategory : std::int32_t { Normal = 0, Event = 1, Parking = 2, User = 3 };

// The camera a file belongs to. The second and the third camera are both "rear"; the name's
// last field ("R1.mp4" or "R2.mp4") tells them apart.
enum class CameraChannel : std::int32_t { None = 0, Front = 1, Rear = 2 };

enum class SourceKind : std::int32_t { FatDrive = 0, WyfsDrive = 1, PcFolder = 2, Nothing = 3 };

// "NOR", "EVT", "MOT", "USR", or "NONE" for no category.
std::string_view typeTextOf(std::optional<RecordingCategory> category);
// "NORMAL", "EVENT", "PARKING", "USER".
std::string_view filterLabelOf(RecordingCategory category);

// One recording file found by a scan.
struct RecordingEntry {
    std::int32_t folderIndex = 0;  // configured folder it was found in; 0 for a PC folder
    std::int32_t cardFileId = -1;  // WyFS file identifier; -1 for a file on a FAT card or PC
    std::string cardName;          // the name as the card library gave it (WyFS, < 64 bytes)
    std::string fileName;          // the file name, no folder
    std::string path;              // full path; for a WyFS file the same as fileName
    FileTime creationTime = 0;     // sort key and snapshot time, never shown
    std::uint64_t sizeKB = 0;
    // A scan of a folder reads names only; size and creation time are read from the file
    // when first needed (a tie in the sort, a listed row). True until then.
    bool metadataPending = false;
};

// One scanned folder.
struct RecordingFolder {
    std::string path;         // FAT: drive root + folder name + "/"; WyFS: the directory name
    std::string cardDirName;  // the WyFS directory name (< 64 bytes)
    std::int32_t fileCount = 0;
};

// One line of the drive list.
struct SourceDrive {
    std::int32_t driveIndex = 0;
    std::string label;       // mount point with "/", "<device> (WYFS)", or the folder line's text
    std::string devicePath;  // the block device node, e.g. "/dev/sdb"
    SourceKind kind = SourceKind::FatDrive;

    bool operator==(const SourceDrive&) const = default;
};

}  // namespace qelv::core

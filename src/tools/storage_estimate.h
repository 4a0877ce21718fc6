// How much of a recorder card each recording category uses: the card's capacity shared out
// (normal 50 %, event 20 %, parking 20 %, user 10 %) and an estimate of the use from the
// number of recordings, each counted at the size the recorder gives one minute of it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::core {

struct StorageCategory {
    std::string_view name;    // "NORMAL", "EVENT", "PARKING", "USER"
    std::string_view prefix;  // the category's folder on the card
    int sharePercent;
    int frontFileMb;
    int rearFileMb;
};
inline constexpr std::array<StorageCategory, 4> kStorageCategories{{
    {"NORMAL", "NOR", 50, 70, 36},
    {"EVENT", "EVT", 20, 35, 18},
    {"PARKING", "MOT", 20, 35, 18},
    {"USER", "USR", 10, 35, 18},
}};

struct CategoryUsage {
    std::int64_t budgetMb = 0;
    std::int64_t usedMb = 0;
    int frontFiles = 0;
    int rearFiles = 0;
    float percent = 0;        // of the budget; above 100 when the estimate exceeds it
    std::string totalText;    // "Total: %d MB / Used: %d MB"
    std::string percentText;  // "%3.1f%% used"
    // A progress bar for it: 0 to barMax (at most 65535), at barPosition (clamped).
    int barMax = 0;
    int barPosition = 0;
};

struct StorageFigures {
    std::int64_t totalMb = 0;
    std::array<CategoryUsage, 4> categories;
    // The category folders that could not be read, each with the reason
    // ("NOR/FRONT: Permission denied"): their recordings are missing from the figures.
    std::vector<std::string> unreadableFolders;
};

// What a folder of the card holds: the names of its files (not folders), or why it could not
// be read. A missing folder holds nothing and is no error.
struct FolderListing {
    FolderListing(std::vector<std::string> fileNames = {}, std::string problem = {})
        : names(std::move(fileNames)), error(std::move(problem)) {}
    std::vector<std::string> names;
    std::string error;  // empty when the folder was read (or is missing)
};

// Lists a folder of the card, e.g. "NOR/FRONT".
using CardFolderLister = std::function<FolderListing(const std::string& folder)>;

// A front recording's name has "F.mp4" as its fifth "_" field, a rear one's "R1.mp4" or
// "R2.mp4" (exactly, in that case).
bool isCountedFront(std::string_view name);
bool isCountedRear(std::string_view name);

// The figures of a card of `totalMb` whose folders `list` reads; without a card (totalMb 0
// and no lister) every category shows "  0 MB" and 0 %.
StorageFigures estimateStorage(std::int64_t totalMb, const CardFolderLister& list);

// The recordings counted in one category.
struct CategoryFiles {
    int front = 0;
    int rear = 0;
};
// The figures of a card of `totalMb` with `files` counted in each category.
StorageFigures estimateStorage(std::int64_t totalMb, const std::array<CategoryFiles, 4>& files);

// A WyFS card keeps one file per recording with every camera in it, in the folders NOR, EVT,
// MOT and USR: each file named as a front recording ("..._F.avi") counts as one front file
// and, by the camera count its name gives ("2CH", "3CH"), as one rear file for every further
// camera.
std::array<CategoryFiles, 4> countWyfsRecordings(
    const std::function<std::vector<std::string>(const std::string& dir)>& listDir);

// A card as the storage figures see it: a mounted FAT card (its mount point) or a WyFS
// volume (its device or image path).
struct StorageCard {
    std::string path;
    bool wyfs = false;
};
// The card's capacity in MB (the file system's size for a mounted card, the card size the
// WyFS volume records for WyFS), or nothing when it cannot be read.
std::optional<std::int64_t> cardCapacityMb(const StorageCard& card);
// The figures of a card; nothing when its capacity cannot be read.
std::optional<StorageFigures> cardStorageFigures(const StorageCard& card);

// The capacity line: "<label> (%.2f GB)".
std::string capacityText(std::string_view label, std::int64_t totalMb);

// Lists the folders of a card mounted at `root`.
CardFolderLister mountedCardLister(const std::string& root);

}  // namespace qelv::core

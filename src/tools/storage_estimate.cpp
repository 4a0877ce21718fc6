#include "tools/storage_estimate.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "storage/recording_name.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_listing.h"

namespace qelv::core {

namespace {

constexpr int kBarLimit = 65535;

// The fifth "_" field of a name (the last one may hold further "_"s: it is not split).
std::string_view fifthField(std::string_view name) {
    for (int field = 0; field < 4; ++field) {
        const std::size_t cut = name.find('_');
        if (cut == std::string_view::npos) {
            return {};
        }
        name.remove_prefix(cut + 1);
    }
    return name.substr(0, name.find('_'));
}

std::string formatted(const char* format, auto... values) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), format, values...);
    return text.data();
}

}  // namespace

bool isCountedFront(std::string_view name) {
    return fifthField(name) == "F.mp4";
}

bool isCountedRear(std::string_view name) {
    const std::string_view field = fifthField(name);
    return field == "R1.mp4" || field == "R2.mp4";
}

StorageFigures estimateStorage(std::int64_t totalMb, const CardFolderLister& list) {
    if (!list) {
        StorageFigures figures;
        figures.totalMb = totalMb;
        for (CategoryUsage& usage : figures.categories) {
            usage.totalText = "  0 MB";
            usage.percentText = formatted("%3.1f%% used", 0.0);
        }
        return figures;
    }
    std::array<CategoryFiles, 4> files{};
    std::vector<std::string> unreadable;
    const auto count = [&](const std::string& folder, bool (*counted)(std::string_view)) {
        const FolderListing listing = list(folder);
        if (!listing.error.empty()) {
            unreadable.push_back(folder + ": " + listing.error);
        }
        return static_cast<int>(
            std::count_if(listing.names.begin(), listing.names.end(),
                          [&](const std::string& name) { return counted(name); }));
    };
    for (std::size_t i = 0; i < kStorageCategories.size(); ++i) {
        const std::string prefix(kStorageCategories[i].prefix);
        files[i].front = count(prefix + "/FRONT", isCountedFront);
        files[i].rear = count(prefix + "/REAR", isCountedRear);
    }
    StorageFigures figures = estimateStorage(totalMb, files);
    figures.unreadableFolders = std::move(unreadable);
    return figures;
}

StorageFigures estimateStorage(std::int64_t totalMb, const std::array<CategoryFiles, 4>& files) {
    StorageFigures figures;
    figures.totalMb = totalMb;
    for (std::size_t i = 0; i < kStorageCategories.size(); ++i) {
        const StorageCategory& category = kStorageCategories[i];
        CategoryUsage& usage = figures.categories[i];
        usage.budgetMb = totalMb * category.sharePercent / 100;
        usage.frontFiles = files[i].front;
        usage.rearFiles = files[i].rear;
        usage.usedMb = std::int64_t{usage.frontFiles} * category.frontFileMb +
                       std::int64_t{usage.rearFiles} * category.rearFileMb;
        const auto remaining = static_cast<float>(usage.budgetMb - usage.usedMb);
        usage.totalText = "Total: " + std::to_string(usage.budgetMb) +
                          " MB / Used: " + std::to_string(usage.usedMb) + " MB";
        if (usage.budgetMb > 0) {
            const auto budget = static_cast<float>(usage.budgetMb);
            usage.percent = (budget - remaining) * (100.0f / budget);
            usage.percent = std::max(usage.percent, 0.0f);
        }
        usage.percentText = formatted("%3.1f%% used", static_cast<double>(usage.percent));
        // A budget beyond the bar's 16-bit range is drawn to scale.
        std::int64_t scale = 1;
        while (usage.budgetMb / scale > kBarLimit) {
            scale *= 2;
        }
        usage.barMax = static_cast<int>(usage.budgetMb / scale);
        usage.barPosition =
            static_cast<int>(std::min(usage.usedMb / scale, std::int64_t{usage.barMax}));
    }
    return figures;
}

std::array<CategoryFiles, 4> countWyfsRecordings(
    const std::function<std::vector<std::string>(const std::string& dir)>& listDir) {
    std::array<CategoryFiles, 4> files{};
    for (std::size_t i = 0; i < kStorageCategories.size(); ++i) {
        for (const std::string& name : listDir(std::string(kStorageCategories[i].prefix))) {
            // Only the recorder's own recordings: a front camera's name ("..._F.avi").
            const std::string_view camera = fifthField(name);
            if (camera != "F" && !camera.starts_with("F.")) {
                continue;
            }
            const int channels = parseRecordingName(name).channels;
            files[i].front += 1;
            files[i].rear += std::max(channels, 1) - 1;
        }
    }
    return files;
}

std::optional<std::int64_t> cardCapacityMb(const StorageCard& card) {
    if (card.wyfs) {
        CardMasterInfo info{};
        if (QV_WyFS_Get_Master_Device_Info(card.path.c_str(), &info) != 0) {
            return std::nullopt;
        }
        std::uint32_t sectors = 0;
        std::memcpy(&sectors, info.bytes + 12, sizeof sectors);  // little-endian, as written
        return static_cast<std::int64_t>(std::uint64_t{sectors} * 512 / 1024 / 1024);
    }
    struct statvfs info {};
    std::error_code error;
    if (!std::filesystem::is_directory(card.path, error) ||
        ::statvfs(card.path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(static_cast<unsigned long long>(info.f_blocks) *
                                     info.f_frsize / (1024 * 1024));
}

std::optional<StorageFigures> cardStorageFigures(const StorageCard& card) {
    const std::optional<std::int64_t> totalMb = cardCapacityMb(card);
    if (!totalMb) {
        return std::nullopt;
    }
    if (!card.wyfs) {
        return estimateStorage(*totalMb, mountedCardLister(card.path));
    }
    auto device = std::make_unique<CardDeviceHandle>();
    if (QV_WyFS_Device_Open(card.path.c_str(), 130, device.get()) != 0) {
        return std::nullopt;
    }
    const auto files = countWyfsRecordings([&](const std::string& dir) {
        std::vector<std::string> names;
        for (const wyfs::ListedFile& file : wyfs::listDirectory(device.get(), dir)) {
            names.push_back(file.name);
        }
        return names;
    });
    QV_WyFS_Device_Close(device.get());
    return estimateStorage(*totalMb, files);
}

std::string capacityText(std::string_view label, std::int64_t totalMb) {
    return std::string(label) + formatted(" (%.2f GB)", static_cast<double>(totalMb) / 1024.0);
}

CardFolderLister mountedCardLister(const std::string& root) {
    return [root](const std::string& folder) {
        FolderListing listing;
        std::error_code error;
        std::filesystem::directory_iterator it(std::filesystem::path(root) / folder, error);
        for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
            std::error_code kind;
            if (!it->is_directory(kind)) {
                listing.names.push_back(it->path().filename().string());
            }
        }
        // A folder the card does not have holds no recordings; one that is there but cannot
        // be read (no permission, a file in its place, a failing card) must not pass for empty.
        if (error && error != std::errc::no_such_file_or_directory) {
            listing.error = error.message();
        }
        return listing;
    };
}

}  // namespace qelv::core

#include "tools/storage_estimate.h"

#include <cstdio>
#include <filesystem>

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
    StorageFigures figures;
    figures.totalMb = totalMb;
    for (std::size_t i = 0; i < kStorageCategories.size(); ++i) {
        const StorageCategory& category = kStorageCategories[i];
        CategoryUsage& usage = figures.categories[i];
        if (!list) {
            usage.totalText = "  0 MB";
            usage.percentText = formatted("%3.1f%% used", 0.0);
            continue;
        }
        usage.budgetMb = totalMb * category.sharePercent / 100;
        const std::string prefix(category.prefix);
        for (const std::string& name : list(prefix + "/FRONT")) {
            usage.frontFiles += isCountedFront(name) ? 1 : 0;
        }
        for (const std::string& name : list(prefix + "/REAR")) {
            usage.rearFiles += isCountedRear(name) ? 1 : 0;
        }
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

std::string capacityText(std::string_view label, std::int64_t totalMb) {
    return std::string(label) + formatted(" (%.2f GB)", static_cast<double>(totalMb) / 1024.0);
}

CardFolderLister mountedCardLister(const std::string& root) {
    return [root](const std::string& folder) {
        std::vector<std::string> names;
        std::error_code error;
        std::filesystem::directory_iterator it(std::filesystem::path(root) / folder, error);
        for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
            std::error_code kind;
            if (!it->is_directory(kind)) {
                names.push_back(it->path().filename().string());
            }
        }
        return names;
    };
}

}  // namespace qelv::core

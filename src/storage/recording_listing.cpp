#include "storage/recording_listing.h"

#include <array>
#include <cstdio>

#include "storage/index_rebuild.h"
#include "storage/size_class.h"

namespace qelv::core {

namespace {

std::string rowNumber(std::size_t row) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%03zu", row);
    return text.data();
}

bool isCompanion(std::string_view fileName) {
    const std::string_view field = nameField(fileName, 4);
    return field == "R1.mp4" || field == "R2.mp4";
}

bool allFieldsPresent(std::string_view fileName) {
    for (int i = 0; i < 5; ++i) {
        if (nameField(fileName, i).empty()) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<ListRow> listRecordings(RecordingCatalogue& catalogue, ListFilter filter,
                                    const ListOptions& options) {
    const auto& entries = catalogue.entries();
    std::vector<ListRow> rows;
    if (filter == ListFilter::All && entries.empty()) {
        return rows;
    }
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RecordingEntry& entry = entries[i];
        const RecordingName name = parseRecordingName(entry.fileName);
        if (filter == ListFilter::All) {
            if (!name.listCategory || name.camera == CameraChannel::None || name.channels == 0) {
                continue;
            }
            if (options.repair && entry.cardFileId < 0) {
                rebuildIndex(entry.path, name.camera,
                             sizeClassOf(*name.listCategory, entry.sizeKB));
            }
            if (!allFieldsPresent(entry.fileName) || isCompanion(entry.fileName)) {
                continue;
            }
        } else {
            const auto wanted =
                static_cast<RecordingCategory>(static_cast<std::int32_t>(filter) - 1);
            if (name.filterCategory() != wanted || isCompanion(entry.fileName)) {
                continue;
            }
        }
        rows.push_back({rowNumber(rows.size() + 1), name.dateText(), name.timeText(),
                        std::string(name.typeText()), i});
        shown.push_back(i);
    }
    catalogue.setShown(std::move(shown));
    return rows;
}

}  // namespace qelv::core

#include "storage/recording_listing.h"

#include <array>
#include <cstdio>

#include "storage/entry_metadata.h"
#include "storage/index_rebuild.h"
#include "storage/recording_scanner.h"
#include "storage/size_class.h"

namespace qelv::core {

namespace {

std::string rowNumber(std::size_t row) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "%03zu", row);
    return text.data();
}

bool allFieldsPresent(std::string_view fileName) {
    for (int i = 0; i < 5; ++i) {
        if (nameField(fileName, i).empty()) {
            return false;
        }
    }
    return true;
}

RecordingCategory categoryOf(ListFilter filter) {
    return static_cast<RecordingCategory>(static_cast<std::int32_t>(filter) - 1);
}

// The all-categories listing repairs the files whose name carries a category marker, a
// camera and a channel count.
bool repairable(const RecordingName& name) {
    return name.listCategory && name.camera != CameraChannel::None && name.channels != 0;
}

}  // namespace

bool isListed(std::string_view fileName, ListFilter filter) {
    if (isCompanionName(fileName)) {
        return false;
    }
    if (filter != ListFilter::All) {
        return letterCategory(fileName) == categoryOf(filter);
    }
    return repairable(parseRecordingName(fileName)) && allFieldsPresent(fileName);
}

std::vector<ListRow> listRecordings(RecordingCatalogue& catalogue, ListFilter filter,
                                    const ListOptions& options) {
    auto& entries = catalogue.mutableEntries();
    std::vector<ListRow> rows;
    if (filter == ListFilter::All && entries.empty()) {
        return rows;
    }
    std::vector<std::size_t> shown;
    MetadataReader metadata;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        RecordingEntry& entry = entries[i];
        if (filter != ListFilter::All && !isListed(entry.fileName, filter)) {
            continue;  // most names of a card are filtered out: no need to parse them whole
        }
        const RecordingName name = parseRecordingName(entry.fileName);
        if (filter == ListFilter::All) {
            if (!repairable(name)) {
                continue;
            }
            metadata.fill(entry);
            if (options.repair && entry.cardFileId < 0) {
                rebuildIndex(entry.path, name.camera,
                             sizeClassOf(*name.listCategory, entry.sizeKB));
            }
            if (!allFieldsPresent(entry.fileName) || isCompanionName(entry.fileName)) {
                continue;
            }
        }
        metadata.fill(entry);  // listed rows carry their size and creation time
        rows.push_back({rowNumber(rows.size() + 1), name.dateText(), name.timeText(),
                        std::string(name.typeText()), i});
        shown.push_back(i);
    }
    catalogue.setShown(std::move(shown));
    return rows;
}

}  // namespace qelv::core

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

namespace {

ListRow rowOf(const RecordingName& name, std::size_t number, std::size_t entry) {
    return {rowNumber(number), name.dateText(), name.timeText(), std::string(name.typeText()),
            entry};
}

// One category: the names decide, no file is opened but the listed ones, for their size and
// creation time.
std::vector<ListRow> listOneCategory(RecordingCatalogue& catalogue, ListFilter filter) {
    auto& entries = catalogue.mutableEntries();
    std::vector<std::size_t> shown;
    std::vector<ListRow> rows;
    MetadataReader metadata;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (isListed(entries[i].fileName, filter)) {
            metadata.fill(entries[i]);
            rows.push_back(rowOf(parseRecordingName(entries[i].fileName), rows.size() + 1, i));
            shown.push_back(i);
        }
    }
    catalogue.setShown(std::move(shown));
    return rows;
}

// Every category: each file that names a category, a camera and a channel count is repaired
// first (rear files too), then the front files are listed.
std::vector<ListRow> listAllCategories(RecordingCatalogue& catalogue, const ListOptions& options) {
    auto& entries = catalogue.mutableEntries();
    std::vector<ListRow> rows;
    if (entries.empty()) {
        return rows;
    }
    std::vector<std::size_t> shown;
    MetadataReader metadata;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        RecordingEntry& entry = entries[i];
        const RecordingName name = parseRecordingName(entry.fileName);
        if (!repairable(name)) {
            continue;
        }
        metadata.fill(entry);  // the size class needs the size; listed rows carry both
        // Only files whose real path lies inside the source are repaired: a link may lead
        // anywhere.
        if (options.repair && entry.cardFileId < 0 && !catalogue.sourceRoot().empty()) {
            RebuildOptions confined;
            confined.within = catalogue.sourceRoot();
            rebuildIndex(entry.path, name.camera, sizeClassOf(*name.listCategory, entry.sizeKB),
                         confined);
        }
        if (!allFieldsPresent(entry.fileName) || isCompanionName(entry.fileName)) {
            continue;
        }
        rows.push_back(rowOf(name, rows.size() + 1, i));
        shown.push_back(i);
    }
    catalogue.setShown(std::move(shown));
    return rows;
}

}  // namespace

std::vector<ListRow> listRecordings(RecordingCatalogue& catalogue, ListFilter filter,
                                    const ListOptions& options) {
    return filter == ListFilter::All ? listAllCategories(catalogue, options)
                                     : listOneCategory(catalogue, filter);
}

}  // namespace qelv::core

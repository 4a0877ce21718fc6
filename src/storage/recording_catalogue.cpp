#include "storage/recording_catalogue.h"

#include <algorithm>

#include "config/config_store.h"
#include "config/text_rules.h"

namespace qelv::core {

namespace {

template <typename T>
const T* itemAt(const std::vector<T>& items, std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(items.size())) {
        return nullptr;
    }
    return &items[static_cast<std::size_t>(index)];
}

void appendUnique(std::vector<std::string>& list, std::string value) {
    if (!value.empty() && std::find(list.begin(), list.end(), value) == list.end()) {
        list.push_back(std::move(value));
    }
}

}  // namespace

RecordingCatalogue::RecordingCatalogue() {
    QV_WyFS_Start();
}

RecordingCatalogue::~RecordingCatalogue() {
    closeCardDevice();
    QV_WyFS_Stop();
}

void RecordingCatalogue::setCardDevice(std::unique_ptr<CardDeviceHandle> device) {
    closeCardDevice();
    m_cardDevice = std::move(device);
}

void RecordingCatalogue::closeCardDevice() {
    if (m_cardDevice) {
        QV_WyFS_Device_Close(m_cardDevice.get());
        m_cardDevice.reset();
    }
}

void RecordingCatalogue::applyConfiguration(const ConfigStore& config) {
    m_folderNames.clear();
    for (const FolderEntry& folder : config.folders()) {
        appendUnique(m_folderNames, folder.name);
    }
    m_extensions.clear();
    for (const std::string& extension : config.extensions()) {
        appendUnique(m_extensions, toLowerAscii(extension));
    }
    m_recurseRemovable = config.removal();
    m_recurseFolder = config.desktop();
    if (auto title = config.localizedString("COMM_SEL_FOLDER"); title && !title->empty()) {
        m_folderDialogTitle = std::move(*title);
    }
    if (auto text = config.localizedString("SELDRV_COMBO_DESKTOP"); text && !text->empty()) {
        m_folderSearchText = std::move(*text);
    }
}

const SourceDrive* RecordingCatalogue::driveAt(std::int64_t index) const {
    return itemAt(m_drives, index);
}

const RecordingFolder* RecordingCatalogue::folderAt(std::int64_t index) const {
    return itemAt(m_folders, index);
}

const RecordingEntry* RecordingCatalogue::entryAt(std::int64_t index) const {
    return itemAt(m_entries, index);
}

const RecordingEntry* RecordingCatalogue::shownEntryAt(std::int64_t row) const {
    const std::size_t* index = itemAt(m_shown, row);
    return index == nullptr ? nullptr : entryAt(static_cast<std::int64_t>(*index));
}

const SourceDrive* RecordingCatalogue::selectedDrive() const {
    return driveAt(m_selectedDrive);
}

bool RecordingCatalogue::acceptsExtension(std::string_view extension) const {
    // Asked once for every file of a scan: compared in place, no lower-cased copy.
    return std::any_of(
        m_extensions.begin(), m_extensions.end(),
        [extension](const std::string& known) { return equalsNoCase(known, extension); });
}

CompanionPaths RecordingCatalogue::channelFiles(const RecordingEntry& entry) const {
    if (m_currentKind == SourceKind::WyfsDrive || entry.cardFileId >= 0) {
        return {};
    }
    return companionPathsOf(entry.path);
}

void RecordingCatalogue::replaceSource(SourceKind kind, std::vector<RecordingFolder> folders,
                                       std::vector<RecordingEntry> entries, std::string root) {
    m_currentKind = kind;
    m_folders = std::move(folders);
    m_entries = std::move(entries);
    m_sourceRoot = std::move(root);
    m_shown.clear();
}

void RecordingCatalogue::setShown(std::vector<std::size_t> rows) {
    std::erase_if(rows, [this](std::size_t index) { return index >= m_entries.size(); });
    m_shown = std::move(rows);
}

}  // namespace qelv::core

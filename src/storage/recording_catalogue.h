// The one catalogue of the current source: its folders, its recordings in sort order, the
// rows a recording list shows, and the drive list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/recording_name.h"
#include "storage/recording_types.h"
#include "wyfs/wyfs.h"

namespace qelv::core {

class ConfigStore;

// Sort orders of the entries.
enum class SortMode : std::int32_t { Ascending = 0, Descending = 2 };

// Lives for the whole run on the main thread. Entries, folders and the shown rows are replaced
// together by every source selection; pointers handed out stay valid until the next one.
class RecordingCatalogue {
public:
    // Starts the card library; the destructor closes an open card and stops it.
    RecordingCatalogue();
    ~RecordingCatalogue();
    RecordingCatalogue(const RecordingCatalogue&) = delete;
    RecordingCatalogue& operator=(const RecordingCatalogue&) = delete;

    static constexpr const char* kDefaultFolderDialogTitle = "Select Folder";
    static constexpr const char* kDefaultFolderSearchText = "Find in My Computer";

    // Takes the configured folder names (file order, exact duplicates dropped), the extensions
    // (lower-cased, empty ones and duplicates dropped), the two recursion switches, and the two
    // captions in the configuration's language (an empty or missing text keeps the default).
    void applyConfiguration(const ConfigStore& config);

    SourceKind currentKind() const { return m_currentKind; }
    const std::vector<RecordingFolder>& folders() const { return m_folders; }
    const std::vector<RecordingEntry>& entries() const { return m_entries; }
    const std::vector<SourceDrive>& drives() const { return m_drives; }
    const std::vector<std::string>& folderNames() const { return m_folderNames; }
    const std::vector<std::string>& extensions() const { return m_extensions; }
    bool recurseRemovable() const { return m_recurseRemovable; }
    bool recurseFolder() const { return m_recurseFolder; }
    SortMode sortMode() const { return m_sortMode; }
    std::int32_t selectedDriveIndex() const { return m_selectedDrive; }
    const std::string& folderDialogTitle() const { return m_folderDialogTitle; }
    const std::string& folderSearchText() const { return m_folderSearchText; }
    std::size_t shownCount() const { return m_shown.size(); }

    // Each returns nullptr for a negative or past-the-end index.
    const SourceDrive* driveAt(std::int64_t index) const;
    const RecordingFolder* folderAt(std::int64_t index) const;
    const RecordingEntry* entryAt(std::int64_t index) const;
    const RecordingEntry* shownEntryAt(std::int64_t row) const;
    // The drive of the current selection, or nullptr.
    const SourceDrive* selectedDrive() const;

    // Whether `extension` (without the dot, any case) is one the catalogue accepts.
    bool acceptsExtension(std::string_view extension) const;

    // The second- and third-camera files of a listed recording. A WyFS recording holds every
    // camera in one file, so it has none.
    CompanionPaths channelFiles(const RecordingEntry& entry) const;

    // The folder the current source's files lie in (a FAT card's mount point, the chosen PC
    // folder); empty for a WyFS card or no source. The listing repairs nothing outside it.
    const std::string& sourceRoot() const { return m_sourceRoot; }

    // Used by the scan: a new source replaces the folders, the entries and the root, and
    // empties the rows.
    void replaceSource(SourceKind kind, std::vector<RecordingFolder> folders,
                       std::vector<RecordingEntry> entries, std::string root = {});
    void setDrives(std::vector<SourceDrive> drives) { m_drives = std::move(drives); }
    void setSelectedDrive(std::int32_t index) { m_selectedDrive = index; }
    void setSortMode(SortMode mode) { m_sortMode = mode; }
    std::vector<RecordingEntry>& mutableEntries() { return m_entries; }
    // Rows of the recording list: indexes into entries(), in list order. Out-of-range indexes
    // are dropped.
    void setShown(std::vector<std::size_t> rows);

    // The open WyFS card of the current source, or null. Opening replaces (and closes) the
    // one before; closing is idempotent.
    CardDeviceHandle* cardDevice() { return m_cardDevice.get(); }
    void setCardDevice(std::unique_ptr<CardDeviceHandle> device);
    void closeCardDevice();

private:
    SourceKind m_currentKind = SourceKind::Nothing;
    std::vector<RecordingFolder> m_folders;
    std::vector<RecordingEntry> m_entries;
    std::string m_sourceRoot;
    std::vector<SourceDrive> m_drives;
    std::vector<std::string> m_folderNames;
    std::vector<std::size_t> m_shown;
    std::vector<std::string> m_extensions;
    bool m_recurseRemovable = false;
    bool m_recurseFolder = false;
    SortMode m_sortMode = SortMode::Ascending;
    std::int32_t m_selectedDrive = -1;
    std::string m_folderDialogTitle = kDefaultFolderDialogTitle;
    std::string m_folderSearchText = kDefaultFolderSearchText;
    std::unique_ptr<CardDeviceHandle> m_cardDevice;
};

}  // namespace qelv::core

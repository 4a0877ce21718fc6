// Reads the recording files of folders on a FAT card or the PC: names and types straight
// from the directories, as `find` reads them; nothing is opened or asked per file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/recording_catalogue.h"

namespace qelv::core {

class FolderScanner {
public:
    // The catalogue gives the accepted extensions; it must outlive the scanner.
    explicit FolderScanner(const RecordingCatalogue& catalogue) : m_catalogue(catalogue) {}

    // Scans `path` (ending in "/"); false when it cannot be read. `fileCount` grows by the
    // files found here and by one for every subfolder that could be read. A folder is never
    // entered through a link, and no deeper than 64 levels.
    bool scan(const std::string& path, std::int32_t folderIndex, bool recurse,
              std::int32_t& fileCount, int depth = 0);

    // The entries of everything scanned, metadata pending. When every name starts with the
    // recorder's date and time they come in that order (descending or not), which the sort
    // then only confirms; otherwise in the order found. The scanner is empty afterwards.
    std::vector<RecordingEntry> takeEntries(bool descending);

private:
    struct Found {
        std::uint64_t key;         // the name's date and time as a number, when it has one
        std::uint32_t folder;      // index into m_folders
        std::uint32_t nameOffset;  // into m_names
        std::uint32_t nameLength;
        std::int32_t folderIndex;  // the configured folder it was found under
    };

    const RecordingCatalogue& m_catalogue;
    std::vector<std::string> m_folders;  // paths ending in "/"
    std::string m_names;                 // every name found, back to back
    std::vector<Found> m_found;
    bool m_allNumeric = true;
};

}  // namespace qelv::core

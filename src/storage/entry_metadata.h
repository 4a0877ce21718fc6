// A scan reads names only; an entry's size and creation time are read from its file when
// first needed (a tie in the sort, a listed row).
#pragma once

#include <string>

#include "storage/recording_types.h"

namespace qelv::core {

// Reads an entry's size and creation time from its file if the scan left them pending; a
// file that cannot be read keeps zeros.
void fillMetadata(RecordingEntry& entry);

// The same for many entries in a row (a listing): the folder of the last file stays open, so
// that the files of one folder are looked up by name in it rather than by their whole path.
class MetadataReader {
public:
    MetadataReader() = default;
    ~MetadataReader();
    MetadataReader(const MetadataReader&) = delete;
    MetadataReader& operator=(const MetadataReader&) = delete;

    void fill(RecordingEntry& entry);

private:
    std::string m_folder;  // path up to and with its last "/"
    int m_folderFd = -1;   // -1: not open (or it could not be opened)
};

}  // namespace qelv::core

// Selecting a source fills the catalogue with its recordings, in sort order: a FAT card's
// configured folders, a WyFS card's directories through the card library, or a folder on
// the PC that the user picks.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "storage/entry_metadata.h"
#include "storage/recording_catalogue.h"
#include "storage/recording_sort.h"

namespace qelv::core {

// Asks the user for a folder (the folder picker of the viewer, a fixed answer elsewhere);
// nothing when the user cancels.
using FolderChooser = std::function<std::optional<std::string>(const std::string& title)>;

// Closes an open card, scans the drive at `driveIndex` of the catalogue's drive list, sorts,
// and remembers the drive. False (the selected drive unchanged) for an index outside the
// list, a WyFS card that cannot be opened ("WYFS drive cannot be opened" goes to `console`),
// a cancelled or empty folder choice, or no chooser for a folder line.
bool selectSource(RecordingCatalogue& catalogue, std::int64_t driveIndex,
                  const FolderChooser& chooseFolder, std::ostream& console);

// As selectSource, for a drive given by its line instead of its place in the catalogue's
// drive list, so that a source can be read again after the list changed. The selected drive
// becomes the place of an equal line in the list, or -1 when the list has none.
bool selectDrive(RecordingCatalogue& catalogue, const SourceDrive& drive,
                 const FolderChooser& chooseFolder, std::ostream& console);

// The entries a folder on the PC would give (names only, unsorted, metadata pending), read
// with the catalogue's extensions and folder recursion; the catalogue stays as it is. Empty
// for a folder that cannot be read.
std::vector<RecordingEntry> peekPcFolder(const RecordingCatalogue& catalogue,
                                         const std::string& folder);

}  // namespace qelv::core

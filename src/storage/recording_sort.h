// The order of a source's recordings: by the date and time in their names, then by creation
// time and size.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "storage/recording_catalogue.h"

namespace qelv::core {

// Sorts the entries by the recording's name date and time (fields 0 and 1), then creation
// time, in the catalogue's order; equal again, the larger file first. Empties the shown rows.
void sortEntries(RecordingCatalogue& catalogue);

// The date and time of a name that starts with the recorder's "yyyymmdd_hhmmss" (and ends or
// goes on with "_") as one number, which orders as the sort orders those names; nothing for
// any other name.
std::optional<std::uint64_t> numericNameKey(std::string_view fileName);

}  // namespace qelv::core

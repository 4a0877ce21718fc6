// The rows a recording list shows for a filter, and the catalogue's record of which entry each
// row stands for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/recording_catalogue.h"

namespace qelv::core {

// The category combo of the recording list: "ALL", "NORMAL", "EVENT", "PARKING", "USER".
enum class ListFilter : std::int32_t { All = 0, Normal = 1, Event = 2, Parking = 3, User = 4 };

struct ListRow {
    std::string number;  // "%03d" from 1
    std::string date;    // "YYYY-MM-DD" from the name
    std::string time;    // "HH:MM:SS" from the name
    std::string type;    // "NOR", "EVT", "MOT", "USR" or "NONE"
    std::size_t entry;   // index into the catalogue's entries
};

struct ListOptions {
    // The all-categories listing repairs unfinished recordings before it lists them; users who
    // only want to look can turn that off.
    bool repair = true;
};

// Whether a file of that name gets a row under `filter` (the rules below), judged from the
// name alone.
bool isListed(std::string_view fileName, ListFilter filter);

// Rebuilds the catalogue's shown rows and returns them. A single-category filter lists the
// front files whose category letter (none counts as normal) is the filter's. The
// all-categories filter lists the front files whose name carries a category ("_N_" ...), a
// camera and a channel count, after running the index rebuild on every such file, rear files
// included (WyFS recordings are one file each and are never rebuilt). Only regular files whose
// real path lies inside the catalogue's source root are rebuilt: a link that leads off the
// card is listed but its target is never written. With no entries at all it returns at once
// and leaves the shown rows alone.
std::vector<ListRow> listRecordings(RecordingCatalogue& catalogue, ListFilter filter,
                                    const ListOptions& options = {});

}  // namespace qelv::core

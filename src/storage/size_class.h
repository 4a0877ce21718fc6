// The size class of a recording file: how large it is for its category. The index rebuild
// takes a rear file's resolution from it.
#pragma once

#include <cstdint>

#include "storage/recording_types.h"

namespace qelv::core {

// From sizeMB = sizeKB / 1024 (rounded down):
//   normal:                 below 30 -> 2, 30 to 49 -> 1, 50 to 59 -> 0, 60 and above -> 3
//   event, parking, user:   below 15 -> 2, 15 to 24 -> 1, 25 to 29 -> 0, 30 and above -> 3
int sizeClassOf(RecordingCategory category, std::uint64_t sizeKB);

}  // namespace qelv::core

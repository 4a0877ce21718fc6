// The names of still images: the name the save dialog proposes for the recording being played,
// and the file each camera's picture is written to for the name the user chose.
//
// The proposal follows the configuration's two capture switches:
//   filetime set         the file's creation time (+ the position when addpos is set), with
//                        only the daylight-saving shift of this machine's time zone applied;
//   addpos only          the date and time in the file name + the position, as written;
//   neither              the recording's path without its extension (the dialog then opens
//                        in the recording's folder).
// Times are written "YYYYMMDD_HHMMSS" (20240131_235958); the proposal ends in "_CHx.jpg".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/file_time.h"

namespace qelv::core {

struct SnapshotSource {
    std::string path;      // the front file's full path
    std::string fileName;  // its name
    FileTime creationTime = 0;
    std::uint64_t positionMs = 0;
};

// Seconds the daylight-saving rule adds at a UTC instant (seconds since 1970); this machine's
// time zone unless a test gives its own.
using DaylightShift = std::function<std::int64_t(std::int64_t unixSeconds)>;
std::int64_t localDaylightShift(std::int64_t unixSeconds);

// "YYYYMMDD_HHMMSS" of `time` + `offsetMs` (milliseconds; sub-second parts dropped), shifted by
// `shift` when given. Empty when the time is outside what can be written.
std::string snapshotTimeText(FileTime time, std::uint64_t offsetMs,
                             const DaylightShift& shift = nullptr);

// The name the save dialog proposes ("..._CHx.jpg"); "_CHx.jpg" alone when the time cannot be
// read from a name too short or not a date.
std::string proposedSnapshotName(const SnapshotSource& source, bool filetime, bool addpos,
                                 const DaylightShift& shift = localDaylightShift);

// The file of channel `index` (0 to 2) for the chosen name: the chosen path without its last
// five characters ("x.jpg" of "_CHx.jpg"), then "(#1)" to "(#3)" and ".jpg".
std::string snapshotChannelPath(std::string_view chosen, int index);

}  // namespace qelv::core

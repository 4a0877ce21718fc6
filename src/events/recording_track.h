// The whole telemetry of one recording, for the incident detector: a finished recording's
// track found through its movie box, an unfinished one's (the recorder lost power before it
// wrote the movie box: after a collision, often the recording that matters) found by walking
// its raw samples as the index rebuild does. Only reads: the file is never written.
#pragma once

#include <string>
#include <vector>

#include "storage/byte_source.h"
#include "telemetry/telemetry_files.h"
#include "telemetry/telemetry_records.h"

namespace qelv::events {

// The most records read of one recording: a day at one a second. The recorder writes minutes;
// a hostile file whose tables claim millions of records is read no further.
inline constexpr std::size_t kMostRecords = 86400;

struct RecordingTrack {
    // Every record's fix and G-sensor sample in recording order, the k-th accepted record at
    // k x 1000 ms (not only the first minute the viewer's store keeps).
    std::vector<core::CVOKAGPSData> fixes;
    std::vector<core::GSensorSample> samples;
    // How many seconds the records span: one record a second.
    std::uint32_t seconds = 0;
    // Read through the sample walk: the movie box was never written.
    bool unfinished = false;
    // Why the recording cannot be read ("the telemetry track's tables are damaged", a read
    // error); empty when it was read, with or without a telemetry track.
    std::string problem;
};

// Reads the telemetry records of an MP4 or AVI recording. Reads only the movie box and the
// records themselves (an unfinished MP4 costs the walk's 8-byte reads of the video frames'
// headers); never a picture.
RecordingTrack readRecordingTrack(core::ByteSource& bytes);
// The same for a recording where `where` says: an open source, a file of an open WyFS card,
// or a file (only a regular file is read; a device or a pipe is refused, never waited on).
RecordingTrack readRecordingTrack(const core::RecordingLocation& where);

}  // namespace qelv::events

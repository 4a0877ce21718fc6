// Finding where a recording's telemetry records lie: the MP4 track with handler "sdsm", or
// the text stream of a RIFF AVI.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telemetry/box_reader.h"
#include "telemetry/text_track_source.h"

namespace qelv::core {

struct TrackRecord {
    std::uint64_t offset;
    std::uint32_t size;
};

struct TrackLookup {
    TrackStatus status = TrackStatus::NotRecording;
    std::string problem;  // why the file is not a readable recording; empty otherwise
    std::vector<TrackRecord> records;

    static TrackLookup refused(std::string why) {
        return {TrackStatus::NotRecording, std::move(why), {}};
    }
};

// The first telemetry track of an MP4 file (records that lie outside the file are left
// out). A file whose boxes or movie box cannot be read is no recording.
TrackLookup findMp4TextTrack(BoxReader& reader);

// The text stream of a RIFF AVI recording, found through its index; nothing when the file
// does not start as a RIFF AVI.
std::optional<TrackLookup> findAviTextStream(BoxReader& reader);

}  // namespace qelv::core

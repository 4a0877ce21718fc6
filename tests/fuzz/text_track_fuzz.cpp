// Any bytes as a recording whose telemetry is read: MP4 boxes or a RIFF AVI, hostile sizes,
// counts and offsets. Reading every record must stay inside the data and end.
#include <array>
#include <cstdint>
#include <vector>

#include "telemetry/telemetry_export.h"
#include "telemetry/text_track_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    qelv::core::MemorySource bytes(file);
    qelv::core::TextTrackSource source(bytes);
    const auto records = qelv::core::readAllRecords(source);
    if (records.size() > source.recordCount()) {
        __builtin_trap();
    }
    // Only a file with a telemetry track has records, and only a refused one a reason.
    const bool found = source.status() == qelv::core::TrackStatus::Found;
    if ((!found && source.recordCount() != 0) ||
        source.problem().empty() != (source.status() != qelv::core::TrackStatus::NotRecording)) {
        __builtin_trap();
    }
    (void)qelv::core::exportGpx(records, "fuzz");
    (void)qelv::core::exportKml(records, "fuzz");
    (void)qelv::core::exportJson(records);
    (void)qelv::core::exportCsv(records);
    return 0;
}

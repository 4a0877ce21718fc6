// The whole telemetry of a recording for other programs: every record parsed (not only the
// first minute the viewer's store keeps), as JSON, CSV, GPX 1.1 or KML.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "telemetry/telemetry_records.h"
#include "telemetry/text_track_source.h"

namespace qelv::core {

struct ExportedRecord {
    std::uint32_t timeMs;
    std::optional<CVOKAGPSData> fix;
    std::optional<GSensorSample> sample;
};

// Every accepted record of the track, the k-th at k x 1000 ms.
std::vector<ExportedRecord> readAllRecords(TextTrackSource& source);

// One point of a recording's route: decimal degrees and the record's time.
struct RoutePoint {
    double longitude;
    double latitude;
    std::uint32_t timeMs;
};

// The point of a fix a map can place (the same fixes the GPX export writes); none for the
// others.
std::optional<RoutePoint> routePoint(const CVOKAGPSData& fix, std::uint32_t timeMs);
// Every such point of the records, in recording order.
std::vector<RoutePoint> mappableRoute(const std::vector<ExportedRecord>& records);

// Numbers are written whole, never cut to a buffer.
// {"fixes": [...], "samples": [...]}, the fields as the store holds them; a value that is not
// finite (a speed beyond single precision) is null.
std::string exportJson(const std::vector<ExportedRecord>& records);
// One row per record: time, decimal degrees, km/h, course, X/Y/Z in g; a value that is not
// finite leaves its field empty.
std::string exportCsv(const std::vector<ExportedRecord>& records);
// The valid fixes that lie on the globe (latitude within 90 degrees, longitude within 180)
// with finite numbers, as a track with UTC times and speeds. Both XML exports are well-formed
// XML 1.0 whatever `name` holds (what is no XML character becomes U+FFFD).
std::string exportGpx(const std::vector<ExportedRecord>& records, const std::string& name);
// The same fixes as a KML line; one fix is a point, none leaves the document without a
// placemark (a line of fewer than two points is invalid).
std::string exportKml(const std::vector<ExportedRecord>& records, const std::string& name);

}  // namespace qelv::core

// The line burnt into each moment of a clip: the recorder's date and time at the moment shown
// and, while the recording has a GPS fix, the vehicle's speed, picked from the telemetry by
// the rule the sensor panel follows (the first fix stored after the position).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_plan.h"

namespace qelv::media {

class OverlayTimeline {
public:
    // Reads the telemetry of every recording the plan uses (a file without it gives times
    // only).
    OverlayTimeline(const std::vector<ExportRecording>& recordings, const SpanPlan& plan);

    // "2024-01-31 12:00:05  57 km/h" for the picture `clipNs` into the clip. Thread-safe.
    std::string lineAt(std::int64_t clipNs) const;

private:
    struct Part {
        SpanSegment segment;
        core::RecordingName name;
        std::vector<std::string> speedPerSecond;  // empty text while there is no fix
    };
    std::vector<Part> m_parts;
};

}  // namespace qelv::media

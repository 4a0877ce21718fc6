// What a trip's recordings tell about the drive: its length in time, the distance driven and
// the top speed from the trusted GPS fixes (never a position jump or an impossible speed), and
// its incidents. A recording is read once; the trip adds its recordings' facts up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "events/incident_detector.h"
#include "events/recording_track.h"
#include "events/trusted_fixes.h"
#include "trips/trip_builder.h"

namespace qelv::trips {

struct RecordingFacts {
    // Why the recording could not be read; empty when it was.
    std::string problem;
    bool unfinished = false;  // its index was never written; read as it is
    // One telemetry record a second: how long the recording lasts (0 without records).
    std::uint32_t durationMs = 0;
    double distanceKm = 0;
    double topSpeedKmh = -1;  // -1 without a trusted fix
    std::optional<events::TrustedFix> first, last;
    std::vector<events::Incident> incidents;
};

RecordingFacts recordingFacts(const events::RecordingTrack& track,
                              const events::Thresholds& thresholds);

struct TripTotals {
    double distanceKm = 0;
    double topSpeedKmh = -1;
    std::size_t incidents = 0;
    std::size_t unreadable = 0;  // recordings of the trip that could not be read
};

// The trip's totals; `facts[i]` belongs to `inputs[i]`. The distance includes the step from
// one recording's last fix to the next one's first when the vehicle could have made it (never
// across a recording that could not be read: the distance is what the GPS saw).
TripTotals tripTotals(const Trip& trip, const std::vector<TripInput>& inputs,
                      const std::vector<RecordingFacts>& facts);

}  // namespace qelv::trips

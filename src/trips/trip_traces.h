// What the trip timeline draws of one recording besides its facts: the GPS speed of every
// trusted fix and how hard the vehicle was shaken at every G-sensor sample. Read once per
// recording on the reader's thread; the timeline only places them.
#pragma once

#include <cstdint>
#include <vector>

#include "events/recording_track.h"
#include "trips/trip_facts.h"

namespace qelv::trips {

struct SpeedPoint {
    std::uint32_t timeMs;  // as the records are timed
    double speedKmh;
    double latitude = 0, longitude = 0;  // decimal degrees: where the fix placed the vehicle
};

struct ShakePoint {
    std::uint32_t timeMs;
    // The sample's distance from the recording's resting level in g, on the panel's scale: 0
    // while the vehicle cruises, over 1.5 at an impact (the measure the incident finder uses).
    double g;
};

struct RecordingTrace {
    RecordingFacts facts;
    std::vector<SpeedPoint> speed;  // the trusted fixes only, in time order
    std::vector<ShakePoint> shake;  // samples out of the sensor's range are left out
};

RecordingTrace recordingTrace(const events::RecordingTrack& track,
                              const events::Thresholds& thresholds);

// The shake of each sample: the list's scale is its first sample's (8 or 10 bits), the resting
// level each axis's median.
std::vector<ShakePoint> shakeOf(const std::vector<core::GSensorSample>& samples);

}  // namespace qelv::trips

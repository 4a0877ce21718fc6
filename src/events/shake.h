// How hard the vehicle was shaken at each G-sensor sample: the sample's distance from the
// recording's resting level (each axis's median), in g on the panel's scale. The resting level
// takes out gravity and a tilted mount; what is left is braking, bumps, blows and swerves.
#pragma once

#include <cstdint>
#include <vector>

#include "telemetry/telemetry_records.h"

namespace qelv::events {

struct ShakeSample {
    std::uint32_t timeMs;
    double dx, dy, dz;  // g from rest on each axis (X sideways)
    double magnitude() const;
};

// The scale of the whole list is its first sample's (8 or 10 bits), as the panel and graph
// read it; samples out of the sensor's range or before the recording's start are left out.
std::vector<ShakeSample> shakeSamples(const std::vector<core::GSensorSample>& samples);

}  // namespace qelv::events

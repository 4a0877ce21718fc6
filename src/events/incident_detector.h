// Finds the moments of a recording that a driver looks for after a near-miss or a collision:
// hard braking (from the GPS speed), impacts and swerves (from the G-sensor). The recorder
// writes one record a second, so an incident is one or more whole seconds of one kind.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "telemetry/telemetry_records.h"

namespace qelv::events {

enum class IncidentKind { HardBraking, Impact, Swerve };
std::string_view kindName(IncidentKind kind);  // "braking", "impact", "swerve"

struct Thresholds {
    // Speed lost in one second, km/h: 12 km/h/s is about 0.34 g, a firm stop that is not an
    // emergency; an ordinary stop at a light stays under 8.
    double brakingKmhPerS = 12.0;
    // Braking below this speed is parking, not an incident.
    double brakingMinStartKmh = 10.0;
    // The sample's distance from the recording's resting level, in g on the panel's scale.
    double impactG = 1.5;
    // Sideways (X axis) distance from the resting level, in g.
    double swerveG = 0.6;
};

// What each threshold may be set to, on the command line and in the viewer's settings: a
// value outside would find an incident in every second, or never one.
struct ThresholdRange {
    double lowest;
    double highest;
};
inline constexpr ThresholdRange kBrakingRange{1, 200};
inline constexpr ThresholdRange kBrakingFromRange{0, 400};
inline constexpr ThresholdRange kImpactRange{0.05, 8};
inline constexpr ThresholdRange kSwerveRange{0.05, 8};

struct Incident {
    IncidentKind kind;
    std::uint32_t startMs;  // the first second of the incident, as the records are timed
    std::uint32_t endMs;    // the last second
    // How far past its threshold the incident went (1.0 = just at it): one scale for every
    // kind, so that incidents of different kinds can be ranked together.
    double severity;
    // Braking: the largest speed lost in one second (km/h/s). Impact and swerve: the peak
    // distance from the resting level (g; for a swerve the X axis alone).
    double peak;
    // The GPS speed just before and just after (km/h); negative when no usable fix is near.
    double speedBeforeKmh;
    double speedAfterKmh;
};

// The incidents of one recording's fixes and samples (each in recording order, as the text
// track gives them), in time order. Invalid fixes, fixes faster than the recorder can go
// (over 400 km/h) and fixes whose position jumped farther than 300 km/h allow from the last
// good one never make or end an incident; samples out of the sensor's range are skipped.
std::vector<Incident> findIncidents(const std::vector<core::CVOKAGPSData>& fixes,
                                    const std::vector<core::GSensorSample>& samples,
                                    const Thresholds& thresholds = {});

}  // namespace qelv::events

// A plausible drive for simulated recordings: where the car is, how fast it goes and what the
// G-sensor feels, second by second, and the telemetry records the recorder writes for it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qelv::sim {

// Local (recorder) date and time of the first second of a recording.
struct LocalTime {
    int year = 2024, month = 1, day = 31, hour = 12, minute = 0, second = 0;
};

struct DriveSecond {
    bool fix;          // the GPS has a position (false: a record without a sentence)
    double latitude;   // decimal degrees, north positive
    double longitude;  // decimal degrees, east positive
    double speedKmh;
    double courseDeg;
    std::uint8_t gx, gy, gz;  // G-sensor bytes: 8-bit magnitudes, about 32 per g
    // The receiver lost its fix for a moment: the sentence says so (status V) and has no
    // position, speed or course.
    bool lost = false;
};

// The first seconds have no fix; somewhere in the middle the driver brakes hard, which the
// G-sensor shows as a peak on its longitudinal (Z) axis.
std::vector<DriveSecond> planDrive(int seconds, std::uint64_t seed);

// An incident planted in a drive: what a detector of hard braking, impacts and swerves ought
// to find there.
enum class PlantedKind { Braking, Impact, Swerve };
std::string_view plantedKindName(PlantedKind kind);  // "braking", "impact", "swerve"

struct PlantedIncident {
    PlantedKind kind;
    // The record (second) where it starts: for braking the last second at the old speed, so
    // that the first fall lies between it and the next record; for a shock its first sample.
    int second;
    int seconds;  // how many records it spans
    // Braking: km/h lost a second (the steepest). Impact: the blow in g. Swerve: the sideways
    // g at its strongest.
    double peak;
};

struct DriveOptions {
    // Off: the drive of planDrive(seconds, seed). On: a drive with a real one's troubles and
    // no hard braking of its own: GPS speed jitter, a dropout or two (sentences without a
    // position), one position kilometres off the road, now and then a speed no car has, road
    // bumps and the sensor's own noise; and `incidents` planted incidents at least eight
    // seconds apart, none of them near a dropout or the jump.
    bool realistic = false;
    int incidents = 0;
};

struct DrivePlan {
    std::vector<DriveSecond> seconds;
    std::vector<PlantedIncident> incidents;  // in time order
};

// The same drive for the same arguments. A drive too short for every incident asked for
// gets as many as fit.
DrivePlan planDrive(int seconds, std::uint64_t seed, const DriveOptions& options);

// The record of second `index`: "G$GPRMC,..." with the UTC time (local time minus 9 hours)
// or "GXYZ" without a fix, followed by the 16-byte block "QELVM" X Y Z and eight zero bytes.
std::vector<std::uint8_t> telemetryRecord(const DriveSecond& second, const LocalTime& start,
                                          int index);

// Seconds since 1970 of a time read as UTC.
std::int64_t unixSeconds(const LocalTime& time);

// Adds `seconds` to a local time, with calendar carries.
LocalTime addSeconds(const LocalTime& time, std::int64_t seconds);

}  // namespace qelv::sim

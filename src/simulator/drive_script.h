// A plausible drive for simulated recordings: where the car is, how fast it goes and what the
// G-sensor feels, second by second, and the telemetry records the recorder writes for it.
#pragma once

#include <cstdint>
#include <vector>

namespace qelv::sim {

// Local (recorder) date and time of the first second of a recording.
struct LocalTime {
    int year = 2024, month = 1, day = 31, hour = 12, minute = 0, second = 0;
};

struct DriveSecond {
    bool fix;          // the GPS has a position
    double latitude;   // decimal degrees, north positive
    double longitude;  // decimal degrees, east positive
    double speedKmh;
    double courseDeg;
    std::uint8_t gx, gy, gz;  // G-sensor bytes: 8-bit magnitudes, about 32 per g
};

// The first seconds have no fix; somewhere in the middle the driver brakes hard, which the
// G-sensor shows as a peak on its longitudinal (Z) axis.
std::vector<DriveSecond> planDrive(int seconds, std::uint64_t seed);

// The record of second `index`: "G$GPRMC,..." with the UTC time (local time minus 9 hours)
// or "GXYZ" without a fix, followed by the 16-byte block "QELVM" X Y Z and eight zero bytes.
std::vector<std::uint8_t> telemetryRecord(const DriveSecond& second, const LocalTime& start,
                                          int index);

// Seconds since 1970 of a time read as UTC.
std::int64_t unixSeconds(const LocalTime& time);

// Adds `seconds` to a local time, with calendar carries.
LocalTime addSeconds(const LocalTime& time, std::int64_t seconds);

}  // namespace qelv::sim

// The GPS fixes of a recording that can be trusted: valid, on the globe, at a speed a vehicle
// can have, in time order, and without the few fixes a receiver sometimes places far off the
// road (a position jump). Noisy GPS is what users hold against other viewers' detectors and
// distances: everything that counts or draws the vehicle's movement starts from these.
#pragma once

#include <cstdint>
#include <vector>

#include "telemetry/telemetry_records.h"

namespace qelv::events {

inline constexpr double kFastestKmh = 400.0;  // no recorder's vehicle goes faster
inline constexpr double kGpsJumpKmh = 300.0;  // a position that moved faster than this jumped

struct TrustedFix {
    std::uint32_t timeMs;        // as the records are timed
    double latitude, longitude;  // decimal degrees
    double speedKmh;
};

std::vector<TrustedFix> trustedFixes(const std::vector<core::CVOKAGPSData>& fixes);

// Great-circle distance in km.
double kilometresBetween(const TrustedFix& a, const TrustedFix& b);
// The speed at which the vehicle would have gone from a to b (b at least a millisecond after
// a; infinite otherwise).
double impliedKmh(const TrustedFix& a, const TrustedFix& b);

}  // namespace qelv::events

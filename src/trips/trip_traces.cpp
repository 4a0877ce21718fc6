#include "trips/trip_traces.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "events/shake.h"
#include "events/trusted_fixes.h"

namespace qelv::trips {

std::vector<ShakePoint> shakeOf(const std::vector<core::GSensorSample>& samples) {
    std::vector<ShakePoint> shake;
    for (const events::ShakeSample& s : events::shakeSamples(samples)) {
        shake.push_back({s.timeMs, s.magnitude()});
    }
    return shake;
}

RecordingTrace recordingTrace(const events::RecordingTrack& track,
                              const events::Thresholds& thresholds) {
    RecordingTrace trace;
    trace.facts = recordingFacts(track, thresholds);
    if (!trace.facts.problem.empty()) {
        return trace;
    }
    for (const events::TrustedFix& fix : events::trustedFixes(track.fixes)) {
        trace.speed.push_back({fix.timeMs, fix.speedKmh, fix.latitude, fix.longitude});
    }
    trace.shake = shakeOf(track.samples);
    return trace;
}

}  // namespace qelv::trips

#include "trips/trip_facts.h"

#include <algorithm>

namespace qelv::trips {

RecordingFacts recordingFacts(const events::RecordingTrack& track,
                              const events::Thresholds& thresholds) {
    RecordingFacts facts;
    facts.problem = track.problem;
    facts.unfinished = track.unfinished;
    if (!track.problem.empty()) {
        return facts;
    }
    facts.durationMs = track.seconds * 1000;
    const std::vector<events::TrustedFix> fixes = events::trustedFixes(track.fixes);
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        facts.topSpeedKmh = std::max(facts.topSpeedKmh, fixes[i].speedKmh);
        if (i > 0) {
            facts.distanceKm += events::kilometresBetween(fixes[i - 1], fixes[i]);
        }
    }
    if (!fixes.empty()) {
        facts.first = fixes.front();
        facts.last = fixes.back();
    }
    facts.incidents = events::findIncidents(track.fixes, track.samples, thresholds);
    return facts;
}

TripTotals tripTotals(const Trip& trip, const std::vector<TripInput>& inputs,
                      const std::vector<RecordingFacts>& facts) {
    TripTotals totals;
    std::optional<events::TrustedFix> last;  // timed from the trip's start
    for (const std::size_t index : trip.recordings) {
        if (index >= facts.size() || index >= inputs.size()) {
            continue;
        }
        const RecordingFacts& f = facts[index];
        if (!f.problem.empty()) {
            ++totals.unreadable;
            last.reset();  // no step is counted across what could not be read
            continue;
        }
        totals.distanceKm += f.distanceKm;
        totals.topSpeedKmh = std::max(totals.topSpeedKmh, f.topSpeedKmh);
        totals.incidents += f.incidents.size();
        const std::int64_t offsetMs =
            startMsOf(inputs[index]).value_or(trip.startMs) - trip.startMs;
        const auto shifted = [offsetMs](events::TrustedFix fix) {
            fix.timeMs = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(fix.timeMs + offsetMs, 0, UINT32_MAX));
            return fix;
        };
        if (f.first && last &&
            events::impliedKmh(*last, shifted(*f.first)) <= events::kGpsJumpKmh) {
            totals.distanceKm += events::kilometresBetween(*last, *f.first);
        }
        if (f.last) {
            last = shifted(*f.last);
        }
    }
    return totals;
}

}  // namespace qelv::trips

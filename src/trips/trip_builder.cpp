#include "trips/trip_builder.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <tuple>

#include "storage/recording_name.h"

namespace qelv::trips {

namespace {

struct Placed {
    std::size_t index;
    std::int64_t startMs;
    std::optional<std::int64_t> durationMs;  // known and not 0
    bool atLeast;                            // the length is only a lower bound
    int channels;
};

// The end of `r` as far as joining `next` to it goes: a length not known, or known only as a
// lower bound, reaches the next start when that is not too far.
std::int64_t endForJoin(const Placed& r, const Placed& next) {
    const std::int64_t known = r.startMs + r.durationMs.value_or(0);
    if (r.durationMs && !r.atLeast) {
        return known;
    }
    const std::int64_t toNext = next.startMs - r.startMs;
    return toNext > 0 && toNext <= kLongestUnknownMs ? std::max(known, next.startMs) : known;
}

}  // namespace

std::optional<std::int64_t> startMsOf(const TripInput& input) {
    const auto seconds = core::startSecondsOf(input.fileName);
    return seconds ? std::optional(*seconds * 1000) : std::nullopt;
}

std::vector<Trip> buildTrips(const std::vector<TripInput>& inputs, std::int64_t joinGapMs) {
    std::vector<Placed> normal;
    std::vector<Placed> marked;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const core::RecordingName name = core::parseRecordingName(inputs[i].fileName);
        const auto start = startMsOf(inputs[i]);
        if (!start || !name.listCategory || name.channels <= 0) {
            continue;
        }
        const auto duration = inputs[i].durationMs.value_or(0);
        const Placed placed{i, *start,
                            duration > 0 ? std::optional<std::int64_t>(duration) : std::nullopt,
                            inputs[i].atLeast, name.channels};
        switch (*name.listCategory) {
            case core::RecordingCategory::Normal:
                normal.push_back(placed);
                break;
            case core::RecordingCategory::Event:
            case core::RecordingCategory::User:
                marked.push_back(placed);
                break;
            default:
                break;  // parking: no trip
        }
    }
    const auto earlier = [&](const Placed& a, const Placed& b) {
        return std::tie(a.startMs, inputs[a.index].fileName) <
               std::tie(b.startMs, inputs[b.index].fileName);
    };
    std::sort(normal.begin(), normal.end(), earlier);
    std::sort(marked.begin(), marked.end(), earlier);

    // Exact duplicates (the same name twice) count once.
    std::set<std::string_view> seen;
    std::erase_if(normal,
                  [&](const Placed& p) { return !seen.insert(inputs[p.index].fileName).second; });

    // One trip open for each camera count: a recording with other cameras that overlaps in
    // time is another drive's, and does not end this one.
    std::vector<Trip> trips;
    std::map<int, std::pair<std::size_t, Placed>> open;  // channels: trip index, its last
    for (const Placed& r : normal) {
        const auto it = open.find(r.channels);
        bool joins = false;
        if (it != open.end()) {
            const Trip& trip = trips[it->second.first];
            // Past the whole trip's end so far (a long recording overlapped by a short one ends
            // where the long one does) by no more than the gap.
            const std::int64_t end = std::max(trip.endMs, endForJoin(it->second.second, r));
            joins = r.startMs - end <= joinGapMs;
        }
        if (!joins) {
            trips.push_back({{}, {}, r.startMs, r.startMs, r.channels});
            open[r.channels] = {trips.size() - 1, r};
        }
        auto& [index, last] = open[r.channels];
        Trip& trip = trips[index];
        // The last recording's end: its known length, or (length unknown) where this one starts.
        trip.endMs =
            std::max({trip.endMs, endForJoin(last, r), r.startMs + r.durationMs.value_or(0)});
        trip.recordings.push_back(r.index);
        last = r;
    }
    std::sort(trips.begin(), trips.end(), [](const Trip& a, const Trip& b) {
        return std::tie(a.startMs, a.channels) < std::tie(b.startMs, b.channels);
    });
    // Each marker to every trip it started in.
    for (const Placed& m : marked) {
        for (Trip& trip : trips) {
            if (m.startMs >= trip.startMs && m.startMs <= trip.endMs) {
                trip.markers.push_back(m.index);
            }
        }
    }
    return trips;
}

}  // namespace qelv::trips

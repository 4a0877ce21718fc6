#include "trips/trip_builder.h"

#include <algorithm>
#include <tuple>

#include "storage/recording_name.h"

namespace qelv::trips {

namespace {

struct Placed {
    std::size_t index;
    std::int64_t startMs;
    std::optional<std::int64_t> durationMs;  // known and not 0
    int channels;
};

// The end of `r` as far as joining it to `next` goes.
std::int64_t endForJoin(const Placed& r, const Placed& next) {
    if (r.durationMs) {
        return r.startMs + *r.durationMs;
    }
    const std::int64_t toNext = next.startMs - r.startMs;
    return toNext > 0 && toNext <= kLongestUnknownMs ? next.startMs : r.startMs;
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
                            name.channels};
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

    std::vector<Trip> trips;
    for (std::size_t i = 0; i < normal.size(); ++i) {
        const Placed& r = normal[i];
        const bool joins = !trips.empty() && i > 0 && r.channels == trips.back().channels && [&] {
            const std::int64_t gap = r.startMs - endForJoin(normal[i - 1], r);
            return gap >= -joinGapMs && gap <= joinGapMs;
        }();
        if (!joins) {
            trips.push_back({{}, {}, r.startMs, r.startMs, r.channels});
        }
        trips.back().recordings.push_back(r.index);
        trips.back().endMs = std::max(trips.back().endMs, r.startMs + r.durationMs.value_or(0));
    }
    // Each marker to the trip it started in (trips are in time order and do not overlap).
    for (const Placed& m : marked) {
        const auto after =
            std::upper_bound(trips.begin(), trips.end(), m.startMs,
                             [](std::int64_t at, const Trip& trip) { return at < trip.startMs; });
        if (after != trips.begin() && m.startMs <= std::prev(after)->endMs) {
            std::prev(after)->markers.push_back(m.index);
        }
    }
    return trips;
}

}  // namespace qelv::trips

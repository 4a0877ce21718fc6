// The telemetry of the recording being played: the store of fixes and samples, and the
// current fix the map shows. The text-track reader appends from its own thread while the
// panels walk the store on the interface thread: one lock serialises appends, walks, clears
// and the copy of the current fix.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "telemetry/telemetry_export.h"
#include "telemetry/telemetry_records.h"

namespace qelv::core {

// Where the map draws the vehicle: decimal degrees.
struct MapPosition {
    double longitude;
    double latitude;
};

class TelemetryState {
public:
    // Parses one record and stores what it holds: marker and packed samples at any time, a
    // GPS record's fix and marker sample only in the first minute (timeMs < 60000). Returns 0
    // when the record was accepted, -1 when it was not a record at all.
    int ParseTextRecord(RecordBuffer record, std::uint32_t timeMs);
    // The same for a reader that started at `epoch`: kStale, and nothing stored, once the
    // store was emptied since (a reader of a stopped recording must not add to the next one).
    static constexpr int kStale = -2;
    int ParseTextRecord(RecordBuffer record, std::uint32_t timeMs, std::uint64_t epoch);

    // Empties both lists and the route (a stop, a new recording) and starts a new epoch.
    void clear();
    std::uint64_t epoch() const;
    // Changes whenever a sample is stored or the store is emptied (what a drawing of the
    // samples depends on).
    std::uint64_t samplesRevision() const;

    // The whole route of the recording being played (every fix a map can place, not only the
    // first minute's), set once it was read; ignored when the store was emptied since
    // `epoch`. The revision changes whenever the route does.
    void setRoute(std::vector<RoutePoint> route, std::uint64_t epoch);
    std::vector<RoutePoint> route() const;
    std::uint64_t routeRevision() const;

    // Runs `walk` with the lists while holding the lock; nothing of them may escape it.
    void walkFixes(const std::function<void(const std::list<CVOKAGPSData>&)>& walk) const;
    void walkSamples(const std::function<void(const std::list<GSensorSample>&)>& walk) const;

    // The fix for a playback position: the first whose time is after it. Publishes it as the
    // current fix and returns its position for the map when it is valid; an empty list (or
    // one whose first fix has a negative year) clears the current fix; otherwise nothing
    // changes.
    std::optional<MapPosition> SelectCurrentFix(std::uint32_t positionMs);

    // A copy of the current fix and its flag (1 while it holds a published fix).
    std::pair<CVOKAGPSData, std::int32_t> currentFix() const;
    // Used by the map when it cannot show a position.
    void clearCurrentFix();

private:
    mutable std::mutex m_lock;
    CVOKATextData m_store;
    CVOKAGPSData m_current;
    std::int32_t m_currentFlag = 0;
    std::uint64_t m_epoch = 0;
    std::uint64_t m_samplesRevision = 0;
    std::vector<RoutePoint> m_route;
    std::uint64_t m_routeRevision = 0;
};

}  // namespace qelv::core

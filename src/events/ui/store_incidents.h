// The incidents of the recording being played, as the graph and the map mark them. A hostile
// track may hold millions of samples: callers find the incidents again only when the store's
// version changed, never at every paint or timer tick.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <vector>

#include "events/incident_detector.h"
#include "telemetry/telemetry_state.h"

namespace qelv::ui {

// The incidents of the store's fixes and samples as they are now, in time order (thresholds
// usually incidentThresholds(QSettings())). Copies the lists under the store's lock and runs
// the detector without it. Take the version first: a record appended in between then makes
// the next look find them again.
std::vector<events::Incident> storeIncidents(const core::TelemetryState& store,
                                             const events::Thresholds& thresholds);

// What the store holds, as far as its incidents go: within one epoch the reader only appends
// (every sample moves the samples revision, every fix the fix count), and emptying the store
// starts a new epoch.
struct StoreVersion {
    std::uint64_t epoch = UINT64_MAX;
    std::uint64_t samplesRevision = UINT64_MAX;
    std::size_t fixCount = 0;
    bool operator==(const StoreVersion&) const = default;
};
StoreVersion storeVersion(const core::TelemetryState& store);

// How the viewer names and colours a kind: "Hard braking", "Impact", "Swerve".
QString incidentTitle(events::IncidentKind kind);
QColor incidentColour(events::IncidentKind kind);

}  // namespace qelv::ui

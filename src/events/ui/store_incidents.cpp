#include "events/ui/store_incidents.h"

namespace qelv::ui {

std::vector<events::Incident> storeIncidents(const core::TelemetryState& store,
                                             const events::Thresholds& thresholds) {
    std::vector<core::CVOKAGPSData> fixes;
    std::vector<core::GSensorSample> samples;
    store.walkFixes([&fixes](const std::list<core::CVOKAGPSData>& all) {
        fixes.assign(all.begin(), all.end());
    });
    store.walkSamples([&samples](const std::list<core::GSensorSample>& all) {
        samples.assign(all.begin(), all.end());
    });
    return events::findIncidents(fixes, samples, thresholds);
}

StoreVersion storeVersion(const core::TelemetryState& store) {
    StoreVersion version;
    version.epoch = store.epoch();
    version.samplesRevision = store.samplesRevision();
    store.walkFixes(
        [&version](const std::list<core::CVOKAGPSData>& all) { version.fixCount = all.size(); });
    return version;
}

QString incidentTitle(events::IncidentKind kind) {
    switch (kind) {
        case events::IncidentKind::HardBraking:
            return QStringLiteral("Hard braking");
        case events::IncidentKind::Impact:
            return QStringLiteral("Impact");
        case events::IncidentKind::Swerve:
            return QStringLiteral("Swerve");
    }
    return {};
}

QColor incidentColour(events::IncidentKind kind) {
    // Apart from the axis traces (green, red, blue), the graph's cursor (orange), the map's
    // route (blue) and its vehicle (red).
    switch (kind) {
        case events::IncidentKind::HardBraking:
            return {255, 64, 160};
        case events::IncidentKind::Impact:
            return {170, 110, 255};
        case events::IncidentKind::Swerve:
            return {0, 220, 220};
    }
    return {255, 255, 255};
}

}  // namespace qelv::ui

// The incident thresholds the viewer uses, from the user's settings (group "Incidents"):
// BrakingKmhPerS, BrakingFromKmh, ImpactG, SwerveG. A value that is missing or not a number
// is the detector's default; one outside what a threshold may be is taken to the nearest end.
#pragma once

#include <QSettings>

#include "events/incident_detector.h"

namespace qelv::ui {

inline constexpr char kIncidentsGroup[] = "Incidents";

events::Thresholds incidentThresholds(const QSettings& settings);

}  // namespace qelv::ui

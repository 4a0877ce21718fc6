// The incident thresholds the viewer uses, from the user's settings (group "Incidents"):
// BrakingKmhPerS, BrakingFromKmh, ImpactG, SwerveG ("1.5" or "1,5"). A value that is missing,
// not a number, or outside what the threshold may be is the detector's default (an impact
// threshold of 0 would make every sample an impact).
#pragma once

#include <QSettings>

#include "events/incident_detector.h"

namespace qelv::ui {

inline constexpr char kIncidentsGroup[] = "Incidents";

events::Thresholds incidentThresholds(const QSettings& settings);

}  // namespace qelv::ui

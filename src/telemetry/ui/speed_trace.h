// The G-sensor graph's speed trace: the GPS speed of the recording's first minute on a scale of
// its own, 0 to 200 km/h, from the -4 G line (y 243) up to the +4 G line (y 87) of the plot, so
// that its ticks at every 50 km/h stand on the grid's lines. Faster speeds stay at the top.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPolygon>
#include <list>
#include <vector>

#include "telemetry/telemetry_records.h"

namespace qelv::ui {

inline constexpr double kSpeedScaleTopKmh = 200.0;
inline constexpr int kSpeedZeroY = 243;
inline constexpr int kSpeedTopY = 87;
// Yellow: apart from the axis traces (green, red, blue), the cursor (orange) and the incident
// ticks.
inline const QColor kSpeedColour{255, 221, 0};

// The y of a speed in km/h (clipped to the scale).
int speedY(double speedKmh);

// The trace as runs of points, on the axis traces' time scale (497 pixels a minute from x 50).
// A fix that is not valid, or whose speed a vehicle cannot have (not finite, negative, over
// 400 km/h), and a second without a fix break the trace: a gap, never a spike. Fixes after the
// first minute are not drawn.
std::vector<QPolygon> speedTrace(const std::list<core::CVOKAGPSData>& fixes);

// Draws the scale at the plot's right edge (ticks and labels 0 to 200, "km/h" above) and the
// trace.
void paintSpeedTrace(QPainter& painter, const std::vector<QPolygon>& trace);

}  // namespace qelv::ui

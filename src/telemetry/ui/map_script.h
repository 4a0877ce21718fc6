// What the viewer and the map page say to each other: the position call the map draws the
// vehicle with, the route it draws, and the route clicks the page reports back. Pure text
// work, no window: the page is another program's code, so everything it reports is checked
// here before the viewer acts on it.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "events/incident_detector.h"
#include "telemetry/telemetry_export.h"

namespace qelv::ui {

// A call of a page function with string arguments.
struct ScriptCall {
    QString function;
    QStringList arguments;
    bool operator==(const ScriptCall&) const = default;
};

// "javascript:DrawCurrent('<lon>', '<lat>')", each number in decimal degrees with six
// decimals (always a "." whatever the user's locale).
QString drawCurrentText(double longitude, double latitude);

// Takes a "javascript:" call text apart: the function name is the text after "javascript:"
// up to "(" (trimmed), the arguments are the rest split at space, comma, apostrophe,
// quotation mark, tab, "(", ")" and ";" (empty pieces dropped). Nothing for a text without
// "javascript:" or "(", or without a name.
std::optional<ScriptCall> takeApartScriptCall(const QString& text);

// The script that runs `call` on the page: each argument a quoted JavaScript string, and no
// error when the page lacks the function. Empty when the name is not a plain identifier.
QString scriptOf(const ScriptCall& call);

// The route points a map can place: finite, latitude within ±90 and longitude within ±180,
// in recording order.
std::vector<core::RoutePoint> drawableRoute(const std::vector<core::RoutePoint>& route);

// The route as the page takes it: [[lat, lon, timeMs], ...] of the drawable points, every
// number written so that it reads back exactly. "[]" for none.
QString routeJson(const std::vector<core::RoutePoint>& route);

// The incidents as the page marks them: [[lat, lon, kind, timeMs], ...], kind "braking",
// "impact" or "swerve", timeMs the incident's first second. Each stands at the drawable route
// point nearest its start in time (ties: the earlier in time); one with no such point within
// kIncidentPlaceMs (no route, or a route with a gap there) is left out: a mark far from where
// it happened would mislead. Numbers as in routeJson; "[]" for none.
inline constexpr std::uint32_t kIncidentPlaceMs = 5000;
QString incidentsJson(const std::vector<core::RoutePoint>& route,
                      const std::vector<events::Incident>& incidents);

// A point of a whole trip's route: where the vehicle was, when in the trip, how fast.
struct TripRoutePoint {
    double latitude, longitude;  // decimal degrees
    std::int64_t tripMs;
    double speedKmh;
};
// The trip's route as the page's SetTripRoute takes it: [[lat, lon, tripMs, speedKmh], ...]
// of the points a map can place with a finite speed, numbers as in routeJson; "[]" for none.
QString tripRouteJson(const std::vector<TripRoutePoint>& route);
// The prefix of the page's console messages that report a click on the trip's route or one of
// its incidents: the trip time follows, in ms.
inline constexpr char kTripClickPrefix[] = "qelv-trip-click ";

// Where the user clicked on the drawn route, as the page reports it: "[lat, lon]". Nothing
// for anything else (not JSON, not two numbers, not finite, out of range, too long).
struct ClickedPoint {
    double latitude;
    double longitude;
};
std::optional<ClickedPoint> parseRouteClick(const QString& report);

// The time of the drawable route point nearest to `click` (ties: the earlier point), or
// nothing for a route without drawable points.
std::optional<std::uint32_t> nearestRouteTime(const std::vector<core::RoutePoint>& route,
                                              ClickedPoint click);

// The time of the incident mark the user clicked, as the page reports it: the digits of a
// time in ms. Nothing for anything else.
std::optional<std::uint32_t> parseIncidentClick(const QString& report);

// The prefixes of the page's console messages that report a click on the route and on an
// incident's mark.
inline constexpr char kRouteClickPrefix[] = "qelv-route-click ";
inline constexpr char kIncidentClickPrefix[] = "qelv-incident-click ";

}  // namespace qelv::ui

#include "events/incident_detector.h"

#include "events/shake.h"
#include "events/trusted_fixes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numbers>
#include <optional>

namespace qelv::events {

namespace {

// Records are a second apart; two a little further apart (a late record) still follow each
// other, a dropout of several seconds does not.
constexpr std::uint32_t kNextSecondMs = 1500;
constexpr std::uint32_t kNearFixMs = 2000;

using GoodFix = TrustedFix;

// One second that crossed a threshold, before the seconds of one kind are merged.
struct Second {
    IncidentKind kind;
    std::uint32_t timeMs;
    double peak;
    double speedBefore = -1, speedAfter = -1;
};

void addBraking(const std::vector<GoodFix>& fixes, const Thresholds& t, std::vector<Second>& out) {
    for (std::size_t i = 0; i + 1 < fixes.size(); ++i) {
        const GoodFix& a = fixes[i];
        const GoodFix& b = fixes[i + 1];
        const std::uint32_t gap = b.timeMs - a.timeMs;
        // A fall across a dropout, or between positions that cannot follow each other, says
        // nothing about one second.
        if (gap > kNextSecondMs || impliedKmh(a, b) > kGpsJumpKmh ||
            a.speedKmh < t.brakingMinStartKmh) {
            continue;
        }
        const double lostPerSecond = (a.speedKmh - b.speedKmh) * 1000.0 / gap;
        if (lostPerSecond >= t.brakingKmhPerS) {
            out.push_back(
                {IncidentKind::HardBraking, a.timeMs, lostPerSecond, a.speedKmh, b.speedKmh});
        }
    }
}

void addShocks(const std::vector<core::GSensorSample>& samples, const Thresholds& t,
               std::vector<Second>& out) {
    for (const ShakeSample& s : shakeSamples(samples)) {
        const double magnitude = s.magnitude();
        // A blow from the side is an impact, not also a swerve.
        if (magnitude >= t.impactG) {
            out.push_back({IncidentKind::Impact, s.timeMs, magnitude});
        } else if (std::abs(s.dx) >= t.swerveG) {
            out.push_back({IncidentKind::Swerve, s.timeMs, std::abs(s.dx)});
        }
    }
}

double thresholdOf(IncidentKind kind, const Thresholds& t) {
    switch (kind) {
        case IncidentKind::HardBraking:
            return t.brakingKmhPerS;
        case IncidentKind::Impact:
            return t.impactG;
        case IncidentKind::Swerve:
            return t.swerveG;
    }
    return 1;
}

// The speeds of the good fixes nearest at or before the start and after the end, when near.
// The fixes are in time order: two binary searches, so that a store of a million shocks and
// a million fixes is not a walk of every fix for every shock.
void addSpeeds(const std::vector<GoodFix>& fixes, Incident& incident) {
    const auto after = [](std::uint32_t timeMs, const GoodFix& fix) { return timeMs < fix.timeMs; };
    const auto pastStart = std::upper_bound(fixes.begin(), fixes.end(), incident.startMs, after);
    if (pastStart != fixes.begin()) {
        const GoodFix& before = *std::prev(pastStart);
        if (incident.startMs - before.timeMs <= kNearFixMs) {
            incident.speedBeforeKmh = before.speedKmh;
        }
    }
    const auto pastEnd = std::upper_bound(fixes.begin(), fixes.end(), incident.endMs, after);
    if (pastEnd != fixes.end() && pastEnd->timeMs - incident.endMs <= kNearFixMs) {
        incident.speedAfterKmh = pastEnd->speedKmh;
    }
}

}  // namespace

std::string_view kindName(IncidentKind kind) {
    switch (kind) {
        case IncidentKind::HardBraking:
            return "braking";
        case IncidentKind::Impact:
            return "impact";
        case IncidentKind::Swerve:
            return "swerve";
    }
    return "unknown";
}

std::vector<Incident> findIncidents(const std::vector<core::CVOKAGPSData>& fixes,
                                    const std::vector<core::GSensorSample>& samples,
                                    const Thresholds& thresholds) {
    const std::vector<GoodFix> good = trustedFixes(fixes);
    std::vector<Second> seconds;
    addBraking(good, thresholds, seconds);
    addShocks(samples, thresholds, seconds);
    std::stable_sort(seconds.begin(), seconds.end(), [](const Second& a, const Second& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.timeMs < b.timeMs;
    });

    std::vector<Incident> incidents;
    for (const Second& s : seconds) {
        Incident* last = incidents.empty() ? nullptr : &incidents.back();
        if (last && last->kind == s.kind && s.timeMs >= last->endMs &&
            s.timeMs - last->endMs <= kNextSecondMs) {
            last->endMs = s.timeMs;
            last->peak = std::max(last->peak, s.peak);
            if (s.kind == IncidentKind::HardBraking) {
                last->speedAfterKmh = s.speedAfter;
            }
            continue;
        }
        incidents.push_back({s.kind, s.timeMs, s.timeMs, 0, s.peak, s.speedBefore, s.speedAfter});
    }
    for (Incident& incident : incidents) {
        incident.severity = incident.peak / thresholdOf(incident.kind, thresholds);
        if (incident.kind != IncidentKind::HardBraking) {
            addSpeeds(good, incident);
        }
    }
    std::stable_sort(incidents.begin(), incidents.end(),
                     [](const Incident& a, const Incident& b) { return a.startMs < b.startMs; });
    return incidents;
}

}  // namespace qelv::events

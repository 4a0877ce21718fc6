#include "events/incident_detector.h"

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

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void addShocks(const std::vector<core::GSensorSample>& samples, const Thresholds& t,
               std::vector<Second>& out) {
    if (samples.empty()) {
        return;
    }
    // The scale of the whole list is the first sample's, as the panel and graph read it.
    const bool tenBit = samples.front().format == static_cast<int>(core::SampleFormat::Packed10);
    const int low = tenBit ? -511 : 0, high = tenBit ? 512 : 128;
    std::vector<std::array<double, 3>> g;
    std::vector<std::uint32_t> times;
    for (const core::GSensorSample& s : samples) {
        if (s.timeMs < 0 || std::min({s.x, s.y, s.z}) < low || std::max({s.x, s.y, s.z}) > high) {
            continue;
        }
        g.push_back({core::gravityOf(s.x, tenBit), core::gravityOf(s.y, tenBit),
                     core::gravityOf(s.z, tenBit)});
        times.push_back(static_cast<std::uint32_t>(s.timeMs));
    }
    if (g.empty()) {
        return;
    }
    std::array<double, 3> rest{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        std::vector<double> values;
        values.reserve(g.size());
        for (const auto& sample : g) {
            values.push_back(sample[axis]);
        }
        rest[axis] = median(std::move(values));
    }
    for (std::size_t i = 0; i < g.size(); ++i) {
        const double dx = g[i][0] - rest[0], dy = g[i][1] - rest[1], dz = g[i][2] - rest[2];
        const double magnitude = std::sqrt(dx * dx + dy * dy + dz * dz);
        // A blow from the side is an impact, not also a swerve.
        if (magnitude >= t.impactG) {
            out.push_back({IncidentKind::Impact, times[i], magnitude});
        } else if (std::abs(dx) >= t.swerveG) {
            out.push_back({IncidentKind::Swerve, times[i], std::abs(dx)});
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

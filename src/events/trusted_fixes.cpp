#include "events/trusted_fixes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace qelv::events {

namespace {
constexpr std::size_t kGlitchFixes = 3;  // the longest run of fixes off the road that is a glitch
}  // namespace

double kilometresBetween(const TrustedFix& a, const TrustedFix& b) {
    constexpr double kEarthKm = 6371.0;
    const double rad = std::numbers::pi / 180.0;
    const double dLat = (b.latitude - a.latitude) * rad;
    const double dLon = (b.longitude - a.longitude) * rad;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(a.latitude * rad) * std::cos(b.latitude * rad) * std::sin(dLon / 2) *
                         std::sin(dLon / 2);
    return 2 * kEarthKm * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

double impliedKmh(const TrustedFix& a, const TrustedFix& b) {
    if (b.timeMs <= a.timeMs) {
        return std::numeric_limits<double>::infinity();
    }
    const double hours = (b.timeMs - a.timeMs) / 3'600'000.0;
    return kilometresBetween(a, b) / hours;
}

std::vector<TrustedFix> trustedFixes(const std::vector<core::CVOKAGPSData>& fixes) {
    std::vector<TrustedFix> kept;
    for (const core::CVOKAGPSData& fix : fixes) {
        if (fix.valid != 1 || !std::isfinite(fix.speed) || fix.speed < 0 ||
            fix.speed > kFastestKmh || !std::isfinite(fix.latitude) ||
            !std::isfinite(fix.longitude)) {
            continue;
        }
        const TrustedFix good{fix.timeMs, core::decimalDegrees(fix.latitude),
                              core::decimalDegrees(fix.longitude), fix.speed};
        if (std::abs(good.latitude) > 90 || std::abs(good.longitude) > 180 ||
            (!kept.empty() && good.timeMs <= kept.back().timeMs)) {
            continue;
        }
        kept.push_back(good);
    }
    // Runs of fixes that can follow each other, split where the position jumped. A short run
    // with a jump on a side is the receiver placing the car off the road for a moment (one fix
    // or a few), whatever speeds it gave meanwhile; the track is the rest.
    std::vector<TrustedFix> trusted;
    std::size_t runStart = 0;
    for (std::size_t i = 1; i <= kept.size(); ++i) {
        if (i < kept.size() && impliedKmh(kept[i - 1], kept[i]) <= kGpsJumpKmh) {
            continue;
        }
        const bool wholeTrack = runStart == 0 && i == kept.size();
        if (wholeTrack || i - runStart > kGlitchFixes) {
            trusted.insert(trusted.end(), kept.begin() + static_cast<std::ptrdiff_t>(runStart),
                           kept.begin() + static_cast<std::ptrdiff_t>(i));
        }
        runStart = i;
    }
    return trusted;
}

}  // namespace qelv::events

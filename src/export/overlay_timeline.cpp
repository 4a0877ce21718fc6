#include "export/overlay_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "telemetry/telemetry_state.h"
#include "telemetry/text_track_reader.h"

namespace qelv::media {

namespace {

// The speed of each whole second of a recording, as the sensor panel shows it: the panel
// keeps the last fix it published, so a second without a newer valid fix repeats it.
std::vector<std::string> speedsOf(const ExportRecording& recording) {
    core::TelemetryState state;
    const auto keepReading = [] { return std::int32_t{0}; };
    if (!core::readPlayingRecording({recording.paths[0], nullptr}, state, keepReading,
                                    state.epoch())) {
        return {};
    }
    const auto seconds = static_cast<std::size_t>(recording.durationNs / kNsPerSecond + 1);
    std::vector<std::string> speeds(seconds);
    for (std::size_t s = 0; s < seconds; ++s) {
        state.SelectCurrentFix(static_cast<std::uint32_t>(s * 1000));
        const auto [fix, flag] = state.currentFix();
        if (flag == 0) {
            continue;
        }
        const double whole = std::isnan(fix.speed) ? 0.0 : std::trunc(fix.speed);
        char text[32];
        std::snprintf(text, sizeof text, "%d km/h",
                      static_cast<int>(std::clamp(whole, -999999.0, 999999.0)));
        speeds[s] = text;
    }
    return speeds;
}

}  // namespace

OverlayTimeline::OverlayTimeline(const std::vector<ExportRecording>& recordings,
                                 const SpanPlan& plan) {
    for (const SpanSegment& segment : plan.segments) {
        const ExportRecording& r = recordings[segment.recording];
        m_parts.push_back({segment, r.name, speedsOf(r)});
    }
}

std::string OverlayTimeline::lineAt(std::int64_t clipNs) const {
    if (m_parts.empty()) {
        return {};
    }
    auto part = std::find_if(m_parts.rbegin(), m_parts.rend(),
                             [&](const Part& p) { return p.segment.clipNs <= clipNs; });
    const Part& p = part != m_parts.rend() ? *part : m_parts.front();
    const std::int64_t positionNs =
        p.segment.inNs + std::max<std::int64_t>(0, clipNs - p.segment.clipNs);
    std::string line = momentText(p.name, positionNs);
    const auto second = static_cast<std::size_t>(positionNs / kNsPerSecond);
    if (second < p.speedPerSecond.size() && !p.speedPerSecond[second].empty()) {
        line += "  " + p.speedPerSecond[second];
    }
    return line;
}

}  // namespace qelv::media

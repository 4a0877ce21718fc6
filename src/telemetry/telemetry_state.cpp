#include "telemetry/telemetry_state.h"

namespace qelv::core {

namespace {
constexpr std::uint32_t kOneMinuteMs = 60000;
}

int TelemetryState::ParseTextRecord(RecordBuffer record, std::uint32_t timeMs) {
    return ParseTextRecord(record, timeMs, epoch());
}

int TelemetryState::ParseTextRecord(RecordBuffer record, std::uint32_t timeMs,
                                    std::uint64_t epoch) {
    ParsedRecord parsed = parseRecord(record, timeMs);
    if (!parsed.accepted) {
        return -1;
    }
    const bool keep = !parsed.gps || timeMs < kOneMinuteMs;
    const std::lock_guard guard(m_lock);
    if (epoch != m_epoch) {
        return kStale;
    }
    if (parsed.fix && keep) {
        m_store.fixes.push_back(*parsed.fix);
    }
    if (parsed.sample && keep) {
        m_store.samples.push_back(*parsed.sample);
        ++m_samplesRevision;
    }
    return 0;
}

void TelemetryState::clear() {
    const std::lock_guard guard(m_lock);
    m_store.fixes.clear();
    m_store.samples.clear();
    ++m_epoch;
    ++m_samplesRevision;
    if (!m_route.empty()) {
        m_route.clear();
        ++m_routeRevision;
    }
}

std::uint64_t TelemetryState::samplesRevision() const {
    const std::lock_guard guard(m_lock);
    return m_samplesRevision;
}

std::uint64_t TelemetryState::epoch() const {
    const std::lock_guard guard(m_lock);
    return m_epoch;
}

void TelemetryState::setRoute(std::vector<RoutePoint> route, std::uint64_t epoch) {
    const std::lock_guard guard(m_lock);
    if (epoch != m_epoch) {
        return;
    }
    m_route = std::move(route);
    ++m_routeRevision;
}

std::vector<RoutePoint> TelemetryState::route() const {
    const std::lock_guard guard(m_lock);
    return m_route;
}

std::uint64_t TelemetryState::routeRevision() const {
    const std::lock_guard guard(m_lock);
    return m_routeRevision;
}

void TelemetryState::walkFixes(
    const std::function<void(const std::list<CVOKAGPSData>&)>& walk) const {
    const std::lock_guard guard(m_lock);
    walk(m_store.fixes);
}

void TelemetryState::walkSamples(
    const std::function<void(const std::list<GSensorSample>&)>& walk) const {
    const std::lock_guard guard(m_lock);
    walk(m_store.samples);
}

std::optional<MapPosition> TelemetryState::SelectCurrentFix(std::uint32_t positionMs) {
    const std::lock_guard guard(m_lock);
    if (m_store.fixes.empty() || m_store.fixes.front().year < 0) {
        if (m_currentFlag != 0) {
            m_currentFlag = 0;
            m_current = CVOKAGPSData{};
        }
        return std::nullopt;
    }
    for (const CVOKAGPSData& fix : m_store.fixes) {
        if (fix.timeMs > positionMs) {
            if (fix.valid == 0) {
                return std::nullopt;
            }
            m_currentFlag = 1;
            m_current = fix;
            return MapPosition{decimalDegrees(fix.longitude), decimalDegrees(fix.latitude)};
        }
    }
    return std::nullopt;  // no fix after the position: the current one stays
}

std::pair<CVOKAGPSData, std::int32_t> TelemetryState::currentFix() const {
    const std::lock_guard guard(m_lock);
    return {m_current, m_currentFlag};
}

void TelemetryState::clearCurrentFix() {
    const std::lock_guard guard(m_lock);
    m_currentFlag = 0;
    m_current = CVOKAGPSData{};
}

}  // namespace qelv::core

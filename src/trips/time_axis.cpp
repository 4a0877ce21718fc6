#include "trips/time_axis.h"

#include <algorithm>
#include <cmath>

namespace qelv::trips {

TimeAxis::TimeAxis(int left, int width, std::int64_t lengthMs)
    : m_left(left),
      m_width(std::max(1, width)),
      m_lengthMs(std::max<std::int64_t>(1, lengthMs)),
      m_spanMs(static_cast<double>(m_lengthMs)) {}

double TimeAxis::xOf(std::int64_t tripMs) const {
    return m_left + (static_cast<double>(tripMs) - m_firstMs) * m_width / m_spanMs;
}

std::int64_t TimeAxis::timeAt(double x) const {
    const double ms = m_firstMs + (x - m_left) * m_spanMs / m_width;
    return std::clamp<std::int64_t>(std::llround(ms), 0, m_lengthMs);
}

void TimeAxis::zoomAt(double x, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) {
        return;
    }
    const double at = m_firstMs + (x - m_left) * m_spanMs / m_width;
    const double length = static_cast<double>(m_lengthMs);
    const double shortest = std::min(length, static_cast<double>(kShortestSpanMs));
    m_spanMs = std::clamp(m_spanMs / factor, shortest, length);
    m_firstMs = std::clamp(at - (x - m_left) * m_spanMs / m_width, 0.0, length - m_spanMs);
}

std::int64_t TimeAxis::firstMs() const {
    return std::llround(m_firstMs);
}

std::int64_t TimeAxis::spanMs() const {
    return std::llround(m_spanMs);
}

std::vector<std::int64_t> clockTicks(const TimeAxis& axis, std::int64_t tripStartMs,
                                     int minimumGap) {
    constexpr std::int64_t kMinuteMs = 60000;
    constexpr std::int64_t kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720};
    const double pixelsPerMinute =
        static_cast<double>(axis.width()) * kMinuteMs / static_cast<double>(axis.spanMs());
    std::int64_t step = kSteps[std::size(kSteps) - 1] * kMinuteMs;
    for (const std::int64_t minutes : kSteps) {
        if (minutes * pixelsPerMinute >= minimumGap) {
            step = minutes * kMinuteMs;
            break;
        }
    }
    const std::int64_t first = tripStartMs + axis.firstMs();
    const std::int64_t last = first + axis.spanMs();
    // The first multiple of the step at or after the span's start (the clock may be negative).
    std::int64_t tick = first / step * step;
    if (tick < first) {
        tick += step;
    }
    std::vector<std::int64_t> ticks;
    for (; tick <= last; tick += step) {
        ticks.push_back(tick - tripStartMs);
    }
    return ticks;
}

}  // namespace qelv::trips

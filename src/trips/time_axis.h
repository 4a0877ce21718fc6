// The trip timeline's time axis: which part of a trip shows across how many pixels, with the
// wheel's zoom around the pointer. A trip of hours shows whole at first; zooming in narrows
// the span shown down to ten seconds, always around the moment under the pointer, and never
// beyond the trip's start or end. Pure arithmetic: no drawing.
#pragma once

#include <cstdint>
#include <vector>

namespace qelv::trips {

class TimeAxis {
public:
    // The shortest span shown (a trip shorter than that shows whole).
    static constexpr std::int64_t kShortestSpanMs = 10000;

    TimeAxis() = default;
    // The whole trip, `lengthMs` long (at least 1 ms is taken), across `width` pixels from x
    // `left`.
    TimeAxis(int left, int width, std::int64_t lengthMs);

    // The x of a moment of the trip (ms from its start); left of `left` or right of the
    // last pixel for a moment outside the span shown.
    double xOf(std::int64_t tripMs) const;
    // The moment under x, in the trip (clamped to its start and end).
    std::int64_t timeAt(double x) const;
    // Zooms in (factor > 1) or out (factor < 1) keeping the moment under x where it is, as
    // far as the shortest span and the trip's ends allow.
    void zoomAt(double x, double factor);

    int left() const { return m_left; }
    int width() const { return m_width; }
    std::int64_t lengthMs() const { return m_lengthMs; }
    // The span shown: from firstMs() for spanMs().
    std::int64_t firstMs() const;
    std::int64_t spanMs() const;

private:
    int m_left = 0;
    int m_width = 1;
    std::int64_t m_lengthMs = 1;
    double m_firstMs = 0;
    double m_spanMs = 1;
};

// Where the clock labels of the span shown go: the whole minutes (on the recorder's clock, the
// trip starting at `tripStartMs` on it) at a step of 1, 2, 5, 10, 15, 30 minutes or 1, 2, 3,
// 6, 12 hours, the smallest that puts `minimumGap` pixels between labels; as trip moments.
std::vector<std::int64_t> clockTicks(const TimeAxis& axis, std::int64_t tripStartMs,
                                     int minimumGap);

}  // namespace qelv::trips

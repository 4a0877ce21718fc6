#include "telemetry/ui/speed_trace.h"

#include <QFont>
#include <algorithm>
#include <cmath>

namespace qelv::ui {

namespace {
constexpr double kFastestKmh = 400.0;  // no recorder's vehicle goes faster
constexpr std::int64_t kMinuteMs = 60000;
// Records are a second apart; a late one still follows, a missing second does not.
constexpr std::uint32_t kNextSecondMs = 1500;
constexpr int kTraceLeft = 50;
constexpr int kTraceWidth = 497;
constexpr int kPlotRight = 547;

bool drawable(const core::CVOKAGPSData& fix) {
    return fix.valid == 1 && std::isfinite(fix.speed) && fix.speed >= 0 &&
           fix.speed <= kFastestKmh && fix.timeMs <= kMinuteMs;
}
}  // namespace

int speedY(double speedKmh) {
    const double kmh = std::clamp(speedKmh, 0.0, kSpeedScaleTopKmh);
    return static_cast<int>(
        std::lround(kSpeedZeroY - kmh * (kSpeedZeroY - kSpeedTopY) / kSpeedScaleTopKmh));
}

std::vector<QPolygon> speedTrace(const std::list<core::CVOKAGPSData>& fixes) {
    std::vector<QPolygon> runs;
    bool joined = false;
    std::uint32_t lastMs = 0;
    for (const core::CVOKAGPSData& fix : fixes) {
        if (!drawable(fix)) {
            joined = false;
            continue;
        }
        if (!joined || fix.timeMs < lastMs || fix.timeMs - lastMs > kNextSecondMs) {
            runs.emplace_back();
        }
        joined = true;
        lastMs = fix.timeMs;
        const int x = kTraceLeft + static_cast<int>(fix.timeMs * kTraceWidth / kMinuteMs);
        runs.back() << QPoint(x, speedY(fix.speed));
    }
    return runs;
}

void paintSpeedTrace(QPainter& painter, const std::vector<QPolygon>& trace) {
    painter.save();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(QPen(kSpeedColour, 1));
    for (int kmh = 0; kmh <= static_cast<int>(kSpeedScaleTopKmh); kmh += 50) {
        const int y = speedY(kmh);
        painter.drawLine(kPlotRight - 4, y, kPlotRight, y);
        painter.drawText(QRect(kPlotRight - 30, y - 10, 25, 10), Qt::AlignRight | Qt::AlignBottom,
                         QString::number(kmh));
    }
    painter.drawText(QRect(kPlotRight - 40, kSpeedTopY - 24, 40, 12),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("km/h"));
    painter.setPen(QPen(kSpeedColour, 2));
    for (const QPolygon& run : trace) {
        if (run.size() == 1) {
            painter.drawPoint(run.front());  // one good second between gaps
        } else {
            painter.drawPolyline(run);
        }
    }
    painter.restore();
}

}  // namespace qelv::ui

// The trip timeline's drawing: the traces as runs of points for the axis as it is, and the
// pane painted off screen in one go (its frame, the plot, the marks and the clock).
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "events/ui/store_incidents.h"
#include "storage/recording_name.h"
#include "trips/ui/trip_timeline_dlg.h"  // the class whose drawing this is

namespace qelv::ui {

namespace {

// Records are a second apart; a late one still follows, a missing second breaks the trace.
constexpr std::int64_t kNextSecondMs = 1500;
// Labels of the clock at least this far apart.
constexpr int kClockGap = 64;
const QColor kGround(16, 16, 16);
const QColor kPanel(28, 31, 40);
const QColor kEdge(32, 33, 38);
const QColor kPlotGround(20, 22, 28);
const QColor kGrid(40, 44, 56);
const QColor kText(158, 176, 187);
// The speed as the G-sensor graph draws it (yellow), the shake in a light green apart from
// the incident kinds' colours; the cursor in the graph's orange.
const QColor kSpeedColour(255, 221, 0);
const QColor kShakeColour(120, 255, 120);
const QColor kCursorColour(255, 138, 72);
const QColor kHatchColour(120, 120, 132);
const QColor kEventColour(255, 40, 40);
const QColor kUserColour(120, 170, 255);
const QColor kSelectionColour(255, 255, 255, 48);

int speedY(double kmh) {
    const double clipped = std::clamp(kmh, 0.0, CTripTimelineDlg::kSpeedTopKmh);
    return static_cast<int>(
        std::lround(CTripTimelineDlg::kSpeedZeroY -
                    clipped * (CTripTimelineDlg::kSpeedZeroY - CTripTimelineDlg::kSpeedTopY) /
                        CTripTimelineDlg::kSpeedTopKmh));
}

int shakeY(double g) {
    const double clipped = std::clamp(g, 0.0, CTripTimelineDlg::kShakeTopG);
    return static_cast<int>(
        std::lround(CTripTimelineDlg::kShakeZeroY -
                    clipped * (CTripTimelineDlg::kShakeZeroY - CTripTimelineDlg::kShakeTopY) /
                        CTripTimelineDlg::kShakeTopG));
}

// Adds the point to the runs, starting a new run after a gap of more than a second.
void addToRuns(std::vector<QPolygon>& runs, std::int64_t& lastMs, std::int64_t tripMs,
               QPoint point) {
    if (runs.empty() || tripMs < lastMs || tripMs - lastMs > kNextSecondMs) {
        runs.emplace_back();
    }
    lastMs = tripMs;
    runs.back() << point;
}

}  // namespace

void CTripTimelineDlg::makeTraces() {
    m_speedRuns.clear();
    m_shakeRuns.clear();
    std::int64_t lastSpeed = 0, lastShake = 0;
    const auto x = [this](std::int64_t tripMs) {
        return static_cast<int>(std::lround(std::clamp(m_axis.xOf(tripMs), -1e7, 1e7)));
    };
    for (const Span& span : m_spans) {
        const trips::RecordingTrace& trace = m_store->recordings[span.input].trace;
        for (const trips::SpeedPoint& p : trace.speed) {
            const std::int64_t at = span.startMs + p.timeMs;
            addToRuns(m_speedRuns, lastSpeed, at, QPoint(x(at), speedY(p.speedKmh)));
        }
        for (const trips::ShakePoint& p : trace.shake) {
            const std::int64_t at = span.startMs + p.timeMs;
            addToRuns(m_shakeRuns, lastShake, at, QPoint(x(at), shakeY(p.g)));
        }
    }
}

QString CTripTimelineDlg::statusText() const {
    if (m_reader.running()) {
        return QStringLiteral("Reading the recordings: %1 / %2")
            .arg(m_reader.done())
            .arg(m_reader.total());
    }
    if (!m_store || m_store->inputs.empty()) {
        return QStringLiteral("Choose a card or a folder in the File List");
    }
    if (m_store->trips.empty()) {
        return QStringLiteral("No trips: no normal recordings in this source");
    }
    return {};
}

void CTripTimelineDlg::paintEvent(QPaintEvent*) {
    // Drawn off screen first, then copied in one go.
    QPixmap picture(size());
    {
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), kGround);
        painter.setPen(QPen(kEdge, 3));
        painter.drawRect(QRectF(picture.rect()).adjusted(1.5, 1.5, -1.5, -1.5));
        painter.fillRect(QRect(3, 3, width() - 6, kCaptionHeight - 3), kPanel);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(13);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(12, 3, 115, kCaptionHeight - 3), Qt::AlignVCenter,
                         QStringLiteral("Trip Timeline"));
        if (!m_spans.empty()) {
            painter.setPen(kText);
            painter.drawRoundedRect(QRectF(kPlayTripArea).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            painter.setPen(Qt::white);
            painter.drawText(kPlayTripArea, Qt::AlignCenter, QStringLiteral("\u25B6 Play trip"));
        }
        painter.fillRect(kPlotArea, kPlotGround);
        const QString status = statusText();
        if (!status.isEmpty()) {
            painter.setPen(kText);
            painter.drawText(kPlotArea, Qt::AlignCenter, status);
        } else {
            paintPlot(painter);
        }
    }
    QPainter(this).drawPixmap(0, 0, picture);
}

void CTripTimelineDlg::paintPlot(QPainter& painter) {
    paintClock(painter);
    painter.save();
    painter.setClipRect(kPlotArea);
    for (const Span& span : m_spans) {
        if (span.unreadable || m_skipped.count(m_store->recordings[span.input].path) != 0) {
            const int left = static_cast<int>(std::lround(m_axis.xOf(span.startMs)));
            const int right = static_cast<int>(std::lround(
                m_axis.xOf(span.startMs + std::max<std::int64_t>(span.lengthMs, 1000))));
            painter.fillRect(QRect(QPoint(left, kPlotArea.top()), QPoint(right, kTickTop - 1)),
                             QBrush(kHatchColour, Qt::BDiagPattern));
        }
    }
    painter.setPen(QPen(kSpeedColour, 2));
    for (const QPolygon& run : m_speedRuns) {
        run.size() == 1 ? painter.drawPoint(run.front()) : painter.drawPolyline(run);
    }
    painter.setPen(QPen(kShakeColour, 1));
    for (const QPolygon& run : m_shakeRuns) {
        run.size() == 1 ? painter.drawPoint(run.front()) : painter.drawPolyline(run);
    }
    paintMarks(painter);
    if (const std::optional<int> x = cursorX()) {
        painter.setPen(QPen(kCursorColour, 1));
        painter.drawLine(*x, kPlotArea.top(), *x, kPlotArea.bottom());
    }
    painter.restore();
}

void CTripTimelineDlg::paintMarks(QPainter& painter) {
    for (const Span& span : m_spans) {
        for (const events::Incident& incident :
             m_store->recordings[span.input].trace.facts.incidents) {
            const int x =
                static_cast<int>(std::lround(m_axis.xOf(span.startMs + incident.startMs)));
            painter.fillRect(QRect(x - 1, kTickTop, 3, kTickHeight), incidentColour(incident.kind));
        }
    }
    const trips::Trip& trip = m_store->trips[static_cast<std::size_t>(m_trip)];
    for (const std::size_t k : trip.markers) {
        const auto category = core::parseRecordingName(m_store->inputs[k].fileName).listCategory;
        const QColor colour =
            category == core::RecordingCategory::User ? kUserColour : kEventColour;
        const int x = static_cast<int>(std::lround(m_axis.xOf(
            trips::startMsOf(m_store->inputs[k]).value_or(trip.startMs) - trip.startMs)));
        painter.setPen(QPen(colour, 1, Qt::DotLine));
        painter.drawLine(x, kPlotArea.top(), x, kSpeedZeroY);
        const QPoint flag[] = {
            {x - 4, kPlotArea.top()}, {x + 4, kPlotArea.top()}, {x, kPlotArea.top() + 6}};
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(flag, 3);
        painter.setBrush(Qt::NoBrush);
    }
    if (m_selection) {
        // The span a Shift-drag is choosing for a clip.
        const auto [a, b] = *m_selection;
        const int left = static_cast<int>(std::lround(m_axis.xOf(std::min(a, b))));
        const int right = static_cast<int>(std::lround(m_axis.xOf(std::max(a, b))));
        painter.fillRect(QRect(QPoint(left, kPlotArea.top()), QPoint(right, kPlotArea.bottom())),
                         kSelectionColour);
    }
}

void CTripTimelineDlg::paintClock(QPainter& painter) {
    const trips::Trip& trip = m_store->trips[static_cast<std::size_t>(m_trip)];
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(10);
    painter.setFont(font);
    for (const std::int64_t tick : trips::clockTicks(m_axis, trip.startMs, kClockGap)) {
        const int x = static_cast<int>(std::lround(m_axis.xOf(tick)));
        painter.setPen(QPen(kGrid, 1, Qt::DotLine));
        painter.drawLine(x, kPlotArea.top(), x, kPlotArea.bottom());
        painter.setPen(kText);
        painter.drawText(QRect(x - 30, kPlotArea.bottom() + 3, 60, 14), Qt::AlignCenter,
                         clockText(trip.startMs + tick).mid(11, 5));
    }
    painter.setPen(QPen(kGrid, 1));
    painter.drawLine(kPlotArea.left(), kSpeedZeroY, kPlotArea.right(), kSpeedZeroY);
    painter.drawLine(kPlotArea.left(), kShakeZeroY, kPlotArea.right(), kShakeZeroY);
    // The scales left of the plot: km/h over the speed, g over the shake.
    const struct {
        int y;
        QString text;
        QColor colour;
    } labels[] = {{kSpeedTopY, QStringLiteral("200"), kSpeedColour},
                  {(kSpeedTopY + kSpeedZeroY) / 2, QStringLiteral("100"), kSpeedColour},
                  {kSpeedZeroY - 12, QStringLiteral("km/h"), kSpeedColour},
                  {kShakeTopY, QStringLiteral("2 g"), kShakeColour},
                  {kShakeZeroY, QStringLiteral("0 g"), kShakeColour}};
    for (const auto& label : labels) {
        painter.setPen(label.colour);
        painter.drawText(QRect(4, label.y - 7, kPlotArea.left() - 8, 14),
                         Qt::AlignRight | Qt::AlignVCenter, label.text);
    }
}

}  // namespace qelv::ui

#include "telemetry/ui/gsensor_graphic_dlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <cmath>

#include "events/ui/incident_settings.h"
#include "playback/playback_types.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/skin_bitmaps.h"
#include "telemetry/ui/speed_trace.h"

namespace qelv::ui {

namespace {

// Under the control bar (which ends 503 pixels down), so that the bar's sensor button that
// toggles the graph stays free.
constexpr QPoint kOffset{396, 505};
constexpr QSize kSize{550, 290};
constexpr int kCaptionHeight = 40;
constexpr int kWatchMs = 500;
constexpr std::int64_t kMinuteMs = 60000;
// The traces: 497 pixels a minute from x 50; full scale (128 raw units at 8 bits, 512 at
// 10 bits) is 78 pixels from the zero line.
constexpr int kTraceLeft = 50;
constexpr int kTraceWidth = 497;
// The cursor's own scale: 483 pixels a minute from x 51.
constexpr int kCursorLeft = 51;
constexpr int kCursorWidth = 483;
const QColor kCursorColour(255, 138, 72);
// The incident ticks: on the time axis under the traces' area, at the incident's first second.
constexpr int kTickTop = 236;
constexpr int kTickHeight = 11;
// The speed button's faces: off, and lit (under the mouse, and while the trace shows).
constexpr int kSpeedFace = 270;
constexpr int kSpeedFaceLit = 271;

}  // namespace

CGsensorGraphicDlg::CGsensorGraphicDlg(QWidget* mainWindow, ViewerContext& context)
    : PaneWindow(mainWindow, kKeyGraph, kOffset, kSize),
      m_context(context),
      m_background(skinBitmap(242)) {
    setWindowTitle(QStringLiteral("G-Sensor Graph"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_close = CSkinButton::createImageButton(20, 10, this, QStringLiteral("Close"), kCmdClose, 520,
                                             20, 219, 219, 218);
    m_speedButton =
        CSkinButton::createImageButton(20, 10, this, QStringLiteral("Speed (km/h)"), kCmdSpeed, 496,
                                       20, kSpeedFace, kSpeedFaceLit, kSpeedFaceLit);
    m_speedShown = QSettings().value(QLatin1StringView(kSpeedTraceKey), false).toBool();
    showSpeedButtonState();
    hide();
}

qintptr CGsensorGraphicDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    if (message == kMsgPaneCommand) {
        if (wParam == kToggleGraph) {
            toggle();
        } else if (wParam == kPaneStop) {
            m_cursorMs = 0;
            repaint();
        }
        return 0;
    }
    if (message == kMsgButtonClicked && wParam == kCmdClose) {
        hidePane();
        return 0;
    }
    if (message == kMsgButtonClicked && wParam == kCmdSpeed) {
        toggleSpeedTrace();
        return 0;
    }
    return PaneWindow::onMessage(message, wParam, lParam);
}

void CGsensorGraphicDlg::toggle() {
    if (m_visible) {
        hidePane();
        return;
    }
    m_visible = true;
    show();
    raise();
    activateWindow();
}

void CGsensorGraphicDlg::hidePane() {
    m_visible = false;
    m_seeking = false;
    hide();
}

void CGsensorGraphicDlg::toggleSpeedTrace() {
    m_speedShown = !m_speedShown;
    QSettings().setValue(QLatin1StringView(kSpeedTraceKey), m_speedShown);
    showSpeedButtonState();
    update();
}

void CGsensorGraphicDlg::showSpeedButtonState() {
    if (m_speedShown) {
        m_speedButton->setImageNumbers(kSpeedFace, kSpeedFaceLit, kSpeedFaceLit);
    } else {
        m_speedButton->setImageNumbers(kSpeedFaceLit, kSpeedFace, kSpeedFaceLit);
    }
}

void CGsensorGraphicDlg::followMainWindow(QPoint mainTopLeft) {
    if (!m_placed) {
        m_placed = true;
        move(mainTopLeft + kOffset);
    }
}

void CGsensorGraphicDlg::setCursorPosition(qint64 positionMs) {
    m_cursorMs = static_cast<std::uint32_t>(std::clamp<qint64>(positionMs, 0, UINT32_MAX));
    if (isVisible()) {
        update();
    }
}

int CGsensorGraphicDlg::cursorX(std::uint32_t positionMs) {
    return static_cast<int>(
        std::trunc(static_cast<double>(positionMs) * kCursorWidth / kMinuteMs + kCursorLeft));
}

std::int64_t CGsensorGraphicDlg::clickTime(int x) {
    return static_cast<std::int64_t>(x - kCursorLeft) * kMinuteMs / kCursorWidth;
}

void CGsensorGraphicDlg::seekAt(int x) {
    media::PlaybackEngine& engine = m_context.engine();
    const std::int32_t state = engine.state();
    if (state != media::kRunningState && state != media::kPausedState) {
        return;
    }
    m_seeking = true;
    const std::int64_t duration = static_cast<std::int64_t>(engine.durationMs());
    const std::int64_t target = clickTime(x);
    if (target <= duration) {
        WindowRegistry::instance().post(kKeyControlBar, kMsgSeek, static_cast<qintptr>(target),
                                        kSeekToTarget);
    }
}

void CGsensorGraphicDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        return;  // swallowed
    }
    if (event->button() == Qt::LeftButton && kClickArea.contains(point)) {
        seekAt(point.x());
        return;
    }
    m_seeking = false;
    PaneWindow::mousePressEvent(event);
}

void CGsensorGraphicDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (!kClickArea.contains(point)) {
        m_seeking = false;
    } else if (m_seeking) {
        seekAt(point.x());
        return;
    }
    PaneWindow::mouseMoveEvent(event);
}

void CGsensorGraphicDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        return;
    }
    m_seeking = false;
    PaneWindow::mouseReleaseEvent(event);
}

void CGsensorGraphicDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click is two clicks here: the second seeks again.
    mousePressEvent(event);
}

void CGsensorGraphicDlg::keyPressEvent(QKeyEvent* event) {
    const bool altF4 = event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier);
    if (event->key() == Qt::Key_Escape || altF4) {
        hidePane();
    }
    event->accept();  // every other key is swallowed
}

bool CGsensorGraphicDlg::event(QEvent* event) {
    // The viewer's keys do not reach through the graph: it takes every key itself.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return PaneWindow::event(event);
}

void CGsensorGraphicDlg::closeEvent(QCloseEvent* event) {
    // Closing (Alt+F4 through the window manager) only hides it.
    event->ignore();
    hidePane();
}

bool CGsensorGraphicDlg::draggableAt(QPoint point) const {
    return point.y() < kCaptionHeight;
}

void CGsensorGraphicDlg::paintEvent(QPaintEvent*) {
    // Drawn off screen first, then copied in one go.
    QPixmap picture(size());
    {
        QPainter painter(&picture);
        if (m_background.isNull()) {
            painter.fillRect(picture.rect(), QColor(28, 31, 40));
        } else {
            painter.drawPixmap(picture.rect(), m_background);
        }
        // Under the axis traces, which stay as they are whatever else shows.
        refreshMarks();
        if (m_speedShown) {
            paintSpeedTrace(painter, m_speedTrace);
        }
        paintIncidentTicks(painter);
        paintTraces(painter);
        if (m_cursorMs != 0) {
            const int x = cursorX(m_cursorMs);
            painter.setPen(QPen(kCursorColour, 1));
            painter.drawLine(x, kClickArea.top(), x, kClickArea.bottom());
        }
    }
    QPainter(this).drawPixmap(0, 0, picture);
}

void CGsensorGraphicDlg::refreshTraces() {
    core::TelemetryState& telemetry = m_context.telemetry();
    const std::uint64_t revision = telemetry.samplesRevision();
    if (revision == m_tracesRevision) {
        return;
    }
    m_tracesRevision = revision;
    for (QPolygon& trace : m_traces) {
        trace.clear();
    }
    telemetry.walkSamples([&](const std::list<core::GSensorSample>& samples) {
        if (samples.empty()) {
            return;
        }
        const bool tenBit =
            samples.front().format == static_cast<std::int32_t>(core::SampleFormat::Packed10);
        const double k = (kTraceArea.bottom() - kTraceArea.top()) * 0.5 / (tenBit ? 512.0 : 128.0);
        for (QPolygon& trace : m_traces) {
            trace << QPoint(kTraceLeft, kZeroLine);
        }
        for (const core::GSensorSample& s : samples) {
            if (s.timeMs < 0 || s.timeMs > kMinuteMs) {
                continue;  // after the first minute (or past what the time can hold)
            }
            const int x = kTraceLeft + static_cast<int>(static_cast<std::int64_t>(s.timeMs) *
                                                        kTraceWidth / kMinuteMs);
            const std::int32_t values[3] = {s.x, s.y, s.z};
            for (std::size_t axis = 0; axis < 3; ++axis) {
                m_traces[axis] << QPoint(x, static_cast<int>(kZeroLine - values[axis] * k));
            }
        }
    });
}

void CGsensorGraphicDlg::refreshMarks() {
    const core::TelemetryState& telemetry = m_context.telemetry();
    const StoreVersion version = storeVersion(telemetry);
    if (version == m_marksVersion) {
        return;
    }
    m_marksVersion = version;
    telemetry.walkFixes(
        [this](const std::list<core::CVOKAGPSData>& fixes) { m_speedTrace = speedTrace(fixes); });
    m_incidents = storeIncidents(telemetry, incidentThresholds(QSettings()));
}

void CGsensorGraphicDlg::paintIncidentTicks(QPainter& painter) {
    for (const events::Incident& incident : m_incidents) {
        if (incident.startMs > kMinuteMs) {
            continue;  // the graph shows the first minute
        }
        const int x = kTraceLeft + static_cast<int>(static_cast<std::int64_t>(incident.startMs) *
                                                    kTraceWidth / kMinuteMs);
        painter.fillRect(QRect(x - 1, kTickTop, 3, kTickHeight), incidentColour(incident.kind));
    }
}

void CGsensorGraphicDlg::paintTraces(QPainter& painter) {
    refreshTraces();
    const QColor colours[3] = {QColor(0, 255, 0), QColor(255, 0, 0), QColor(0, 0, 255)};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (m_traces[axis].size() > 1) {
            painter.setPen(QPen(colours[axis], 2));
            painter.drawPolyline(m_traces[axis]);
        }
    }
}

void CGsensorGraphicDlg::showEvent(QShowEvent* event) {
    PaneWindow::showEvent(event);
    m_epoch = m_context.telemetry().epoch();
    m_watch.start(kWatchMs, this);
}

void CGsensorGraphicDlg::hideEvent(QHideEvent* event) {
    m_watch.stop();
    PaneWindow::hideEvent(event);
}

void CGsensorGraphicDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_watch.timerId()) {
        PaneWindow::timerEvent(event);
        return;
    }
    core::TelemetryState& telemetry = m_context.telemetry();
    const std::uint64_t epoch = telemetry.epoch();
    if (epoch != m_epoch) {
        // Emptied for another recording: its position is not this one's.
        m_epoch = epoch;
        m_cursorMs = 0;
        update();
    }
    if (telemetry.samplesRevision() != m_tracesRevision ||
        storeVersion(telemetry) != m_marksVersion) {
        update();
    }
}

}  // namespace qelv::ui

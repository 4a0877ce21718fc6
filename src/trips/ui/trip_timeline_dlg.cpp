#include "trips/ui/trip_timeline_dlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "events/ui/incident_settings.h"
#include "events/ui/store_incidents.h"
#include "playback/playback_types.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "storage/recording_name.h"

namespace qelv::ui {

namespace {

// Over the lower video panes, clear of the control bar, like the G-sensor graph.
constexpr QPoint kOffset{10, 530};
constexpr int kWatchMs = 100;
constexpr double kWheelStep = 1.25;  // zoom of one notch of the wheel

QString durationText(std::int64_t ms) {
    const std::int64_t seconds = ms / 1000;
    if (seconds >= 3600) {
        return QStringLiteral("%1 h %2 min")
            .arg(seconds / 3600)
            .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
    }
    if (seconds >= 60) {
        return QStringLiteral("%1 min").arg(seconds / 60);
    }
    return QStringLiteral("%1 s").arg(seconds);
}

}  // namespace

QString CTripTimelineDlg::clockText(std::int64_t ms) {
    return QString::fromStdString(core::recorderClockText(ms / 1000));
}

CTripTimelineDlg::CTripTimelineDlg(QWidget* mainWindow, ViewerContext& context)
    : PaneWindow(mainWindow, kKeyTripTimeline, kOffset, kSize),
      m_context(context),
      m_combo(new CSkinComboBox(this)) {
    setWindowTitle(QStringLiteral("Trip Timeline"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_close = CSkinButton::createImageButton(20, 10, this, QStringLiteral("Close"), kCmdClose,
                                             kSize.width() - 30, 20, 219, 219, 218);
    m_combo->setObjectName(QStringLiteral("tripCombo"));
    m_combo->setGeometry(130, 10, 420, 20);
    m_combo->setFocusPolicy(Qt::NoFocus);
    connect(m_combo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != m_trip) {
            chooseTrip(index);
        }
    });
    hide();
}

CTripTimelineDlg::~CTripTimelineDlg() {
    // The reader stops before the catalogue whose card it may be reading goes.
    m_reader.stop();
}

qintptr CTripTimelineDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    if (message == kMsgPaneCommand) {
        if (wParam == kToggleTripTimeline) {
            toggle();
        } else if (wParam == kPaneSourceClosing) {
            forget();
        } else if (wParam == kPaneSourceRepairing) {
            // What was read whole stays; a read cut short starts again once listed.
            m_reader.stop();
            if (std::optional<trips::TripStore> store = m_reader.takeStore()) {
                setStore(std::move(*store));
            }
        } else if (wParam == kPaneSourceListed) {
            if (!m_store && !m_reader.running()) {
                m_stale = true;
                if (m_visible) {
                    startReading();
                }
            }
        }
        return 0;
    }
    if (message == kMsgButtonClicked && wParam == kCmdClose) {
        hidePane();
        return 0;
    }
    return PaneWindow::onMessage(message, wParam, lParam);
}

void CTripTimelineDlg::toggle() {
    if (m_visible) {
        hidePane();
        return;
    }
    m_visible = true;
    show();
    raise();
    activateWindow();
}

void CTripTimelineDlg::hidePane() {
    m_visible = false;
    m_seeking = false;
    hide();
}

void CTripTimelineDlg::followMainWindow(QPoint mainTopLeft) {
    if (!m_placed) {
        m_placed = true;
        move(mainTopLeft + kOffset);
    }
}

void CTripTimelineDlg::forget() {
    m_reader.stop();
    m_skipped.clear();
    m_store.reset();
    m_stale = true;
    m_trip = -1;
    m_spans.clear();
    m_speedRuns.clear();
    m_shakeRuns.clear();
    m_requested.reset();
    m_seeking = false;
    {
        const QSignalBlocker block(m_combo);
        m_combo->clear();
    }
    update();
    checkPlayingTrip();
}

void CTripTimelineDlg::startReading() {
    forget();
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    std::vector<trips::SourceRecording> recordings;
    const std::vector<core::RecordingEntry>& entries = catalogue.entries();
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const core::RecordingEntry& entry = entries[k];
        const auto category = core::parseRecordingName(entry.fileName).listCategory;
        if (core::isCompanionName(entry.fileName) || !category ||
            *category == core::RecordingCategory::Parking) {
            continue;  // in no trip
        }
        recordings.push_back({k, entry.fileName, entry.path, core::locationOf(catalogue, entry)});
    }
    m_stale = false;
    m_reader.start(std::move(recordings), incidentThresholds(QSettings()));
    update();
}

void CTripTimelineDlg::setStore(trips::TripStore store) {
    m_reader.stop();
    m_store = std::move(store);
    m_stale = false;
    fillChooser();
    chooseTrip(m_store->trips.empty() ? -1 : 0);
    if (const auto wanted = std::exchange(m_playWhenRead, std::nullopt);
        wanted && !playTripOf(*wanted)) {
        showMessageBox(this, QStringLiteral("This recording belongs to no trip."),
                       MessageIcon::Information);
    }
}

void CTripTimelineDlg::fillChooser() {
    const QSignalBlocker block(m_combo);
    m_combo->clear();
    if (!m_store) {
        return;
    }
    std::vector<trips::RecordingFacts> facts;
    facts.reserve(m_store->recordings.size());
    for (const auto& recording : m_store->recordings) {
        facts.push_back(recording.trace.facts);
    }
    for (const trips::Trip& trip : m_store->trips) {
        const trips::TripTotals totals = trips::tripTotals(trip, m_store->inputs, facts);
        const QString start = clockText(trip.startMs);
        const QString distance = totals.topSpeedKmh < 0
                                     ? QStringLiteral("no GPS")
                                     : QStringLiteral("%1 km").arg(totals.distanceKm, 0, 'f', 1);
        m_combo->addItem(QStringLiteral("%1  %2\u2013%3  %4  %5")
                             .arg(start.left(10), start.mid(11, 5),
                                  clockText(trip.endMs).mid(11, 5),
                                  durationText(trip.endMs - trip.startMs), distance));
    }
}

void CTripTimelineDlg::chooseTrip(int index) {
    if (!m_store || index < 0 || static_cast<std::size_t>(index) >= m_store->trips.size()) {
        index = -1;
    }
    m_trip = index;
    {
        const QSignalBlocker block(m_combo);
        m_combo->setCurrentIndex(index);
    }
    m_requested.reset();
    placeSpans();
    const std::int64_t length =
        index < 0 ? 1 : m_store->trips[index].endMs - m_store->trips[index].startMs;
    m_axis = trips::TimeAxis(kPlotArea.left(), kPlotArea.width(), length);
    makeTraces();
    update();
    checkPlayingTrip();
}

void CTripTimelineDlg::placeSpans() {
    m_spans.clear();
    if (m_trip < 0) {
        return;
    }
    const trips::Trip& trip = m_store->trips[static_cast<std::size_t>(m_trip)];
    for (const std::size_t k : trip.recordings) {
        const auto& facts = m_store->recordings[k].trace.facts;
        const std::int64_t start =
            trips::startMsOf(m_store->inputs[k]).value_or(trip.startMs) - trip.startMs;
        m_spans.push_back({k, start, facts.durationMs, !facts.problem.empty()});
    }
    // A recording of unknown length lasts until the next one starts, as the trip joined them.
    for (std::size_t i = 0; i + 1 < m_spans.size(); ++i) {
        const std::int64_t toNext = m_spans[i + 1].startMs - m_spans[i].startMs;
        if (m_spans[i].lengthMs == 0 && toNext > 0 && toNext <= trips::kLongestUnknownMs) {
            m_spans[i].lengthMs = toNext;
        }
    }
}

void CTripTimelineDlg::setPlayback(const QString& path, qint64 positionMs) {
    m_playingPath = path;
    m_positionMs = std::max<qint64>(0, positionMs);
    checkPlayingTrip();
    if (isVisible()) {
        update();
    }
}

std::optional<int> CTripTimelineDlg::cursorX() const {
    if (m_playingPath.isEmpty() || m_trip < 0) {
        return std::nullopt;
    }
    const std::string path = m_playingPath.toStdString();
    for (const Span& span : m_spans) {
        if (m_store->recordings[span.input].path == path) {
            const double x = m_axis.xOf(span.startMs + m_positionMs);
            if (x < kPlotArea.left() || x > kPlotArea.right()) {
                return std::nullopt;
            }
            return static_cast<int>(std::lround(x));
        }
    }
    return std::nullopt;
}

const CTripTimelineDlg::Span* CTripTimelineDlg::spanAt(std::int64_t at) const {
    if (m_spans.empty()) {
        return nullptr;
    }
    const auto next = std::upper_bound(m_spans.begin(), m_spans.end(), at,
                                       [](std::int64_t t, const Span& s) { return t < s.startMs; });
    auto span = next;
    if (next != m_spans.begin()) {
        const auto before = std::prev(next);
        if (next == m_spans.end() || at < before->startMs + before->lengthMs) {
            span = before;
        }
    }
    return &*span;
}

void CTripTimelineDlg::seekAt(int x) {
    seekAtTime(m_axis.timeAt(x));
}

void CTripTimelineDlg::seekToTripTime(std::int64_t tripMs) {
    m_requested.reset();
    seekAtTime(tripMs);
}

bool CTripTimelineDlg::tripPlays() const {
    // The path is the control bar's while it plays; the watch timer drops it once stopped.
    if (!isVisible() || m_trip < 0 || m_playingPath.isEmpty()) {
        return false;
    }
    const std::string path = m_playingPath.toStdString();
    return std::any_of(m_spans.begin(), m_spans.end(), [&](const Span& span) {
        return m_store->recordings[span.input].path == path;
    });
}

void CTripTimelineDlg::checkPlayingTrip() {
    const int playing = tripPlays() ? m_trip : -1;
    if (playing != m_playingTrip) {
        m_playingTrip = playing;
        emit playingTripChanged();
    }
}

std::vector<trips::SpeedPoint> CTripTimelineDlg::playingTripRoute() const {
    std::vector<trips::SpeedPoint> route;
    if (!tripPlays()) {
        return route;
    }
    for (const Span& span : m_spans) {
        for (trips::SpeedPoint p : m_store->recordings[span.input].trace.speed) {
            p.timeMs = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(span.startMs + p.timeMs, 0, UINT32_MAX));
            route.push_back(p);
        }
    }
    return route;
}

std::vector<events::Incident> CTripTimelineDlg::playingTripIncidents() const {
    std::vector<events::Incident> incidents;
    if (!tripPlays()) {
        return incidents;
    }
    const auto shifted = [](std::int64_t ms) {
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, UINT32_MAX));
    };
    for (const Span& span : m_spans) {
        for (events::Incident i : m_store->recordings[span.input].trace.facts.incidents) {
            i.startMs = shifted(span.startMs + i.startMs);
            i.endMs = shifted(span.startMs + i.endMs);
            incidents.push_back(i);
        }
    }
    return incidents;
}

void CTripTimelineDlg::seekAtTime(std::int64_t at) {
    const Span* span = spanAt(at);
    if (span == nullptr) {
        return;
    }
    if (span->unreadable || m_skipped.count(m_store->recordings[span->input].path) != 0) {
        return;  // hatched: there is nothing to play
    }
    const std::int64_t offset = std::clamp<std::int64_t>(
        at - span->startMs, 0, std::max<std::int64_t>(0, span->lengthMs - 1));
    if (m_tripPlayback) {
        emit playTripRequested(playlist(), static_cast<int>(span - m_spans.data()), offset);
        return;
    }
    const trips::TripStore::Recording& recording = m_store->recordings[span->input];
    const std::int32_t state = m_context.engine().state();
    const bool playing = (state == media::kRunningState || state == media::kPausedState) &&
                         m_playingPath.toStdString() == recording.path;
    WindowRegistry& registry = WindowRegistry::instance();
    if (m_requested == span->input || playing) {
        registry.post(kKeyControlBar, kMsgSeek, static_cast<qintptr>(offset), kSeekToTarget);
        return;
    }
    m_requested = span->input;
    registry.post(kKeyFileList, kMsgPlayAt, static_cast<qintptr>(recording.id),
                  static_cast<qintptr>(offset));
}

media::TripPlaylist CTripTimelineDlg::playlist() const {
    std::vector<media::TripPlaylist::Item> items;
    for (const Span& span : m_spans) {
        const trips::TripStore::Recording& recording = m_store->recordings[span.input];
        items.push_back({recording.id, recording.path,
                         m_store->inputs[span.input].durationMs.value_or(0),
                         span.unreadable || m_skipped.count(recording.path) != 0});
    }
    return media::TripPlaylist(std::move(items));
}

void CTripTimelineDlg::playTrip() {
    if (!m_spans.empty()) {
        emit playTripRequested(playlist(), 0, 0);
    }
}

bool CTripTimelineDlg::playTripOf(std::size_t id) {
    if (!m_store) {
        m_playWhenRead = id;
        if (!m_visible) {
            toggle();  // shown, it reads the trips
        } else if (!m_reader.running()) {
            startReading();
        }
        return true;
    }
    for (std::size_t t = 0; t < m_store->trips.size(); ++t) {
        const trips::Trip& trip = m_store->trips[t];
        const auto has = [&](const std::vector<std::size_t>& indexes) {
            return std::any_of(indexes.begin(), indexes.end(),
                               [&](std::size_t i) { return m_store->recordings[i].id == id; });
        };
        if (!has(trip.recordings) && !has(trip.markers)) {
            continue;
        }
        chooseTrip(static_cast<int>(t));
        const auto input = std::find_if(m_store->recordings.begin(), m_store->recordings.end(),
                                        [&](const auto& r) { return r.id == id; });
        const auto start = trips::startMsOf(
            m_store->inputs[static_cast<std::size_t>(input - m_store->recordings.begin())]);
        const std::int64_t at = start ? *start - trip.startMs : 0;
        if (const Span* span = spanAt(at)) {
            // In a recording that cannot be played, the player goes on to the next one.
            emit playTripRequested(playlist(), static_cast<int>(span - m_spans.data()),
                                   std::max<std::int64_t>(0, at - span->startMs));
        }
        return true;
    }
    return false;
}

void CTripTimelineDlg::setTripPlayback(bool playing) {
    m_tripPlayback = playing;
}

void CTripTimelineDlg::markSkipped(const QString& path) {
    m_skipped.insert(path.toStdString());
    update();
}

void CTripTimelineDlg::chooseSpan() {
    const auto [a, b] = *m_selection;
    m_selection.reset();
    update();
    const std::int64_t from = std::min(a, b);
    const std::int64_t to = std::max(a, b);
    const Span* span = spanAt(from);
    constexpr std::int64_t kShortestMs = 1000;
    if (span == nullptr || span->unreadable || to - from < kShortestMs || !m_store) {
        return;
    }
    const std::int64_t offsetMs = std::max<std::int64_t>(0, from - span->startMs);
    // The end in the recording it falls in (in a gap: the end of the one before): recordings
    // are joined back to back, so a trip time is no offset from the first one's start.
    const Span* end = span;
    for (const Span& s : m_spans) {
        if (s.startMs <= to && s.startMs >= end->startMs) {
            end = &s;
        }
    }
    const std::int64_t endOffsetMs = std::clamp<std::int64_t>(to - end->startMs, 0, end->lengthMs);
    emit spanChosen(
        QString::fromStdString(m_store->recordings[span->input].path), offsetMs * 1'000'000,
        QString::fromStdString(m_store->recordings[end->input].path), endOffsetMs * 1'000'000);
}

void CTripTimelineDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton && kPlotArea.contains(point) &&
        (event->modifiers() & Qt::ShiftModifier) && !m_spans.empty()) {
        const std::int64_t at = m_axis.timeAt(point.x());
        m_selection = std::pair{at, at};
        return;
    }
    if (event->button() == Qt::LeftButton && kPlayTripArea.contains(point)) {
        playTrip();
        return;
    }
    if (event->button() == Qt::LeftButton && kPlotArea.contains(point)) {
        m_requested.reset();
        m_seeking = true;
        seekAt(point.x());
        return;
    }
    m_seeking = false;
    PaneWindow::mousePressEvent(event);
}

void CTripTimelineDlg::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (m_selection && (event->buttons() & Qt::LeftButton)) {
        m_selection->second =
            m_axis.timeAt(std::clamp(point.x(), kPlotArea.left(), kPlotArea.right()));
        update();
        return;
    }
    if (m_seeking && (event->buttons() & Qt::LeftButton)) {
        seekAt(std::clamp(point.x(), kPlotArea.left(), kPlotArea.right()));
        return;
    }
    PaneWindow::mouseMoveEvent(event);
}

void CTripTimelineDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (m_selection && event->button() == Qt::LeftButton) {
        chooseSpan();
        return;
    }
    m_seeking = false;
    m_requested.reset();
    PaneWindow::mouseReleaseEvent(event);
}

void CTripTimelineDlg::wheelEvent(QWheelEvent* event) {
    const QPointF point = event->position();
    if (m_trip < 0 || !kPlotArea.contains(point.toPoint())) {
        event->ignore();
        return;
    }
    m_axis.zoomAt(point.x(), std::pow(kWheelStep, event->angleDelta().y() / 120.0));
    makeTraces();
    update();
    event->accept();
}

void CTripTimelineDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hidePane();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_P) {
        playTrip();
        event->accept();
        return;
    }
    PaneWindow::keyPressEvent(event);
}

bool CTripTimelineDlg::event(QEvent* event) {
    // Escape hides the timeline; the viewer's other keys (T, the player's) work through it.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return PaneWindow::event(event);
}

void CTripTimelineDlg::closeEvent(QCloseEvent* event) {
    // Closing (Alt+F4 through the window manager) only hides it.
    event->ignore();
    hidePane();
}

bool CTripTimelineDlg::draggableAt(QPoint point) const {
    return point.y() < kCaptionHeight;
}

void CTripTimelineDlg::showEvent(QShowEvent* event) {
    PaneWindow::showEvent(event);
    if (m_stale && !m_reader.running()) {
        startReading();
    }
    m_watch.start(kWatchMs, this);
}

void CTripTimelineDlg::hideEvent(QHideEvent* event) {
    m_watch.stop();
    PaneWindow::hideEvent(event);
    checkPlayingTrip();  // hidden, it shows no trip as playing
}

void CTripTimelineDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_watch.timerId()) {
        PaneWindow::timerEvent(event);
        return;
    }
    if (std::optional<trips::TripStore> store = m_reader.takeStore()) {
        setStore(std::move(*store));
    } else if (m_reader.running()) {
        update();  // the progress
    }
    if (!m_playingPath.isEmpty() && m_context.engine().state() == media::kStoppedState) {
        m_playingPath.clear();
        update();
    }
    checkPlayingTrip();
}

}  // namespace qelv::ui

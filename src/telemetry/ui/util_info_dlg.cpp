#include "telemetry/ui/util_info_dlg.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "playback/playback_types.h"
#include "shell/window_keys.h"
#include "skin/skin_bitmaps.h"
#include "telemetry/text_track_reader.h"

namespace qelv::ui {

namespace {

constexpr QPoint kOffset{14, 735};
constexpr QSize kSize{770, 55};
constexpr int kRefreshMs = 500;
const QColor kGround(16, 16, 16);
const QColor kOutline(51, 51, 51);

struct ItemLook {
    int left;
    const char* label;
    QColor colour;
};
const ItemLook kItems[] = {
    {80, "Latitude", QColor(255, 255, 255)},       {190, "Longitude", QColor(255, 255, 255)},
    {300, "Speed", QColor(255, 255, 255)},         {430, "Horizental (X axis)", QColor(0, 255, 0)},
    {540, "Vertical (Y axis)", QColor(255, 0, 0)}, {650, "Depth (Z axis)", QColor(0, 0, 255)},
};

struct Icon {
    int bitmap;
    QPoint at;
};
constexpr Icon kIcons[] = {{239, {95, 11}}, {240, {199, 11}}, {241, {320, 11}}, {254, {0, 5}}};

QString latitudeText(float latitude) {
    return QString::asprintf("N%08f", static_cast<double>(latitude / 100.0f));
}

QString longitudeText(float longitude) {
    return QString::asprintf("E%08f", static_cast<double>(longitude / 100.0f));
}

QString speedText(double speed) {
    // A speed beyond what an int holds (a hostile sentence) shows as the largest one.
    const double whole = std::isnan(speed) ? 0.0 : std::trunc(speed);
    return QString::asprintf("%03d [km/h]",
                             static_cast<int>(std::clamp(whole, -2147483648.0, 2147483647.0)));
}

// The panel keeps single-precision values; a number a sentence wrote beyond that range is
// shown as the largest one rather than narrowed (which is undefined).
float narrowed(double value) {
    if (std::isnan(value)) {
        return 0.0f;
    }
    const auto limit = static_cast<double>(std::numeric_limits<float>::max());
    return static_cast<float>(std::clamp(value, -limit, limit));
}

QString axisText(std::int32_t raw, bool tenBit) {
    return QString::asprintf("%0.03f", static_cast<double>(core::gravityOf(raw, tenBit)));
}

}  // namespace

CUtilInfoDlg::CUtilInfoDlg(QWidget* mainWindow, ViewerContext& context)
    : PaneWindow(mainWindow, kKeyInfoPanel, kOffset, kSize),
      m_context(context),
      m_font(QStringLiteral("Arial")) {
    setWindowTitle(QStringLiteral("Sensor Information"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_font.setPointSize(8);
    m_font.setWeight(QFont::Normal);
    for (std::size_t i = 0; i < m_icons.size(); ++i) {
        m_icons[i] = skinBitmap(kIcons[i].bitmap);
    }
    m_texts[kLatitude] = latitudeText(0);
    m_texts[kLongitude] = longitudeText(0);
    m_texts[kSpeed] = speedText(0);
    for (Item axis : {kAxisX, kAxisY, kAxisZ}) {
        m_texts[axis] = axisText(0, false);
    }
}

CUtilInfoDlg::~CUtilInfoDlg() {
    // The viewer is closing: an emptied store ends every reader at its next record.
    m_context.telemetry().clear();
    waitForReaders();
}

QRect CUtilInfoDlg::labelRect(Item item) {
    return {kItems[item].left, 12, 111, 20};
}

QRect CUtilInfoDlg::valueRect(Item item) {
    return labelRect(item).translated(0, 20);
}

qintptr CUtilInfoDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    if (message != kMsgPaneCommand) {
        return PaneWindow::onMessage(message, wParam, lParam);
    }
    switch (wParam) {
        case kPanePlaying:
            playing();
            return 0;
        case kPanePaused:
            m_timer.stop();
            m_paused = true;
            return 0;
        case kPaneStop:
            stopped();
            return 0;
        default:
            return -1;
    }
}

void CUtilInfoDlg::playing() {
    m_timer.start(kRefreshMs, this);
    if (!m_paused) {
        startReader();
    }
    m_paused = false;
}

void CUtilInfoDlg::stopped() {
    setText(kLatitude, latitudeText(0));
    setText(kLongitude, longitudeText(0));
    setText(kSpeed, speedText(0));
    for (Item axis : {kAxisX, kAxisY, kAxisZ}) {
        setText(axis, axisText(0, false));
    }
    m_context.telemetry().clear();
    m_paused = false;
}

void CUtilInfoDlg::startReader() {
    reapReaders();
    media::PlaybackEngine& engine = m_context.engine();
    const media::RecordingSources& sources = engine.openedSources();
    core::PlayingRecording recording{sources.paths[0], sources.cardFile};
    if (recording.path.empty() && !recording.cardFile) {
        return;  // nothing open
    }
    core::TelemetryState& telemetry = m_context.telemetry();
    const std::uint64_t epoch = telemetry.epoch();
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The engine outlives this panel (the viewer's context owns it); its state is the one
    // query any thread may make.
    std::thread thread([recording = std::move(recording), &telemetry, &engine, epoch, done] {
        core::readPlayingRecording(
            recording, telemetry, [&engine] { return engine.state(); }, epoch);
        done->store(true, std::memory_order_release);
    });
    m_readers.push_back({std::move(thread), std::move(done)});
    ++m_readersStarted;
}

void CUtilInfoDlg::reapReaders() {
    std::erase_if(m_readers, [](Reader& reader) {
        if (!reader.done->load(std::memory_order_acquire)) {
            return false;
        }
        reader.thread.join();
        return true;
    });
}

void CUtilInfoDlg::waitForReaders() {
    for (Reader& reader : m_readers) {
        reader.thread.join();
    }
    m_readers.clear();
}

void CUtilInfoDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        refresh();
    } else {
        PaneWindow::timerEvent(event);
    }
}

void CUtilInfoDlg::refresh() {
    media::PlaybackEngine& engine = m_context.engine();
    const std::int32_t state = engine.state();
    if (state != media::kRunningState && state != media::kPausedState) {
        return;
    }
    reapReaders();
    const std::uint64_t position = engine.positionMs();
    // The axes show the last sample before the position. Unlike a panel that stops at the
    // end of the samples, this one keeps following: a seek back after the last sample shows
    // the values there again.
    std::optional<core::GSensorSample> shown;
    bool tenBit = false;
    m_context.telemetry().walkSamples([&](const std::list<core::GSensorSample>& samples) {
        if (samples.empty()) {
            return;
        }
        tenBit = samples.front().format == static_cast<std::int32_t>(core::SampleFormat::Packed10);
        for (const core::GSensorSample& sample : samples) {
            if (sample.timeMs >= 0 && static_cast<std::uint64_t>(sample.timeMs) >= position) {
                break;
            }
            shown = sample;
        }
    });
    if (shown) {
        showAxes(*shown, tenBit);
    }
    if (const auto [fix, flag] = m_context.telemetry().currentFix(); flag != 0) {
        showFix(fix);
    }
}

void CUtilInfoDlg::showAxes(const core::GSensorSample& sample, bool tenBit) {
    setText(kAxisX, axisText(sample.x, tenBit));
    setText(kAxisY, axisText(sample.y, tenBit));
    setText(kAxisZ, axisText(sample.z, tenBit));
}

void CUtilInfoDlg::showFix(const core::CVOKAGPSData& fix) {
    setText(kLongitude, longitudeText(narrowed(fix.longitude)));
    setText(kLatitude, latitudeText(narrowed(fix.latitude)));
    setText(kSpeed, speedText(static_cast<double>(narrowed(fix.speed))));
}

void CUtilInfoDlg::setText(Item item, const QString& text) {
    QString& stored = m_texts[static_cast<std::size_t>(item)];
    if (stored == text) {
        return;
    }
    stored = text;
    update(valueRect(item));
}

void CUtilInfoDlg::followMainWindow(QPoint mainTopLeft) {
    const int mode = m_context.layoutMode();
    if (mode != kLayoutFitScreen && mode != kLayoutFullScreen) {
        PaneWindow::followMainWindow(mainTopLeft);
    }
}

void CUtilInfoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kGround);
    for (std::size_t i = 0; i < m_icons.size(); ++i) {
        painter.drawPixmap(kIcons[i].at, m_icons[i]);
    }
    painter.setFont(m_font);
    for (int i = 0; i < kItemCount; ++i) {
        const auto item = static_cast<Item>(i);
        const QRect label = labelRect(item);
        // The outlines make a two-row table: the label's box from 4 pixels above it, the
        // value's right under it.
        painter.setPen(QPen(kOutline, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(label.translated(0, -4).adjusted(0, 0, -1, -1));
        painter.drawRect(label.translated(0, 16).adjusted(0, 0, -1, -1));
        painter.setPen(kItems[i].colour);
        painter.drawText(label, Qt::AlignCenter, QString::fromLatin1(kItems[i].label));
        painter.drawText(valueRect(item), Qt::AlignCenter, m_texts[static_cast<std::size_t>(i)]);
    }
}

}  // namespace qelv::ui

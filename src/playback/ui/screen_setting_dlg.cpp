#include "playback/ui/screen_setting_dlg.h"

#include <QMoveEvent>
#include <QPainter>

#include "playback/decoder_settings.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/skin_bitmaps.h"

namespace qelv::ui {

namespace {
// First shown over the lower right of the main window; from then on where the user drags it.
constexpr QPoint kOffset{530, 600};
constexpr QSize kSize{280, 106};
const QColor kBackground(28, 31, 40);

// The sliders in the order their settings are written: 201, 202, 203, 204. A slider's index
// here is its control id less 1280.
struct SliderRow {
    int id;
    QPoint topLeft;
    int max;      // the range starts at 0
    int initial;  // the picture as decoded
    std::int32_t setting;
    int bias;  // the value written is the position less this
};
constexpr SliderRow kSliders[] = {
    {CScreenSettingDlg::kContrastSlider, {152, 40}, 256, 128, media::kLuminanceGain, 0},
    {CScreenSettingDlg::kBrightnessSlider, {28, 40}, 512, 256, media::kLuminanceOffset, 256},
    {CScreenSettingDlg::kHueSlider, {152, 75}, 360, 180, media::kHue, 180},
    {CScreenSettingDlg::kSaturationSlider, {28, 75}, 128, 64, media::kSaturation, 0},
};
constexpr QSize kSliderSize{85, 13};
}  // namespace

CScreenSettingDlg::CScreenSettingDlg(QWidget* mainWindow, ViewerContext& context)
    : PaneWindow(mainWindow, kKeyScreenSettings, kOffset, kSize),
      m_context(context),
      m_background(skinBitmap(249)),
      m_place(kOffset) {
    setWindowTitle(QStringLiteral("Screen Settings"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (std::size_t i = 0; i < m_sliders.size(); ++i) {
        const SliderRow& row = kSliders[i];
        auto* slider = new CBitmapSlider(QString(), row.id, this);
        slider->setGeometry(QRect(row.topLeft, kSliderSize));
        slider->setChannelImages(skinBitmap(117), skinBitmap(118));
        slider->setThumbImages(skinBitmap(116), skinBitmap(115));
        slider->setDrawFocusRect(false);
        slider->setOwner(this);
        slider->setRange(0, row.max);
        slider->setPos(row.initial);
        m_sliders[i] = slider;
    }
    m_close = CSkinButton::createImageButton(20, 0, this, QStringLiteral("Close"), kCmdClose, 255,
                                             20, 219, 219, 218);
    m_reset = CSkinButton::createImageButton(20, 80, this, QStringLiteral("Reset"), kCmdReset, 242,
                                             32, 250, 250, 251);
    hide();
}

CBitmapSlider* CScreenSettingDlg::slider(int id) const {
    const int index = id - kContrastSlider;
    return index >= 0 && index < static_cast<int>(m_sliders.size())
               ? m_sliders[static_cast<std::size_t>(index)]
               : nullptr;
}

CSkinButton* CScreenSettingDlg::button(int command) const {
    return command == kCmdClose ? m_close : command == kCmdReset ? m_reset : nullptr;
}

qintptr CScreenSettingDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    switch (message) {
        case kMsgSliderChanged:
            if (wParam >= kContrastSlider && wParam <= kSaturationSlider) {
                applyMoved(static_cast<int>(wParam - kContrastSlider));
            }
            return 0;
        case kMsgPaneCommand:
            if (wParam == kToggleScreenSettings) {
                toggle(!m_visible);
            } else if (wParam == kPanePlaying) {
                applyAll();
            }
            return 0;
        case kMsgButtonClicked:
            if (wParam == kCmdClose) {
                toggle(!m_visible);
            } else if (wParam == kCmdReset) {
                reset();
            }
            return 0;
        default:
            return PaneWindow::onMessage(message, wParam, lParam);
    }
}

void CScreenSettingDlg::toggle(bool shown) {
    m_visible = shown;
    if (shown) {
        show();
        raise();
    } else {
        hide();
    }
}

void CScreenSettingDlg::reset() {
    for (std::size_t i = 0; i < m_sliders.size(); ++i) {
        m_sliders[i]->setPos(kSliders[i].initial);
        m_sliders[i]->repaint();
    }
    applyAll();
}

bool CScreenSettingDlg::playing() const {
    const std::int32_t state = m_context.engine().state();
    return state == static_cast<std::int32_t>(media::GraphState::Running) ||
           state == static_cast<std::int32_t>(media::GraphState::Paused);
}

void CScreenSettingDlg::applyMoved(int index) {
    if (!playing()) {
        return;  // the next play applies it
    }
    // A drag queues a message per mouse move while each apply waits for a seek; the ones
    // that find the slider where the last apply left it have nothing new to show.
    media::PlaybackEngine& engine = m_context.engine();
    const auto i = static_cast<std::size_t>(index);
    const int value = m_sliders[i]->pos() - kSliders[i].bias;
    if (m_writtenGeneration == engine.generation() && m_written[i] == value) {
        return;
    }
    write(i);
    showChange();
}

void CScreenSettingDlg::applyAll() {
    if (!playing()) {
        return;
    }
    for (std::size_t i = 0; i < m_sliders.size(); ++i) {
        write(i);
    }
    showChange();
}

void CScreenSettingDlg::write(std::size_t index) {
    media::PlaybackEngine& engine = m_context.engine();
    if (m_writtenGeneration != engine.generation()) {
        m_written.fill(std::nullopt);  // another recording: its decoders start afresh
        m_writtenGeneration = engine.generation();
    }
    const int value = m_sliders[index]->pos() - kSliders[index].bias;
    engine.decoderSettingAll(kSliders[index].setting, value);
    m_written[index] = value;
}

// The decoders change the pictures they make from now on; a seek to where playback is makes
// them decode the current picture again, so that a paused picture shows the change too.
void CScreenSettingDlg::showChange() {
    media::PlaybackEngine& engine = m_context.engine();
    engine.seek(engine.positionMs());
    for (int key : {kKeyScreen1, kKeyScreen2, kKeyScreen3}) {
        WindowRegistry::instance().post(key, kMsgPaneCommand, kRepaintVideo);
    }
}

void CScreenSettingDlg::followMainWindow(QPoint mainTopLeft) {
    move(mainTopLeft + m_place);
}

void CScreenSettingDlg::moveEvent(QMoveEvent* event) {
    PaneWindow::moveEvent(event);
    // Only the default layout's main window is where the pane returns to; a move while the
    // main window fills the screen is not remembered.
    if (QWidget* main = mainWindow(); main != nullptr && m_context.layoutMode() == kLayoutDefault) {
        m_place = pos() - main->pos();
    }
}

bool CScreenSettingDlg::draggableAt(QPoint) const {
    return true;
}

void CScreenSettingDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), kBackground);
    } else {
        painter.drawPixmap(0, 0, m_background);
    }
}

}  // namespace qelv::ui

#include "playback/ui/player_menu_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>

#include <algorithm>
#include <memory>

#include "playback/playback_types.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/skin_bitmaps.h"
#include "skin/window_message.h"
#include "storage/card_file_source.h"

namespace qelv::ui {

namespace {

struct BarButton {
    int id;
    const char* text;
    int x;
    int normal;
    int lit;
    const char* key;  // the shortcut named in the tooltip, or nullptr
};

constexpr BarButton kButtons[] = {
    {CPlayerMenuDlg::kCmdPrevious, "Previous file", 120, 216, 217, "Page Up"},
    {CPlayerMenuDlg::kCmdRewind, "Rewind", 160, 227, 228, "Left"},
    {CPlayerMenuDlg::kCmdPlay, "Play", 200, 214, 215, "Space"},
    {CPlayerMenuDlg::kCmdStop, "Stop", 240, 222, 223, nullptr},
    {CPlayerMenuDlg::kCmdForward, "Forward", 280, 229, 230, "Right"},
    {CPlayerMenuDlg::kCmdNext, "Next File", 320, 208, 209, "Page Down"},
    {CPlayerMenuDlg::kCmdPrint, "Print", 503, 237, 238, nullptr},
    {CPlayerMenuDlg::kCmdCapture, "Capture", 543, 231, 232, nullptr},
    {CPlayerMenuDlg::kCmdFlip, "video flip", 583, 268, 269, nullptr},
    {CPlayerMenuDlg::kCmdScreenSwitch, "Screen switching", 623, 235, 236, nullptr},
    {CPlayerMenuDlg::kCmdSensor, "Sensor Informantion", 663, 233, 234, nullptr},
    {CPlayerMenuDlg::kCmdScreenSettings, "Screen Settings", 703, 247, 248, nullptr},
    {CPlayerMenuDlg::kCmdStorage, "Storage info.", 728, 259, 260, nullptr},
    {CPlayerMenuDlg::kCmdDeviceSettings, "Device settings", 753, 220, 221, nullptr},
};

constexpr QPoint kWindowedPlace{14, 453};
constexpr QSize kBarSize{770, 50};
constexpr int kButtonTop = 23;
constexpr int kButtonSize = 20;
constexpr int kVolumeKeyStep = 5;

}  // namespace

CPlayerMenuDlg::CPlayerMenuDlg(QWidget* mainWindow, ViewerContext& context,
                               std::array<CScreenDlg*, 3> screens, PlayerDialogs dialogs)
    : PaneWindow(mainWindow, kKeyControlBar, kWindowedPlace, kBarSize),
      m_context(context),
      m_screens(screens),
      m_dialogs(std::move(dialogs)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Control"));
    createControls();
    applyVolume();
    // A trip's recording that ends hands over to the next at once, not at the next tick.
    m_context.engine().setWake([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_trip) {
                    tripTick();
                }
            },
            Qt::QueuedConnection);
    });
}

// The engine is the main window's: it tears it down before its panes go. Without a recording
// no thread is left to wake the bar.
CPlayerMenuDlg::~CPlayerMenuDlg() {
    m_playTimer.stop();
    m_reopenTimer.stop();
    m_context.engine().teardown();
    m_context.engine().setWake({});
}

void CPlayerMenuDlg::createControls() {
    auto readout = [this](int x, int width, const QString& text) {
        auto* box = new CTextBox(this);
        box->setGeometry(x, 0, width, 20);
        box->setText(text);
        return box;
    };
    m_position = readout(0, 40, QStringLiteral("00:00"));
    m_duration = readout(435, 40, QStringLiteral("00:00"));
    m_rateText = readout(522, 30, QString::fromStdString(media::rateText(1.0f)));

    auto slider = [this](const QString& text, int id, QPoint at, int channel, int thumb) {
        auto* control = new CBitmapSlider(text, id, this);
        control->setOwner(this);
        control->setDrawFocusRect(false);
        control->setChannelImages(skinBitmap(channel), skinBitmap(channel + 1));
        control->setThumbImages(skinBitmap(thumb), skinBitmap(thumb - 1));
        control->move(at);
        return control;
    };
    m_seek = slider(QStringLiteral("SEEK"), kSeekId, {40, 0}, 105, 104);
    m_seek->setRange(0, 0);
    m_seek->setPos(0);
    m_rateSlider = slider(QString(), kRateId, {552, 1}, 117, 116);
    m_rateSlider->setRange(1, 10);
    m_rateSlider->setPos(media::kDefaultRatePosition);
    m_volume = slider(QString(), kVolumeId, {685, 1}, 117, 116);
    m_volume->setRange(0, 100);
    m_volume->setPos(50);

    for (const BarButton& entry : kButtons) {
        CSkinButton* button = CSkinButton::createImageButton(
            kButtonSize, kButtonTop, this, QString::fromLatin1(entry.text), entry.id, entry.x,
            kButtonSize, entry.normal, entry.lit, entry.lit);
        if (entry.key != nullptr) {
            button->setToolTip(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(entry.text),
                                                             QString::fromLatin1(entry.key)));
        }
        m_buttons.push_back(button);
    }
}

CSkinButton* CPlayerMenuDlg::button(int command) const {
    for (CSkinButton* candidate : m_buttons) {
        if (candidate->controlId() == command) {
            return candidate;
        }
    }
    return nullptr;
}

namespace {

// Keeps a list's moving keys from the player's shortcuts while the list has the focus.
class NavigationKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
                case Qt::Key_Up:
                case Qt::Key_Down:
                case Qt::Key_Left:
                case Qt::Key_Right:
                case Qt::Key_PageUp:
                case Qt::Key_PageDown:
                case Qt::Key_Home:
                case Qt::Key_End:
                    event->accept();
                    return true;
                default:
                    break;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void CPlayerMenuDlg::keepNavigationKeys(QWidget* list) {
    list->installEventFilter(new NavigationKeys(list));
}

void CPlayerMenuDlg::installShortcuts(QWidget* window, bool listKeys) {
    auto bind = [this, window](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(action));
    };
    bind(Qt::Key_Space, [this] { runCommand(kCmdPlay); });
    bind(Qt::Key_BracketLeft, [this] {
        m_rateSlider->setPos(m_rateSlider->pos() - 1);
        onMessage(kMsgSliderChanged, kRateId, 1);
    });
    bind(Qt::Key_BracketRight, [this] {
        m_rateSlider->setPos(m_rateSlider->pos() + 1);
        onMessage(kMsgSliderChanged, kRateId, 1);
    });
    bind(Qt::Key_F, [this] {
        const qintptr command = m_context.layoutMode() == kLayoutFullScreen ? 20 : 17;
        sendMessage(WindowRegistry::instance().find(kKeyMainWindow), kMsgButtonClicked, command);
    });
    bind(Qt::Key_E, [this] { runCommand(kCmdExportClip); });
    bind(Qt::Key_Escape, [] {
        sendMessage(WindowRegistry::instance().find(kKeyMainWindow), kMsgButtonClicked, 20);
    });
    if (!listKeys) {
        return;
    }
    bind(Qt::Key_Left, [this] { runCommand(kCmdRewind); });
    bind(Qt::Key_Right, [this] { runCommand(kCmdForward); });
    bind(Qt::Key_Up, [this] {
        m_volume->setPos(m_volume->pos() + kVolumeKeyStep);
        onMessage(kMsgSliderChanged, kVolumeId, 1);
    });
    bind(Qt::Key_Down, [this] {
        m_volume->setPos(m_volume->pos() - kVolumeKeyStep);
        onMessage(kMsgSliderChanged, kVolumeId, 1);
    });
    bind(Qt::Key_PageUp, [this] { runCommand(kCmdPrevious); });
    bind(Qt::Key_PageDown, [this] { runCommand(kCmdNext); });
}

bool CPlayerMenuDlg::running() const {
    return m_context.engine().state() == media::kRunningState;
}

bool CPlayerMenuDlg::runningOrPaused() const {
    const std::int32_t state = m_context.engine().state();
    return state == media::kRunningState || state == media::kPausedState;
}

qintptr CPlayerMenuDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    switch (message) {
        case kMsgButtonClicked:
            runCommand(static_cast<int>(wParam));
            return 0;
        case kMsgSliderChanged:
            if (wParam == kVolumeId) {
                applyVolume();
            } else if (wParam == kRateId) {
                applyRate(m_rateSlider->pos() - 1);
            }
            return 0;
        case kMsgSeek:
            seek(wParam, lParam == kSeekToTarget);
            return 0;
        case kMsgPaneCommand:
            if (wParam == kPaneStop) {
                stop();
            } else if (wParam == kPanePlaying) {
                runCommand(kCmdPlay);
            } else if (wParam == kPanePaused) {
                pause();
            } else if (wParam == kPaneReopen) {
                reopen();
            } else if (wParam == kPaneExportClip) {
                runCommand(kCmdExportClip);
            }
            return 0;
        default:
            return -1;
    }
}

void CPlayerMenuDlg::followMainWindow(QPoint mainTopLeft) {
    if (m_context.layoutMode() == kLayoutDefault) {
        PaneWindow::followMainWindow(mainTopLeft);
    }
}

void CPlayerMenuDlg::takeLayoutMode(int mode, QSize screen) {
    if (mode == kLayoutDefault) {
        if (mainWindow() != nullptr) {
            move(mainWindow()->pos() + kWindowedPlace);
        }
        resize(kBarSize);
    } else {
        // Centred at the bottom of the screen; never narrower than its controls.
        setGeometry((screen.width() - kBarSize.width()) / 2, screen.height() - 65,
                    std::max(kBarSize.width(), screen.width() - 795), 70);
    }
    show();
}

void CPlayerMenuDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    painter.drawPixmap(503, 0, 15, 15, skinBitmap(111));
    painter.drawPixmap(666, 0, 15, 15, skinBitmap(112));
}

}  // namespace qelv::ui

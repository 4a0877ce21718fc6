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
constexpr double kStepBackSeconds = 2.0;
constexpr double kStepForwardSeconds = 1.0;
constexpr int kVolumeKeyStep = 5;
// Bitmaps of the Play button while playing.
constexpr int kPauseFace = 212;
constexpr int kPauseFaceLit = 213;
constexpr int kPlayFace = 214;
constexpr int kPlayFaceLit = 215;

void postTo(std::initializer_list<int> keys, qintptr code) {
    for (int key : keys) {
        WindowRegistry::instance().post(key, kMsgPaneCommand, code);
    }
}

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
}

CPlayerMenuDlg::~CPlayerMenuDlg() {
    media::PlaybackEngine& engine = m_context.engine();
    m_playTimer.stop();
    m_reopenTimer.stop();
    engine.pause();
    engine.stop();
    engine.teardown();
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

void CPlayerMenuDlg::runCommand(int command) {
    switch (command) {
        case kCmdPrevious:
            moveInList(-1);
            return;
        case kCmdNext:
            moveInList(1);
            return;
        case kCmdRewind:
        case kCmdForward:
            step(command == kCmdRewind);
            return;
        case kCmdPlay:
            playOrPause();
            return;
        case kCmdStop:
            stop();
            return;
        case kCmdPrint:
            if (runningOrPaused() && m_dialogs.report) {
                const bool wasRunning = running();
                if (wasRunning) {
                    pause();
                }
                const int channel = captureChannel();
                runModal([this, channel] { m_dialogs.report(*this, channel); });
                if (wasRunning) {
                    if (running()) {
                        pause();
                    }
                    play();
                }
            }
            return;
        case kCmdCapture:
            capture();
            return;
        case kCmdExportClip:
            // Not modal: playback goes on while the clip is written.
            if (runningOrPaused() && m_dialogs.exportClip) {
                const auto positionNs =
                    static_cast<std::int64_t>(m_context.engine().positionMs()) * 1'000'000;
                m_dialogs.exportClip(*this, m_path, positionNs);
            }
            return;
        case kCmdScreenSwitch:
            switchScreens();
            return;
        case kCmdFlip:
            flipSelected();
            return;
        case kCmdSensor:
            WindowRegistry::instance().post(kKeyGraph, kMsgPaneCommand, kToggleGraph);
            return;
        case kCmdScreenSettings:
            WindowRegistry::instance().post(kKeyScreenSettings, kMsgPaneCommand,
                                            kToggleScreenSettings);
            return;
        case kCmdStorage:
            if (m_context.catalogue().selectedDrive() != nullptr && m_dialogs.storageInfo) {
                runModal([this] { m_dialogs.storageInfo(*this); });
            }
            return;
        case kCmdDeviceSettings: {
            const core::SourceDrive* drive = m_context.catalogue().selectedDrive();
            if (drive == nullptr || (drive->kind != core::SourceKind::FatDrive &&
                                     drive->kind != core::SourceKind::WyfsDrive)) {
                return;
            }
            if (m_dialogs.deviceSettings) {
                // The recorder's file is not edited under a playing recording.
                WindowRegistry::instance().post(kKeyControlBar, kMsgPaneCommand, kPaneStop);
                const std::string root = m_context.catalogue().sourceRoot();
                runModal([this, root] {
                    m_dialogs.deviceSettings(*this, root, root + "/SETUP/setup.ini");
                });
            }
            return;
        }
        default:
            return;
    }
}

void CPlayerMenuDlg::runModal(const std::function<void()>& dialog) {
    QWidget* main = WindowRegistry::instance().find(kKeyMainWindow);
    sendMessage(main, kMsgModalGuard, 0);
    dialog();
    sendMessage(main, kMsgModalGuard, 1);
}

void CPlayerMenuDlg::play() {
    if (CSkinListCtrl* list = m_context.fileList(); list != nullptr && list->currentItem()) {
        list->scrollToItem(list->currentItem());
    }
    postTo({kKeyInfoPanel, kKeyScreenSettings}, kPanePlaying);
    if (CSkinButton* playButton = button(kCmdPlay)) {
        playButton->setImageNumbers(kPauseFaceLit, kPauseFace, kPauseFaceLit);
    }
    refreshReadouts();
    m_context.engine().run();
    m_playTimer.start(100, this);
}

void CPlayerMenuDlg::pause() {
    postTo({kKeyInfoPanel, kKeyScreenSettings}, kPanePaused);
    m_playTimer.stop();
    m_context.engine().pause();
    if (CSkinButton* playButton = button(kCmdPlay)) {
        playButton->setImageNumbers(kPlayFaceLit, kPlayFace, kPlayFaceLit);
    }
}

void CPlayerMenuDlg::playOrPause() {
    media::PlaybackEngine& engine = m_context.engine();
    switch (engine.state()) {
        case media::kRunningState:
            pause();
            return;
        case media::kPausedState:
            engine.seek(static_cast<std::uint64_t>(std::max(0, m_seek->pos())));
            play();
            return;
        case media::kStoppedState:
        case media::kCreatedState:
        case media::kNoGraphState:  // a failed open left no graph: the next one makes one
            if (openFocused()) {
                m_reapply.newRecording();
            }
            return;
        default:
            return;
    }
}

void CPlayerMenuDlg::stop() {
    pause();
    m_context.engine().stop();
    m_seek->setRange(0, 0);
    m_seek->setPos(0);
    refreshReadouts();
    defaultChannels();
    postTo({kKeyScreen1, kKeyScreen2, kKeyScreen3, kKeyInfoPanel, kKeyGraph}, kPaneStop);
}

void CPlayerMenuDlg::defaultChannels() {
    for (int k = 0; k < 3; ++k) {
        m_screens[static_cast<std::size_t>(k)]->setChannel(k);
    }
    m_context.engine().setWindows(m_screens[0]->surface(), m_screens[1]->surface(),
                                  m_screens[2]->surface());
    fitFirstPane();
}

void CPlayerMenuDlg::fitFirstPane() {
    // In the fit-screen layout the large pane takes the size of the channel it shows now.
    if (m_context.layoutMode() == kLayoutFitScreen) {
        const QScreen* display = QGuiApplication::primaryScreen();
        m_screens[0]->takeLayoutMode(kLayoutFitScreen,
                                     display != nullptr ? display->geometry().size() : size());
    }
}

void CPlayerMenuDlg::step(bool back) {
    if (!runningOrPaused()) {
        return;
    }
    if (running()) {
        pause();
    }
    media::PlaybackEngine& engine = m_context.engine();
    if (back) {
        engine.stepBack(kStepBackSeconds);
    } else {
        engine.stepForward(kStepForwardSeconds);
    }
    refreshReadouts();
    play();
}

bool CPlayerMenuDlg::openFocused() {
    CSkinListCtrl* list = m_context.fileList();
    if (list == nullptr) {
        return false;
    }
    const int row = list->focusedRow();
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    const core::RecordingEntry* entry = catalogue.shownEntryAt(row);
    if (entry == nullptr) {
        return false;
    }
    media::PlaybackEngine& engine = m_context.engine();
    engine.parserOption = 0;
    // A recording with fewer cameras must not leave the last one's pictures in its panes.
    for (CScreenDlg* screen : m_screens) {
        screen->surface()->clear();
    }
    bool opened = false;
    if (catalogue.currentKind() == core::SourceKind::WyfsDrive) {
        const core::RecordingFolder* folder = catalogue.folderAt(entry->folderIndex);
        if (folder != nullptr && catalogue.cardDevice() != nullptr) {
            auto file = std::make_shared<core::CardFileSource>(
                catalogue.cardDevice(), folder->cardDirName, entry->cardName);
            opened = file->valid() && engine.openCard(file);
        }
    } else {
        const core::CompanionPaths companions = catalogue.channelFiles(*entry);
        opened = engine.open(entry->path, companions.second.value_or(std::string()),
                             companions.third.value_or(std::string()));
    }
    if (!opened) {
        const std::string reason =
            engine.openError().empty() ? entry->path + ": cannot be read" : engine.openError();
        showMessageBox(this, QStringLiteral("Cannot play %1").arg(QString::fromStdString(reason)),
                       MessageIcon::Error);
        return false;
    }
    if (running()) {
        pause();
    }
    play();
    m_seek->setRange(0, static_cast<int>(std::min<std::uint64_t>(engine.durationMs(), INT32_MAX)));
    m_path = entry->path;
    m_row = row;
    m_entry = *entry;
    for (int k = 0; k < 3; ++k) {
        engine.flipSwitch(k, m_flip[static_cast<std::size_t>(k)]);
    }
    for (int k = 0; k < 3; ++k) {
        m_screens[static_cast<std::size_t>(k)]->setChannel(k);
    }
    fitFirstPane();
    return true;
}

bool CPlayerMenuDlg::moveInList(int direction) {
    CSkinListCtrl* list = m_context.fileList();
    if (list == nullptr) {
        return false;
    }
    const int target = list->focusedRow() + direction;
    if (target < 0 || target >= list->rowCount()) {
        return false;
    }
    if (running()) {
        for (int k = 0; k < 3; ++k) {
            m_context.engine().flipSwitch(k, m_flip[static_cast<std::size_t>(k)]);
        }
        pause();
    }
    list->clearSelection();
    list->selectRow(target);
    list->setFocus();
    WindowRegistry::instance().post(kKeyInfoPanel, kMsgPaneCommand, kPaneStop);
    m_reopenTimer.start(1000, this);
    m_reapply.newRecording();
    return true;
}

void CPlayerMenuDlg::reopen() {
    m_reopenTimer.stop();
    if (runningOrPaused()) {
        stop();
    }
    media::PlaybackEngine& engine = m_context.engine();
    switch (engine.state()) {
        case media::kPausedState:
            engine.seek(static_cast<std::uint64_t>(std::max(0, m_seek->pos())));
            play();
            break;
        case media::kRunningState:
            pause();
            break;
        case media::kStoppedState:
        case media::kCreatedState:
        case media::kNoGraphState:
            if (openFocused()) {
                m_reapply.newRecording();
            }
            break;
        default:
            break;
    }
}

void CPlayerMenuDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_reopenTimer.timerId()) {
        reopen();
    } else if (event->timerId() == m_playTimer.timerId()) {
        tick();
    } else {
        PaneWindow::timerEvent(event);
    }
}

void CPlayerMenuDlg::tick() {
    media::PlaybackEngine& engine = m_context.engine();
    engine.processMessages();
    if (!engine.failure().empty() && engine.state() == media::kStoppedState) {
        reportFailure();
        return;
    }
    const std::uint64_t position = engine.positionMs();
    const std::uint64_t duration = engine.durationMs();
    for (int index : m_reapply.tick(position, m_rateSlider->pos() - 1)) {
        applyRate(index);
    }
    if (runningOrPaused()) {
        m_seek->setPos(static_cast<int>(std::min<std::uint64_t>(position, INT32_MAX)));
        emit positionShown(static_cast<qint64>(position));
        refreshReadouts();
    }
    // The last picture's time may stay a frame short of the duration: the end of the stream
    // counts as the end too.
    if (running() && ((duration > 0 && position >= duration) || engine.endOfStream())) {
        if (moveInList(1)) {
            m_playTimer.stop();
        } else {
            stop();
        }
    }
}

void CPlayerMenuDlg::reportFailure() {
    const std::string failure = m_context.engine().failure();
    stop();
    showMessageBox(this,
                   QStringLiteral("Playback of %1 stopped: %2")
                       .arg(QString::fromStdString(m_path), QString::fromStdString(failure)),
                   MessageIcon::Error);
}

void CPlayerMenuDlg::capture() {
    // The entry as it was when the recording was opened: the list may have been sorted,
    // filtered or filled from another source since.
    const core::ConfigStore& config = m_context.config();
    captureSnapshots(m_context.engine(), this, {config.filetime(), config.addpos()},
                     QString::fromStdString(m_path), m_entry ? &*m_entry : nullptr,
                     m_dialogs.snapshotName);
}

void CPlayerMenuDlg::seek(qintptr positionMs, bool exact) {
    if (positionMs != 0 || exact) {
        m_seek->setPos(static_cast<int>(std::clamp<qintptr>(positionMs, INT32_MIN, INT32_MAX)));
    }
    const int target = std::max(0, m_seek->pos());
    media::PlaybackEngine& engine = m_context.engine();
    engine.seek(static_cast<std::uint64_t>(target));
    if (running()) {
        pause();  // and on again, which refreshes the panes
        play();
        return;
    }
    if (engine.state() == media::kPausedState) {
        emit positionShown(target);
        refreshReadouts();
    }
}

void CPlayerMenuDlg::applyRate(int index) {
    m_rateIndex = std::clamp(index, 0, static_cast<int>(media::kRateTable.size()) - 1);
    const float rate = media::kRateTable[static_cast<std::size_t>(m_rateIndex)];
    m_context.engine().setRate(rate);
    m_rateText->setText(QString::fromStdString(media::rateText(rate)));
}

void CPlayerMenuDlg::applyVolume() {
    const int position = m_volume->pos();
    m_context.engine().setVolume(media::effectiveVolume(position));
    m_context.engine().setOutputLevel(media::outputLevel(position));
}

void CPlayerMenuDlg::refreshReadouts() {
    media::PlaybackEngine& engine = m_context.engine();
    if (!runningOrPaused()) {
        m_position->setText(QStringLiteral("00:00"));
        m_duration->setText(QStringLiteral("00:00"));
        return;
    }
    m_position->setText(QString::fromStdString(media::timeText(engine.positionMs())));
    m_duration->setText(QString::fromStdString(media::timeText(engine.durationMs())));
}

int CPlayerMenuDlg::captureChannel() const {
    for (int number : {3, 2, 1}) {
        if (screen(number)->selectedMark()) {
            return screen(number)->channel();
        }
    }
    return 0;
}

void CPlayerMenuDlg::switchScreens() {
    media::PlaybackEngine& engine = m_context.engine();
    const media::PlaybackGraph* graph = engine.graph();
    if (graph == nullptr || !runningOrPaused() ||
        static_cast<int>(graph->hasChannel(0)) + graph->hasChannel(1) + graph->hasChannel(2) < 2) {
        return;
    }
    CScreenDlg& first = *m_screens[0];
    CScreenDlg& second = *m_screens[1];
    CScreenDlg& third = *m_screens[2];
    const int c = first.channel();
    if (graph->hasChannel(2)) {
        static constexpr std::array<std::array<int, 3>, 3> kRotation{
            {{1, 2, 0}, {2, 0, 1}, {0, 1, 2}}};
        const auto& shown = kRotation[static_cast<std::size_t>(std::clamp(c, 0, 2))];
        for (std::size_t k = 0; k < 3; ++k) {
            m_screens[k]->setChannel(shown[k]);
        }
    } else {
        first.setChannel(c == 0 ? 1 : 0);
        second.setChannel(c == 0 ? 0 : 1);
    }
    // The surface of each channel, in channel order.
    std::array<media::VideoSurface*, 3> surfaces{third.surface(), third.surface(), third.surface()};
    for (CScreenDlg* screen : m_screens) {
        if (screen->channel() >= 0 && screen->channel() < 3) {
            surfaces[static_cast<std::size_t>(screen->channel())] = screen->surface();
        }
    }
    engine.setWindows(surfaces[0], surfaces[1], surfaces[2]);
    fitFirstPane();  // the new channel may have another size
    for (CScreenDlg* screen : m_screens) {
        screen->refreshVideo();
        screen->update();
    }
}

void CPlayerMenuDlg::flipSelected() {
    for (CScreenDlg* screen : m_screens) {
        if (!screen->selectedMark()) {
            continue;
        }
        // The picture of the selected pane turns, whichever channel it shows now.
        const int channel = screen->channel();
        if (channel < 0 || channel > 2) {
            return;
        }
        bool& flag = m_flip[static_cast<std::size_t>(channel)];
        flag = !flag;
        m_context.engine().flipSwitch(channel, flag);
        return;
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

// The control bar's buttons and keys: what each command does to playback and the panes.
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

constexpr double kStepBackSeconds = 2.0;
constexpr double kStepForwardSeconds = 1.0;
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

void CPlayerMenuDlg::runCommand(int command) {
    switch (command) {
        case kCmdPrevious:
        case kCmdNext:
            if (m_trip) {
                // Within the trip: the recording before or after the one playing.
                const auto to = command == kCmdNext ? m_trip->following(m_tripIndex)
                                                    : m_trip->preceding(m_tripIndex);
                if (to && !openTripRecording(*to, 0)) {
                    stop();
                }
                return;
            }
            moveInList(command == kCmdNext ? 1 : -1);
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
            if (m_trip) {
                seekTrip(static_cast<std::uint64_t>(std::max(0, m_seek->pos())), true);
                return;
            }
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
    endTrip();
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
    if (m_trip) {
        // Across the trip's recordings; a paused trip plays on, as a step always does.
        const std::uint64_t at = tripPositionMs();
        const std::uint64_t last = std::max<std::uint64_t>(m_trip->lengthMs(), 1) - 1;
        const auto backMs = static_cast<std::uint64_t>(kStepBackSeconds * 1000);
        const auto aheadMs = static_cast<std::uint64_t>(kStepForwardSeconds * 1000);
        seekTrip(back ? at - std::min(at, backMs) : std::min(at + aheadMs, last), true);
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

void CPlayerMenuDlg::capture() {
    // The entry as it was when the recording was opened: the list may have been sorted,
    // filtered or filled from another source since.
    const core::ConfigStore& config = m_context.config();
    captureSnapshots(m_context.engine(), this, {config.filetime(), config.addpos()},
                     QString::fromStdString(m_path), m_entry ? &*m_entry : nullptr,
                     m_dialogs.snapshotName);
}

void CPlayerMenuDlg::seek(qintptr positionMs, bool exact) {
    if (m_trip) {
        // The slider spans the trip; a target (from the graph, the map) is a moment of the
        // recording playing.
        const auto target = static_cast<std::uint64_t>(std::max<qintptr>(0, positionMs));
        seekTrip(exact ? m_trip->startMs(m_tripIndex) + target
                       : (positionMs != 0 ? target
                                          : static_cast<std::uint64_t>(std::max(0, m_seek->pos()))),
                 false);
        return;
    }
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

}  // namespace qelv::ui

// The control bar's recordings: opening the focused one, moving through the list, the timer that
// follows playback, and what happens at a recording's end or failure.
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
    endTrip();  // a recording of the list plays on its own
    media::PlaybackEngine& engine = m_context.engine();
    engine.parserOption = 0;
    if (!openEntry(*entry)) {
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
    showOwnChannels();
    return true;
}

bool CPlayerMenuDlg::openEntry(const core::RecordingEntry& entry) {
    media::PlaybackEngine& engine = m_context.engine();
    // A recording with fewer cameras must not leave the last one's pictures in its panes. The
    // last graph goes first: stopping it (as opening does) shows its first pictures again, and
    // one that came after the panes were cleared stayed in a pane the new recording leaves dark.
    engine.teardown();
    for (CScreenDlg* screen : m_screens) {
        screen->surface()->clear();
    }
    const auto sources = sourcesOf(entry);
    return sources && engine.open(*sources);
}

void CPlayerMenuDlg::showOwnChannels() {
    for (int k = 0; k < 3; ++k) {
        m_context.engine().flipSwitch(k, m_flip[static_cast<std::size_t>(k)]);
        m_screens[static_cast<std::size_t>(k)]->setChannel(k);
    }
    fitFirstPane();
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
    if (m_trip) {
        tripTick();
        return;
    }
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

void CPlayerMenuDlg::refreshReadouts() {
    media::PlaybackEngine& engine = m_context.engine();
    if (!runningOrPaused()) {
        m_position->setText(QStringLiteral("00:00"));
        m_duration->setText(QStringLiteral("00:00"));
        return;
    }
    if (m_trip) {
        const std::uint64_t length = m_trip->lengthMs();
        m_position->setText(QString::fromStdString(media::tripTimeText(tripPositionMs(), length)));
        m_duration->setText(QString::fromStdString(media::tripTimeText(length, length)));
        return;
    }
    m_position->setText(QString::fromStdString(media::timeText(engine.positionMs())));
    m_duration->setText(QString::fromStdString(media::timeText(engine.durationMs())));
}

}  // namespace qelv::ui

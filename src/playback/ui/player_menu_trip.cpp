// The control bar's trip playback: a drive's recordings played back to back, the next one cued
// while the one before plays, with the seek slider and read-outs on the trip's time.
#include <QMetaObject>

#include <algorithm>
#include <memory>
#include <utility>

#include "playback/playback_types.h"
#include "playback/ui/player_menu_dlg.h"
#include "skin/message_box.h"
#include "storage/card_file_source.h"

namespace qelv::ui {

namespace {

bool sameRecordings(const media::TripPlaylist& a, const media::TripPlaylist& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a.item(i).path != b.item(i).path) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<media::RecordingSources> CPlayerMenuDlg::sourcesOf(
    const core::RecordingEntry& entry) const {
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    if (catalogue.currentKind() == core::SourceKind::WyfsDrive) {
        const core::RecordingFolder* folder = catalogue.folderAt(entry.folderIndex);
        if (folder == nullptr || catalogue.cardDevice() == nullptr) {
            return std::nullopt;
        }
        auto file = std::make_shared<core::CardFileSource>(catalogue.cardDevice(),
                                                           folder->cardDirName, entry.cardName);
        if (!file->valid()) {
            return std::nullopt;
        }
        return media::RecordingSources{{}, std::move(file)};
    }
    const core::CompanionPaths companions = catalogue.channelFiles(entry);
    return media::RecordingSources{{entry.path, companions.second.value_or(std::string()),
                                    companions.third.value_or(std::string())},
                                   nullptr};
}

void CPlayerMenuDlg::playTrip(media::TripPlaylist trip, std::size_t index, std::uint64_t offsetMs) {
    if (m_trip && sameRecordings(*m_trip, trip) && runningOrPaused()) {
        seekTrip(m_trip->startMs(index) + offsetMs, running());
        return;
    }
    if (runningOrPaused()) {
        stop();
    }
    m_trip = std::move(trip);
    emit tripPlaying(true);
    if (!openTripRecording(index, offsetMs)) {
        endTrip();
        showMessageBox(this, QStringLiteral("None of the trip's recordings can be played."),
                       MessageIcon::Error);
    }
}

std::uint64_t CPlayerMenuDlg::tripPositionMs() {
    const std::uint64_t position = m_context.engine().positionMs();
    return m_trip ? m_trip->startMs(m_tripIndex) + position : position;
}

bool CPlayerMenuDlg::openTripRecording(std::size_t index, std::uint64_t offsetMs) {
    media::PlaybackEngine& engine = m_context.engine();
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    for (std::size_t i = index; i < m_trip->size(); ++i, offsetMs = 0) {
        const media::TripPlaylist::Item& item = m_trip->item(i);
        if (item.skipped) {
            continue;
        }
        const core::RecordingEntry* entry = catalogue.entryAt(static_cast<std::int64_t>(item.id));
        if (entry == nullptr || !openEntry(*entry)) {
            skipTripRecording(
                i, engine.openError().empty() ? "it cannot be read" : engine.openError());
            continue;
        }
        m_tripIndex = i;
        m_tripCued.reset();
        play();
        applyRate(m_rateSlider->pos() - 1);
        if (offsetMs > 0) {
            engine.seek(offsetMs);
        }
        showOwnChannels();
        tookOver();
        return true;
    }
    return false;
}

void CPlayerMenuDlg::tookOver() {
    media::PlaybackEngine& engine = m_context.engine();
    m_path = m_trip->item(m_tripIndex).path;
    m_row = -1;
    if (const core::RecordingEntry* entry = m_context.catalogue().entryAt(
            static_cast<std::int64_t>(m_trip->item(m_tripIndex).id))) {
        m_entry = *entry;
    }
    if (engine.durationMs() > 0) {  // an unknown length keeps the trip's reading
        m_trip->setLength(m_tripIndex, engine.durationMs());
    }
    m_seek->setRange(0, static_cast<int>(std::min<std::uint64_t>(m_trip->lengthMs(), INT32_MAX)));
    prepareTripAhead();
    m_seek->setPos(static_cast<int>(std::min<std::uint64_t>(tripPositionMs(), INT32_MAX)));
    emit positionShown(static_cast<qint64>(engine.positionMs()));
    refreshReadouts();
}

void CPlayerMenuDlg::prepareTripAhead() {
    core::RecordingCatalogue& catalogue = m_context.catalogue();
    for (auto next = m_trip->following(m_tripIndex); next; next = m_trip->following(*next)) {
        const media::TripPlaylist::Item& item = m_trip->item(*next);
        const core::RecordingEntry* entry = catalogue.entryAt(static_cast<std::int64_t>(item.id));
        if (const auto sources = entry != nullptr ? sourcesOf(*entry) : std::nullopt) {
            m_context.engine().prepareNext(*sources);
            m_tripCued = *next;
            return;
        }
        skipTripRecording(*next, "it cannot be read");
    }
}

void CPlayerMenuDlg::continueTrip() {
    media::PlaybackEngine& engine = m_context.engine();
    const std::optional<std::size_t> cued = std::exchange(m_tripCued, std::nullopt);
    if (cued && engine.advance()) {
        m_tripIndex = *cued;
        tookOver();
        return;
    }
    if (cued && engine.nextState() == media::PlaybackEngine::NextState::Failed) {
        skipTripRecording(*cued, engine.nextError());
    }
    const auto next = m_trip->following(m_tripIndex);
    if (!next || !openTripRecording(*next, 0)) {
        stop();  // the trip's last recording ended
    }
}

void CPlayerMenuDlg::tripTick() {
    media::PlaybackEngine& engine = m_context.engine();
    engine.processMessages();
    if (!engine.failure().empty() && engine.state() == media::kStoppedState) {
        // A recording that fails while it plays is passed over: the trip goes on.
        skipTripRecording(m_tripIndex, engine.failure());
        const auto next = m_trip->following(m_tripIndex);
        if (!next || !openTripRecording(*next, 0)) {
            stop();
        }
        return;
    }
    if (running() && engine.endOfStream()) {
        continueTrip();
        return;
    }
    if (runningOrPaused()) {
        m_seek->setPos(static_cast<int>(std::min<std::uint64_t>(tripPositionMs(), INT32_MAX)));
        emit positionShown(static_cast<qint64>(engine.positionMs()));
        refreshReadouts();
    }
}

void CPlayerMenuDlg::seekTrip(std::uint64_t tripMs, bool thenPlay) {
    const auto place = m_trip->locate(tripMs);
    if (!place) {
        return;
    }
    media::PlaybackEngine& engine = m_context.engine();
    if (place->index != m_tripIndex || !runningOrPaused()) {
        if (!openTripRecording(place->index, place->offsetMs)) {  // plays
            stop();  // nothing from there on plays: the trip is over
        }
        return;
    }
    m_seek->setPos(static_cast<int>(std::min<std::uint64_t>(tripMs, INT32_MAX)));
    engine.seek(place->offsetMs);
    if (running()) {
        pause();  // and on again, which refreshes the panes
        play();
    } else if (thenPlay) {
        play();
    } else {
        emit positionShown(static_cast<qint64>(place->offsetMs));
        refreshReadouts();
    }
}

void CPlayerMenuDlg::skipTripRecording(std::size_t index, const std::string& reason) {
    m_trip->skip(index);
    m_seek->setRange(0, static_cast<int>(std::min<std::uint64_t>(m_trip->lengthMs(), INT32_MAX)));
    emit recordingSkipped(QString::fromStdString(m_trip->item(index).path),
                          QString::fromStdString(reason));
}

void CPlayerMenuDlg::endTrip() {
    if (m_trip) {
        m_trip.reset();
        m_tripCued.reset();
        emit tripPlaying(false);
    }
}

}  // namespace qelv::ui

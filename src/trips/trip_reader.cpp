#include "trips/trip_reader.h"

#include <utility>

#include "events/recording_track.h"
#include "storage/recording_name.h"

namespace qelv::trips {

TripReader::~TripReader() {
    stop();
}

void TripReader::start(std::vector<SourceRecording> recordings,
                       const events::Thresholds& thresholds, std::int64_t joinGapMs) {
    stop();
    {
        const std::lock_guard guard(m_lock);
        m_store.reset();
    }
    m_total = recordings.size();
    m_done = 0;
    m_cancel = false;
    m_running = true;
    m_worker = std::thread(&TripReader::run, this, std::move(recordings), thresholds, joinGapMs);
}

void TripReader::stop() {
    m_cancel = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_running = false;
}

std::optional<TripStore> TripReader::takeStore() {
    const std::lock_guard guard(m_lock);
    return std::exchange(m_store, std::nullopt);
}

void TripReader::run(std::vector<SourceRecording> recordings, events::Thresholds thresholds,
                     std::int64_t joinGapMs) {
    TripStore store;
    store.inputs.reserve(recordings.size());
    store.recordings.reserve(recordings.size());
    for (SourceRecording& recording : recordings) {
        if (m_cancel) {
            m_running = false;
            return;
        }
        // Only the normal recordings make the drive; of the others only the start counts.
        RecordingTrace trace;
        if (core::parseRecordingName(recording.fileName).listCategory ==
            core::RecordingCategory::Normal) {
            trace = recordingTrace(events::readRecordingTrack(recording.where), thresholds);
        }
        store.inputs.push_back(
            {recording.fileName, trace.facts.durationMs, trace.facts.unfinished});
        store.recordings.push_back({recording.id, std::move(recording.path), std::move(trace)});
        ++m_done;
    }
    store.trips = buildTrips(store.inputs, joinGapMs);
    {
        const std::lock_guard guard(m_lock);
        m_store = std::move(store);
    }
    m_running = false;
}

}  // namespace qelv::trips

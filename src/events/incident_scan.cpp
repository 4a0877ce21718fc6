#include "events/incident_scan.h"

#include <algorithm>
#include <utility>

#include "events/recording_track.h"

namespace qelv::events {

IncidentScan::~IncidentScan() {
    stop();
}

void IncidentScan::start(std::vector<ScanTarget> targets, const Thresholds& thresholds) {
    stop();
    {
        const std::lock_guard guard(m_lock);
        m_found.clear();
    }
    m_total = targets.size();
    m_done = 0;
    m_skipped = 0;
    m_complete = false;
    m_cancel = false;
    m_running = true;
    m_worker = std::thread(&IncidentScan::run, this, std::move(targets), thresholds);
}

void IncidentScan::stop() {
    m_cancel = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_running = false;
}

std::vector<ScannedIncident> IncidentScan::takeFound() {
    const std::lock_guard guard(m_lock);
    return std::exchange(m_found, {});
}

void IncidentScan::run(std::vector<ScanTarget> targets, Thresholds thresholds) {
    for (const ScanTarget& target : targets) {
        if (m_cancel) {
            m_running = false;
            return;
        }
        const RecordingTrack track = readRecordingTrack(target.where);
        if (!track.problem.empty()) {
            ++m_skipped;
        } else {
            std::vector<Incident> incidents = findIncidents(track.fixes, track.samples, thresholds);
            if (incidents.size() > kMostIncidentsPerRecording) {
                std::partial_sort(incidents.begin(), incidents.begin() + kMostIncidentsPerRecording,
                                  incidents.end(), [](const Incident& a, const Incident& b) {
                                      return a.severity > b.severity;
                                  });
                incidents.resize(kMostIncidentsPerRecording);
            }
            std::vector<ScannedIncident> found;
            for (const Incident& incident : incidents) {
                found.push_back({target.id, incident, track.unfinished});
            }
            const std::lock_guard guard(m_lock);
            m_found.insert(m_found.end(), found.begin(), found.end());
        }
        ++m_done;
    }
    m_complete = true;
    m_running = false;
}

}  // namespace qelv::events

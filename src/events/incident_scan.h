// Finds the incidents of many recordings (a whole card) on a worker thread, so that the
// viewer's list stays usable: it takes what was found so far whenever it looks, sees how far
// the scan went, and can stop it at any time. Only reads; a recording that cannot be read is
// counted as skipped.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "events/incident_detector.h"
#include "telemetry/telemetry_files.h"

namespace qelv::events {

// One recording to scan: the caller's number for it and where its bytes are.
struct ScanTarget {
    std::size_t id = 0;
    core::RecordingLocation where;
};

// The most incidents kept of one recording, its most severe: a real drive has a handful; a
// hostile file with thousands would only bury the others.
inline constexpr std::size_t kMostIncidentsPerRecording = 100;

struct ScannedIncident {
    std::size_t id = 0;  // the target's
    Incident incident;
    bool unfinished = false;  // read through the sample walk: its index was never written
};

class IncidentScan {
public:
    IncidentScan() = default;
    // Stops a scan under way and waits for it.
    ~IncidentScan();
    IncidentScan(const IncidentScan&) = delete;
    IncidentScan& operator=(const IncidentScan&) = delete;

    // Stops any scan under way, forgets what it found, and scans `targets` in their order.
    // The targets' card, if any, must stay open until the scan ended or was stopped.
    void start(std::vector<ScanTarget> targets, const Thresholds& thresholds);
    // Asks the scan to end after the recording it is reading and waits for it (a recording
    // takes milliseconds). What was found stays to be taken.
    void stop();

    // What was found since the last call, in scan order. Any thread.
    std::vector<ScannedIncident> takeFound();
    std::size_t total() const { return m_total; }
    std::size_t done() const { return m_done.load(); }
    std::size_t skipped() const { return m_skipped.load(); }
    // Every target was read (the scan was not stopped before its end).
    bool complete() const { return m_complete.load(); }
    bool running() const { return m_running.load(); }

private:
    void run(std::vector<ScanTarget> targets, Thresholds thresholds);

    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_complete{false};
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_skipped{0};
    std::size_t m_total = 0;
    std::mutex m_lock;
    std::vector<ScannedIncident> m_found;
};

}  // namespace qelv::events

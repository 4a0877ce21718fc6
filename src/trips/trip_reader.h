// Reads the trips of a whole source (a card, a folder) on a worker thread, so that the viewer
// stays usable while a day's recordings are read: each recording's facts and traces once, then
// the trips they make. The caller sees how far it went, can stop it at any time, and takes the
// trips once every recording was read. Only reads; a recording that cannot be read is kept
// with its problem and never splits a trip.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "telemetry/telemetry_files.h"
#include "trips/trip_builder.h"
#include "trips/trip_traces.h"

namespace qelv::trips {

// One recording to read: the caller's number for it, its front file's name and path, and
// where its bytes are.
struct SourceRecording {
    std::size_t id = 0;
    std::string fileName;
    std::string path;
    core::RecordingLocation where;
};

// What was read: recordings[i] (with its trace) belongs to inputs[i]; the trips index both.
struct TripStore {
    struct Recording {
        std::size_t id = 0;
        std::string path;
        RecordingTrace trace;
    };
    std::vector<TripInput> inputs;
    std::vector<Recording> recordings;
    std::vector<Trip> trips;
};

class TripReader {
public:
    TripReader() = default;
    // Stops a read under way and waits for it.
    ~TripReader();
    TripReader(const TripReader&) = delete;
    TripReader& operator=(const TripReader&) = delete;

    // Stops any read under way, forgets what it read, and reads `recordings` in their order.
    // The recordings' card, if any, must stay open until the read ended or was stopped.
    void start(std::vector<SourceRecording> recordings, const events::Thresholds& thresholds,
               std::int64_t joinGapMs = kDefaultJoinGapMs);
    // Asks the read to end after the recording it is reading and waits for it (a recording
    // takes milliseconds). Nothing is kept of a read stopped before its end.
    void stop();

    // The store, once, after every recording was read; nothing before. Any thread.
    std::optional<TripStore> takeStore();
    std::size_t total() const { return m_total; }
    std::size_t done() const { return m_done.load(); }
    bool running() const { return m_running.load(); }

private:
    void run(std::vector<SourceRecording> recordings, events::Thresholds thresholds,
             std::int64_t joinGapMs);

    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    std::atomic<std::size_t> m_done{0};
    std::size_t m_total = 0;
    std::mutex m_lock;
    std::optional<TripStore> m_store;
};

}  // namespace qelv::trips

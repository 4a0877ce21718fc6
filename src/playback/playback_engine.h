// The playback engine the control bar and the panes drive: one graph at a time, opened for a
// recording, with the viewer's results for every operation (HRESULT style where the control
// bar looks at them).
//
// Threads: every operation runs on one thread, the engine's (the viewer's main thread), except
// state(), which any thread may call (the telemetry reader polls it). GStreamer's threads only
// hand pictures to the surfaces and messages to the engine's queue.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback/playback_graph.h"

namespace qelv::media {

class PlaybackEngine {
public:
    PlaybackEngine();
    ~PlaybackEngine();

    // The three panes; creates the first (empty) graph object, state 3.
    void initialise(VideoSurface* pane1, VideoSurface* pane2, VideoSurface* pane3);

    // Opens a recording (path 2 and 3 may be empty). False when pane 1 is missing, path 1 is
    // empty or channel 1 cannot be loaded; then no graph is left and openError() names the
    // file and the reason. Rear and third files that are missing or fail to load leave those
    // channels out (leftOut() says which and why).
    bool open(const std::string& path1, const std::string& path2 = {},
              const std::string& path3 = {});
    // The same for a WyFS recording: one AVI read through `file`.
    bool openCard(std::shared_ptr<core::ByteSource> file);
    bool open(const RecordingSources& sources);

    // Recordings back to back without a gap: the next recording is built and cued on a worker
    // thread while this one plays (its first pictures kept from the panes), and at this one's
    // end advance() puts it in this one's place and runs it at once, with this one's rate,
    // volume, picture settings, zoom and panes. A later prepareNext replaces an earlier one;
    // opening, teardown and detach drop it.
    void prepareNext(const RecordingSources& sources);
    enum class NextState { None, Building, Ready, Failed };
    NextState nextState() const;
    // Why the prepared recording could not be cued (NextState::Failed).
    std::string nextError() const;
    // What was prepared, while something is.
    std::optional<RecordingSources> nextSources() const;
    // Waits for the prepared recording, then swaps it in and runs it. False (and nothing
    // changed) when none was prepared or it failed.
    bool advance();
    // Called on a GStreamer thread whenever a message was queued for processMessages, so the
    // caller can handle a recording's end at once rather than at its next poll. Set it while
    // no recording is open.
    void setWake(std::function<void()> wake) { m_wake = std::move(wake); }

    std::int32_t run();    // -1 no graph; kWrongState unless paused or stopped
    std::int32_t pause();  // -1 no graph; 0 and nothing done unless running
    // Pause, then stop; true without a graph. A stopped recording has no position: it reports 0
    // and plays from the start again unless it is sought elsewhere first.
    bool stop();
    bool setRate(float rate);
    // Returns once the new position is cued (and a running recording runs again), so whatever
    // is called next starts from it; of two seeks the last one wins. True without a graph.
    bool seek(std::uint64_t positionMs);
    bool stepBack(double seconds);
    bool stepForward(double seconds);
    // Where playback is while running or paused; 0 without a graph, stopped or not yet run.
    std::uint64_t positionMs();
    std::uint64_t durationMs();
    // 0 running, 1 paused, 2 stopped, 3 created, -1 without a graph object. Thread-safe.
    std::int32_t state() const { return m_state.load(std::memory_order_acquire); }
    float rate() const { return m_rate; }
    bool setVolume(std::int32_t percent);
    // The sound output's stream volume as a 16-bit level (0 to 65535), kept for later
    // recordings too.
    void setOutputLevel(std::uint16_t level);
    std::uint16_t outputLevel() const { return m_outputLevel; }

    // Zoom of channel `index` (0 to 3) shown in `surface`: 0 when applied, 1 when not.
    std::int32_t shrink(int index, VideoSurface* surface);
    std::int32_t enlarge(int index, VideoSurface* surface);
    std::int32_t resetZoom(int index, VideoSurface* surface);
    void placeWithOffset(int index, VideoSurface* surface, std::int32_t a, std::int32_t b);
    std::int32_t zoom(int index) const { return m_zoom[static_cast<std::size_t>(index)]; }

    std::int32_t repaint(int index);
    std::int32_t repaintAll();
    void setWindows(VideoSurface* s1, VideoSurface* s2, VideoSurface* s3);
    std::pair<std::int32_t, std::int32_t> nativeSize(int index) const;
    // The channel's current picture; true also without a graph (nothing made then).
    bool snapshot(int index, Snapshot& out) const;
    std::int32_t flipSwitch(int index, bool on);
    std::int32_t decoderSettingAll(std::int32_t setting, std::int32_t value);

    void teardown();
    // A surface going away (its pane is destroyed): a recording drawing on it is torn down and
    // the surface is forgotten; a surface the engine does not draw on changes nothing. The main
    // window tears the engine down before its panes go, so there this finds nothing to do.
    void detach(VideoSurface* surface);

    // Bus messages of the current graph, handled on the engine's thread; messages of a graph
    // that was torn down are dropped. Returns how many were handled.
    //
    // An error of a rear or third channel (or of the sound) while playing ends that branch and
    // the rest plays on; an error of the front channel ends playback: the graph pauses, the
    // state becomes 2 (stopped) and failure() holds the element's message. An end of stream
    // more than a second before the duration (a file cut short while it played) is such a
    // failure too.
    int processMessages();
    bool endOfStream() const { return m_endOfStream; }
    const std::string& failure() const { return m_failure; }
    const std::string& openError() const { return m_openError; }
    // Channels and sound left out when the recording was opened or that failed since.
    const std::vector<std::string>& leftOut() const { return m_leftOut; }
    // What the open recording was opened from (empty while none is open): the telemetry
    // reader reads the front file's text track from it.
    const RecordingSources& openedSources() const { return m_opened; }
    std::uint64_t generation() const { return m_generation; }
    // For tests: queues a message as if a graph of `generation` had sent it.
    void queueEndOfStream(std::uint64_t generation);

    const PlaybackGraph* graph() const { return m_graph.get(); }
    // Renders as fast as the decoders go (benchmarks, `qelv play --no-sync`); for later opens.
    void setSynchronised(bool synchronised) { m_synchronised = synchronised; }
    // Which H.264 decoders may play the cameras (hardware where there is one, or software
    // only); for later opens.
    void setDecoderPreference(DecoderPreference preference) { m_preference = preference; }
    std::uint8_t parserOption = 1;

private:
    struct Next;
    void dropNext();
    std::unique_ptr<PlaybackGraph> makeGraph(std::uint64_t generation);
    std::uint64_t graphPositionMs() const;  // the pipeline's position, whatever the state
    void placeChannel(int index, VideoSurface* surface, Rect rect);

    std::array<VideoSurface*, 4> m_windows{};
    std::int32_t m_paneCount = 0;
    std::array<std::int32_t, 4> m_zoom{};
    bool m_hasGraphObject = false;
    std::unique_ptr<PlaybackGraph> m_graph;
    void setState(std::int32_t state) { m_state.store(state, std::memory_order_release); }
    void handle(const BusEvent& event);
    void fail(const std::string& reason);

    std::atomic<std::int32_t> m_state{kNoGraphState};
    float m_rate = 1.0f;
    std::uint64_t m_durationMs = 0;
    std::uint64_t m_generation = 0;
    bool m_endOfStream = false;
    bool m_rewind = false;  // stopped: the next run starts from the beginning
    std::string m_failure;
    std::string m_openError;
    std::vector<std::string> m_leftOut;
    RecordingSources m_opened;
    double m_gain = 1.0;
    std::uint16_t m_outputLevel = 0xFFFF;
    bool m_synchronised = true;
    DecoderPreference m_preference = DecoderPreference::Auto;

    struct Message {
        std::uint64_t generation;
        BusEvent event;
    };
    std::mutex m_queueLock;
    std::deque<Message> m_queue;
    std::function<void()> m_wake;
    std::uint64_t m_issued = 0;  // the last generation handed to a graph
    std::unique_ptr<Next> m_next;
};

}  // namespace qelv::media

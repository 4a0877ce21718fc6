#include "playback/playback_engine.h"

#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "playback/picture_geometry.h"

namespace qelv::media {

namespace {
constexpr std::int64_t kNsPerMs = 1'000'000;
// An end of stream this far before the duration is a file cut short, not the end.
constexpr std::uint64_t kEarlyEndMs = 1000;
}  // namespace

// A recording being cued for advance(): built on its own thread, which has ended once `done`
// is set.
struct PlaybackEngine::Next {
    RecordingSources sources;
    std::uint64_t generation = 0;
    std::unique_ptr<PlaybackGraph> graph;
    std::thread worker;
    std::atomic<bool> done{false};
    int loaded = 0;
    std::string error;
    ~Next() {
        if (worker.joinable()) {
            worker.join();
        }
    }
};

PlaybackEngine::PlaybackEngine() = default;

PlaybackEngine::~PlaybackEngine() {
    teardown();
}

void PlaybackEngine::initialise(VideoSurface* pane1, VideoSurface* pane2, VideoSurface* pane3) {
    m_windows = {pane1, pane2, pane3, nullptr};
    m_paneCount = 4;
    if (!m_hasGraphObject) {
        m_hasGraphObject = true;
        setState(static_cast<std::int32_t>(GraphState::Created));
        m_rate = 1.0f;
    }
}

bool PlaybackEngine::open(const std::string& path1, const std::string& path2,
                          const std::string& path3) {
    if (path1.empty()) {
        m_openError = "no front file given";
        return false;
    }
    return open(RecordingSources{{path1, path2, path3}, nullptr});
}

bool PlaybackEngine::openCard(std::shared_ptr<core::ByteSource> file) {
    if (!file) {
        return false;
    }
    return open(RecordingSources{{}, std::move(file)});
}

std::unique_ptr<PlaybackGraph> PlaybackEngine::makeGraph(std::uint64_t generation) {
    auto graph = std::make_unique<PlaybackGraph>(generation,
                                                 [this](std::uint64_t from, const BusEvent& event) {
                                                     {
                                                         const std::lock_guard guard(m_queueLock);
                                                         m_queue.push_back({from, event});
                                                     }
                                                     if (m_wake) {
                                                         m_wake();
                                                     }
                                                 });
    graph->setSynchronised(m_synchronised);
    graph->setDecoderPreference(m_preference);
    return graph;
}

bool PlaybackEngine::open(const RecordingSources& sources) {
    m_openError.clear();
    if (m_windows[0] == nullptr) {
        m_openError = "no pane to show the front camera in";
        return false;
    }
    if (m_hasGraphObject && pause() >= 0 && m_graph) {
        stop();
    }
    teardown();
    m_hasGraphObject = true;
    setState(static_cast<std::int32_t>(GraphState::Created));
    m_rate = 1.0f;
    m_durationMs = 0;
    m_endOfStream = false;
    m_rewind = false;
    m_failure.clear();
    m_leftOut.clear();
    m_generation = ++m_issued;
    m_graph = makeGraph(m_generation);
    const int loaded = m_graph->build(sources, {m_windows[0], m_windows[1], m_windows[2]});
    m_leftOut = m_graph->leftOut();
    if (loaded == 0) {
        m_openError = m_graph->error();
        teardown();
        return false;
    }
    m_graph->setVolume(m_gain);
    m_graph->setOutputVolume(m_outputLevel / 65535.0);
    setState(static_cast<std::int32_t>(GraphState::Stopped));
    (void)durationMs();  // cached for the control bar's timer
    m_opened = sources;
    return true;
}

std::int32_t PlaybackEngine::run() {
    if (!m_hasGraphObject) {
        return kNoGraph;
    }
    if (m_state != static_cast<std::int32_t>(GraphState::Paused) &&
        m_state != static_cast<std::int32_t>(GraphState::Stopped)) {
        return kWrongState;
    }
    if (!m_graph) {
        return kNoGraph;
    }
    processMessages();
    m_failure.clear();
    const std::uint64_t duration = durationMs();
    if (m_rewind || m_endOfStream || (duration != 0 && graphPositionMs() >= duration)) {
        m_graph->seekNs(0, 1.0);
        m_endOfStream = false;
        m_rewind = false;
    }
    if (m_rate != 1.0f) {
        m_rate = std::clamp(m_rate, 0.5f, 2.0f);
    }
    if (!m_graph->play(m_rate)) {
        return kNoGraph;
    }
    setState(static_cast<std::int32_t>(GraphState::Running));
    return kOk;
}

std::int32_t PlaybackEngine::pause() {
    if (!m_hasGraphObject) {
        return kNoGraph;
    }
    if (m_state != static_cast<std::int32_t>(GraphState::Running)) {
        return kOk;
    }
    if (m_graph) {
        m_graph->pause();
    }
    setState(static_cast<std::int32_t>(GraphState::Paused));
    return kOk;
}

bool PlaybackEngine::stop() {
    if (!m_hasGraphObject) {
        return true;
    }
    const std::int32_t paused = pause();
    if (m_state != static_cast<std::int32_t>(GraphState::Running) &&
        m_state != static_cast<std::int32_t>(GraphState::Paused)) {
        return false;  // the graph-level stop refuses every other state
    }
    setState(static_cast<std::int32_t>(GraphState::Stopped));
    m_rewind = true;
    return paused >= 0;
}

bool PlaybackEngine::setRate(float rate) {
    if (!m_hasGraphObject || !m_graph) {
        return false;
    }
    const std::int32_t before = m_state;
    pause();
    m_rate = rate;
    if (before == static_cast<std::int32_t>(GraphState::Running)) {
        run();
    }
    return true;
}

bool PlaybackEngine::seek(std::uint64_t positionMs) {
    if (!m_graph) {
        return true;
    }
    m_endOfStream = false;
    m_rewind = false;  // a stopped recording starts where it was sought to
    const double rate = m_state == static_cast<std::int32_t>(GraphState::Running)
                            ? std::clamp(m_rate, 0.5f, 2.0f)
                            : 1.0;
    return m_graph->seekNs(static_cast<std::int64_t>(positionMs) * kNsPerMs, rate);
}

bool PlaybackEngine::stepBack(double seconds) {
    if (!m_graph || (m_state != static_cast<std::int32_t>(GraphState::Running) &&
                     m_state != static_cast<std::int32_t>(GraphState::Paused))) {
        return false;
    }
    const auto back = static_cast<std::int64_t>(seconds * 1000.0);
    const auto position = static_cast<std::int64_t>(graphPositionMs());
    return seek(static_cast<std::uint64_t>(std::max<std::int64_t>(0, position - back)));
}

bool PlaybackEngine::stepForward(double seconds) {
    if (!m_graph || (m_state != static_cast<std::int32_t>(GraphState::Running) &&
                     m_state != static_cast<std::int32_t>(GraphState::Paused))) {
        return false;
    }
    const auto ahead = static_cast<std::uint64_t>(std::max(0.0, seconds) * 1000.0);
    return seek(std::min(graphPositionMs() + ahead, durationMs()));
}

std::uint64_t PlaybackEngine::positionMs() {
    const std::int32_t state = m_state.load(std::memory_order_acquire);
    return state == kRunningState || state == kPausedState ? graphPositionMs() : 0;
}

std::uint64_t PlaybackEngine::graphPositionMs() const {
    return m_graph ? static_cast<std::uint64_t>(m_graph->positionNs() / kNsPerMs) : 0;
}

std::uint64_t PlaybackEngine::durationMs() {
    if (!m_graph) {
        return 0;
    }
    if (m_durationMs == 0) {
        m_durationMs = static_cast<std::uint64_t>(m_graph->durationNs() / kNsPerMs);
    }
    return m_durationMs;
}

bool PlaybackEngine::setVolume(std::int32_t percent) {
    m_gain = gainOfLevel(volumeLevel(std::clamp(percent, 0, 100)));
    if (m_graph) {
        m_graph->setVolume(m_gain);
    }
    return true;
}

void PlaybackEngine::setOutputLevel(std::uint16_t level) {
    m_outputLevel = level;
    if (m_graph) {
        m_graph->setOutputVolume(level / 65535.0);
    }
}

void PlaybackEngine::placeChannel(int index, VideoSurface* surface, Rect rect) {
    if (m_graph && index >= 0 && index < 3) {
        if (surface != nullptr && m_graph->surface(index) != surface) {
            m_graph->setSurface(index, surface);
        }
        m_graph->setDestination(index, rect);
    }
}

std::int32_t PlaybackEngine::shrink(int index, VideoSurface* surface) {
    if (!m_graph || !m_graph->hasChannel(index) || surface == nullptr ||
        !shrinkZoom(m_zoom[static_cast<std::size_t>(index)])) {
        return 1;
    }
    placeChannel(index, surface, zoomedRect(zoom(index), surface->width(), surface->height()));
    return 0;
}

std::int32_t PlaybackEngine::enlarge(int index, VideoSurface* surface) {
    if (!m_graph || !m_graph->hasChannel(index) || surface == nullptr ||
        !enlargeZoom(m_zoom[static_cast<std::size_t>(index)])) {
        return 1;
    }
    placeChannel(index, surface, zoomedRect(zoom(index), surface->width(), surface->height()));
    return 0;
}

std::int32_t PlaybackEngine::resetZoom(int index, VideoSurface* surface) {
    if (!m_graph || !m_graph->hasChannel(index) || surface == nullptr) {
        return 1;
    }
    m_zoom[static_cast<std::size_t>(index)] = 0;
    placeChannel(index, surface, zoomedRect(0, surface->width(), surface->height()));
    return 0;
}

void PlaybackEngine::placeWithOffset(int index, VideoSurface* surface, std::int32_t a,
                                     std::int32_t b) {
    if (m_graph && m_graph->hasChannel(index) && surface != nullptr) {
        placeChannel(index, surface,
                     offsetRect(zoom(index), surface->width(), surface->height(), a, b));
    }
}

std::int32_t PlaybackEngine::repaint(int index) {
    if (!m_graph || index < 0 || index > 2 || m_graph->surface(index) == nullptr) {
        return 0;
    }
    // The picture is redrawn where it is placed now (zoomed, dragged or just re-targeted).
    if (const auto frame = m_graph->lastFrame(index)) {
        m_graph->surface(index)->present(frame, m_graph->destination(index));
    }
    return 1;
}

std::int32_t PlaybackEngine::repaintAll() {
    std::int32_t last = 0;
    for (int k = 0; k < 3; ++k) {
        if (m_graph && m_graph->hasChannel(k) && m_graph->surface(k) != nullptr) {
            VideoSurface* surface = m_graph->surface(k);
            m_graph->setDestination(k, {0, 0, surface->width(), surface->height()});
            last = repaint(k);
        }
    }
    return last;
}

void PlaybackEngine::setWindows(VideoSurface* s1, VideoSurface* s2, VideoSurface* s3) {
    const std::array<VideoSurface*, 3> surfaces{s1, s2, s3};
    for (int k = 0; k < 3; ++k) {
        if (m_graph && m_graph->hasChannel(k)) {
            m_graph->setSurface(k, surfaces[static_cast<std::size_t>(k)]);
            repaint(k);
        }
    }
}

std::pair<std::int32_t, std::int32_t> PlaybackEngine::nativeSize(int index) const {
    return m_graph ? m_graph->nativeSize(index) : std::pair{0, 0};
}

bool PlaybackEngine::snapshot(int index, Snapshot& out) const {
    if (!m_graph) {
        return true;
    }
    if (index < 0 || index > 2 || index + 1 > m_paneCount) {
        return false;
    }
    const auto frame = m_graph->lastFrame(index);
    return frame && toBgra(*frame, out);
}

std::int32_t PlaybackEngine::flipSwitch(int index, bool on) {
    if (!m_graph || !m_graph->hasChannel(index)) {
        return -1;
    }
    DecoderSettings& settings = m_graph->settings(index);
    settings.set(kFlipSwitch, 1);
    const std::int32_t result = settings.set(kFlipVertical, on ? 1 : 0);
    m_graph->applySettings(index);
    return result;
}

std::int32_t PlaybackEngine::decoderSettingAll(std::int32_t setting, std::int32_t value) {
    std::int32_t result = -1;
    int lastFound = -1;
    for (int slot = 0; slot < 4; ++slot) {
        const int k = m_graph && slot < 3 && m_graph->hasChannel(slot) ? slot : lastFound;
        if (k < 0) {
            continue;
        }
        lastFound = k;
        DecoderSettings& settings = m_graph->settings(k);
        (void)settings.get(setting);
        settings.set(kPictureSettingsOn, 1);
        result = settings.set(setting, value);
        m_graph->applySettings(k);
    }
    return result;
}

void PlaybackEngine::prepareNext(const RecordingSources& sources) {
    dropNext();
    auto next = std::make_unique<Next>();
    next->sources = sources;
    next->generation = ++m_issued;
    next->graph = makeGraph(next->generation);
    // Cued with this recording's picture settings: the pictures it holds ready are made with them.
    for (int k = 0; k < 3; ++k) {
        if (m_graph) {
            next->graph->settings(k) = m_graph->settings(k);
        }
    }
    // Cued at the rate playing now, so that the hand-over needs no seek.
    const double rate = std::clamp(m_rate, 0.5f, 2.0f);
    next->worker = std::thread([n = next.get(), rate] {
        // No surfaces yet: the first pictures are kept, not shown, until advance().
        n->loaded = n->graph->build(n->sources, {nullptr, nullptr, nullptr});
        if (n->loaded == 0) {
            n->error = n->graph->error();
        } else if (rate != 1.0 && !n->graph->seekNs(0, rate)) {
            n->loaded = 0;
            n->error = "it could not be cued at the rate playing";
        }
        n->done.store(true, std::memory_order_release);
    });
    m_next = std::move(next);
}

PlaybackEngine::NextState PlaybackEngine::nextState() const {
    if (!m_next) {
        return NextState::None;
    }
    if (!m_next->done.load(std::memory_order_acquire)) {
        return NextState::Building;
    }
    return m_next->loaded > 0 ? NextState::Ready : NextState::Failed;
}

std::string PlaybackEngine::nextError() const {
    return nextState() == NextState::Failed ? m_next->error : std::string();
}

std::optional<RecordingSources> PlaybackEngine::nextSources() const {
    return m_next ? std::optional(m_next->sources) : std::nullopt;
}

void PlaybackEngine::dropNext() {
    m_next.reset();  // waits for its build
}

bool PlaybackEngine::advance() {
    if (!m_next || !m_graph) {
        return false;
    }
    if (m_next->worker.joinable()) {
        m_next->worker.join();
    }
    if (m_next->loaded == 0) {
        return false;
    }
    const std::unique_ptr<Next> next = std::move(m_next);
    PlaybackGraph& graph = *next->graph;
    // The panes, the zoom and pan, and the picture settings of this recording's channels go
    // over to the next one's. Pictures it made ready with settings changed since are made again.
    bool recue = false;
    for (int k = 0; k < 3; ++k) {
        if (graph.hasChannel(k) && !(graph.settings(k) == m_graph->settings(k))) {
            recue = true;
        }
    }
    const double rate = std::clamp(m_rate, 0.5f, 2.0f);
    for (int k = 0; k < 3; ++k) {
        if (!graph.hasChannel(k)) {
            continue;
        }
        VideoSurface* surface = m_graph->surface(k);
        if (surface == nullptr) {
            surface = m_windows[static_cast<std::size_t>(k)];
        }
        graph.setSurface(k, surface);
        if (m_graph->hasChannel(k) && surface != nullptr) {
            graph.setDestination(k, m_graph->destination(k));
        }
        graph.settings(k) = m_graph->settings(k);
        graph.applySettings(k);
    }
    graph.setVolume(m_gain);
    graph.setOutputVolume(m_outputLevel / 65535.0);
    if (recue) {
        graph.seekNs(0, rate);
    }
    const bool running = m_state == static_cast<std::int32_t>(GraphState::Running);
    std::unique_ptr<PlaybackGraph> ended = std::move(m_graph);
    m_graph = std::move(next->graph);
    m_generation = next->generation;
    m_durationMs = 0;
    m_endOfStream = false;
    m_rewind = false;
    m_failure.clear();
    m_leftOut = m_graph->leftOut();
    m_opened = next->sources;
    if (running) {
        m_graph->play(rate);
    } else {
        setState(static_cast<std::int32_t>(GraphState::Paused));
        for (int k = 0; k < 3; ++k) {
            repaint(k);  // the first pictures, kept while it was cued
        }
    }
    ended.reset();  // after the next one runs: its end takes a few milliseconds
    (void)durationMs();
    return true;
}

void PlaybackEngine::teardown() {
    dropNext();
    m_graph.reset();
    m_opened = {};
    m_hasGraphObject = false;
    setState(kNoGraphState);
    m_durationMs = 0;
    const std::lock_guard guard(m_queueLock);
    m_queue.clear();
}

void PlaybackEngine::detach(VideoSurface* surface) {
    // Only a graph that draws on the surface goes with it: a one-camera recording plays on
    // when the third pane goes away.
    bool drawnOn = false;
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        if (surface != nullptr && m_windows[i] == surface) {
            m_windows[i] = nullptr;
            const int channel = static_cast<int>(i);
            if (m_graph && channel < 3) {
                drawnOn = drawnOn || m_graph->hasChannel(channel);
                m_graph->setSurface(channel, nullptr);
            }
        }
    }
    if (drawnOn) {
        teardown();
    }
}

int PlaybackEngine::processMessages() {
    std::deque<Message> pending;
    {
        const std::lock_guard guard(m_queueLock);
        pending.swap(m_queue);
    }
    int handled = 0;
    std::deque<Message> cued;
    for (const Message& message : pending) {
        if (m_next && message.generation == m_next->generation) {
            cued.push_back(message);  // the recording cued to follow: handled once it plays
            continue;
        }
        if (message.generation != m_generation || !m_graph) {
            continue;  // from a graph that is gone
        }
        handle(message.event);
        ++handled;
    }
    if (!cued.empty()) {
        const std::lock_guard guard(m_queueLock);
        m_queue.insert(m_queue.begin(), cued.begin(), cued.end());
    }
    return handled;
}

void PlaybackEngine::handle(const BusEvent& event) {
    if (event.kind == BusEvent::Kind::EndOfStream) {
        // A file cut short while it plays (the card pulled, the file shrunk) ends its stream
        // early instead of failing: that is no end of the recording.
        const std::uint64_t duration = durationMs();
        const std::uint64_t position = graphPositionMs();
        if (duration > kEarlyEndMs && position + kEarlyEndMs < duration) {
            fail("the recording ended at " + std::to_string(position) + " ms of " +
                 std::to_string(duration) + " ms: a file was cut short while it played");
            return;
        }
        m_endOfStream = true;
        return;
    }
    const bool secondary = event.branch == 1 || event.branch == 2 || event.branch == kSoundBranch;
    if (secondary) {
        m_graph->endBranch(event.branch);
        m_leftOut.push_back((event.branch == kSoundBranch
                                 ? std::string("sound")
                                 : "camera " + std::to_string(event.branch + 1)) +
                            ": " + event.text);
        return;
    }
    fail(event.text);
}

void PlaybackEngine::fail(const std::string& reason) {
    if (!m_failure.empty()) {
        return;  // the first error is what the user needs to see
    }
    m_failure = reason;
    m_graph->pause();
    setState(static_cast<std::int32_t>(GraphState::Stopped));
    m_rewind = true;
}

void PlaybackEngine::queueEndOfStream(std::uint64_t generation) {
    const std::lock_guard guard(m_queueLock);
    m_queue.push_back({generation, BusEvent{}});
}

}  // namespace qelv::media

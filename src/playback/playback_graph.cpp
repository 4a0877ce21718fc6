#include "playback/playback_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/audio/streamvolume.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <vector>

#include "playback/channel_files.h"
#include "playback/graph_elements.h"
#include "playback/gst_runtime.h"
#include "playback/playback_graph_channel.h"
#include "playback/sample_frames.h"

namespace qelv::media {

// What one build leaves out: channels already known to fail, and the sound after its chain
// failed.
struct PlaybackGraph::Attempt {
    std::array<bool, 3> skip{};
    bool sound = true;
    std::string decoder;  // the H.264 decoder of every camera
};

namespace {

constexpr auto kPrerollTimeout = std::chrono::seconds(20);

}  // namespace

PlaybackGraph::PlaybackGraph(std::uint64_t generation,
                             std::function<void(std::uint64_t, const BusEvent&)> onEvent)
    : m_generation(generation), m_onEvent(std::move(onEvent)) {
    ensureGstreamer();
    for (auto& c : m_channels) {
        c = std::make_unique<Channel>();
    }
}

PlaybackGraph::~PlaybackGraph() {
    destroyPipeline();
}

void PlaybackGraph::destroyPipeline() {
    if (m_pipeline != nullptr) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        // The streaming threads are gone; taking the bus lock once orders their last message
        // before the state is freed (and lets ThreadSanitizer see it).
        { const std::lock_guard guard(m_bus->lock); }
        detail::unwatchBus(m_pipeline);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
    for (auto& c : m_channels) {
        c->forgetElements();
    }
    m_volume = m_soundHead = m_soundSink = nullptr;
    m_sound = false;
    m_cardReader.reset();
}

GstElement* PlaybackGraph::makeSource(int channel, const RecordingSources& sources) {
    if (sources.cardFile) {
        m_cardReader = std::make_unique<detail::CardReader>();
        m_cardReader->file = sources.cardFile;
        return detail::makeCardSource(*m_cardReader);
    }
    GstElement* src = makeElement("filesrc");
    g_object_set(src, "location", sources.paths[static_cast<std::size_t>(channel)].c_str(),
                 nullptr);
    return src;
}

int PlaybackGraph::build(const RecordingSources& sources,
                         const std::array<VideoSurface*, 3>& surfaces) {
    // Sizes are read here, on the engine's thread; the streaming threads never ask a surface.
    for (std::size_t k = 0; k < 3; ++k) {
        Channel& c = *m_channels[k];
        const std::lock_guard guard(c.lock);
        c.surface = surfaces[k];
        c.destination =
            c.surface != nullptr ? Rect{0, 0, c.surface->width(), c.surface->height()} : Rect{};
    }
    m_error.clear();
    m_leftOut.clear();
    const std::string front =
        sources.cardFile ? std::string("the card recording") : sources.paths[0];
    // Hardware decoders best first, the software one last: each that fails gives way to the
    // next.
    const std::vector<std::string> decoders = h264Decoders(m_preference);
    std::size_t decoderIndex = 0;
    Attempt attempt;
    attempt.decoder = decoders.front();
    m_decoderNote.clear();
    if (!checkFiles(sources, attempt)) {
        return 0;
    }
    // Each failed attempt leaves out the branch that failed; at most the two rear channels
    // and the sound can go, so four attempts settle it, and one more for each hardware decoder
    // that gives way.
    const std::size_t attempts = 4 + decoders.size();
    for (std::size_t tries = 0; tries < attempts; ++tries) {
        const int loaded = buildOnce(sources, attempt);
        const bool pictured = attempt.decoder == kSoftwareH264Decoder || everyChannelPictured();
        int branch = kNoBranch;
        std::string text;
        {
            const std::lock_guard guard(m_bus->lock);
            if (loaded > 0 && !m_bus->error && pictured) {
                m_bus->forward = true;
                return loaded;
            }
            branch = m_bus->errorBranch;
            text = m_bus->error ? m_bus->errorText
                   : loaded > 0 ? "it decoded no picture"
                                : "it could not be cued";
        }
        destroyPipeline();
        if (attempt.decoder != kSoftwareH264Decoder && decoderIndex + 1 < decoders.size()) {
            // Whatever failed, a hardware decoder is the first suspect: the software one
            // plays every recording the recorder makes.
            const std::string& next = decoders[++decoderIndex];
            m_decoderNote += (m_decoderNote.empty() ? "" : "; ") + attempt.decoder +
                             " could not play " + front + " (" + text + "): " +
                             (next == kSoftwareH264Decoder ? std::string("decoded in software")
                                                           : "decoded by " + next);
            attempt.decoder = next;
            continue;
        }
        if ((branch == 1 || branch == 2) && !attempt.skip[static_cast<std::size_t>(branch)]) {
            attempt.skip[static_cast<std::size_t>(branch)] = true;
            m_leftOut.push_back((sources.cardFile
                                     ? front + " camera " + std::to_string(branch + 1)
                                     : sources.paths[static_cast<std::size_t>(branch)]) +
                                ": " + text);
        } else if (branch == kSoundBranch && attempt.sound) {
            attempt.sound = false;
            m_leftOut.push_back(front + " (sound): " + text);
        } else {
            m_error = front + ": " + text;
            return 0;
        }
    }
    m_error = front + ": does not play";
    return 0;
}

// A hardware decoder can let the graph cue without a picture (its stream ended at once, or
// it has not failed yet): only a picture from every linked camera shows that it decodes.
bool PlaybackGraph::everyChannelPictured() const {
    return std::all_of(m_channels.begin(), m_channels.end(), [](const auto& c) {
        const std::lock_guard guard(c->lock);
        return !c->linked || c->last != nullptr;
    });
}

// Files no parser can take are left out before anything is built; the front one fails.
bool PlaybackGraph::checkFiles(const RecordingSources& sources, Attempt& attempt) {
    if (sources.cardFile) {
        char head[12] = {};
        if (sources.cardFile->read(0, std::span(reinterpret_cast<std::uint8_t*>(head), 12)) != 12 ||
            !isAvi(head)) {
            m_error = "the card recording: is not an AVI recording";
            return false;
        }
        return true;
    }
    for (std::size_t k = 0; k < 3; ++k) {
        const std::string& path = sources.paths[k];
        const auto problem = path.empty() ? std::optional<std::string>("") : unplayable(path);
        if (problem && k == 0) {
            m_error = path + ": " + (path.empty() ? "no front file given" : *problem);
            return false;
        }
        attempt.skip[k] = problem.has_value();
        if (problem && !path.empty()) {
            m_leftOut.push_back(path + ": " + *problem);
        }
    }
    return true;
}

int PlaybackGraph::buildOnce(const RecordingSources& sources, const Attempt& attempt) {
    m_skipped = attempt.skip;
    m_decoderName = attempt.decoder;
    m_soundWanted = attempt.sound;
    m_pipeline = gst_pipeline_new("qelv-recording");
    m_bus = std::make_unique<detail::GraphBus>();
    {
        const std::lock_guard guard(m_bus->lock);  // published before any thread can post
        m_bus->generation = m_generation;
        m_bus->onEvent = &m_onEvent;
    }
    detail::watchBus(m_pipeline, m_bus.get());
    int loaded = 0;
    const int files = sources.cardFile ? 1 : 3;
    for (int k = 0; k < files; ++k) {
        if (sources.cardFile == nullptr && attempt.skip[static_cast<std::size_t>(k)]) {
            continue;
        }
        const bool avi =
            sources.cardFile != nullptr || isAviFile(sources.paths[static_cast<std::size_t>(k)]);
        if (!addChannelSource(k, sources, avi)) {
            return 0;
        }
        ++loaded;
    }
    {
        const std::lock_guard guard(m_bus->lock);
        m_bus->parsersAnnouncing = loaded;
    }
    if (!waitForPreroll()) {
        return 0;
    }
    return sources.cardFile
               ? static_cast<int>(std::count_if(m_channels.begin(), m_channels.end(),
                                                [](const auto& c) { return c->linked; }))
               : loaded;
}

bool PlaybackGraph::addChannelSource(int k, const RecordingSources& sources, bool avi) {
    GstElement* source = makeSource(k, sources);
    GstElement* parser =
        makeElement(avi ? "avidemux" : "qtdemux", kParserNames[static_cast<std::size_t>(k)]);
    if (source == nullptr || parser == nullptr) {
        discard({source, parser});
        return false;
    }
    tagBranch(source, k);
    tagBranch(parser, k);
    gst_bin_add_many(GST_BIN(m_pipeline), source, parser, nullptr);
    gst_element_link(source, parser);
    g_object_set_data(G_OBJECT(parser), "qelv-channel", GINT_TO_POINTER(k));
    g_object_set_data(G_OBJECT(parser), "qelv-card", GINT_TO_POINTER(sources.cardFile ? 1 : 0));
    g_signal_connect(parser, "pad-added", G_CALLBACK(onPadAdded), this);
    g_signal_connect(parser, "no-more-pads", G_CALLBACK(onNoMorePads), m_bus.get());
    return true;
}

void PlaybackGraph::resetWait() {
    const std::lock_guard guard(m_bus->lock);
    m_bus->asyncDone = false;
    m_bus->error = false;
    m_bus->errorBranch = kNoBranch;
    m_bus->errorText.clear();
}

// The parsers announce their streams once the pipeline runs; the branches made for them then
// have to show their first pictures before the recording counts as cued.
bool PlaybackGraph::waitForPreroll() {
    resetWait();
    if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        return false;
    }
    {
        std::unique_lock guard(m_bus->lock);
        m_bus->changed.wait_for(guard, kPrerollTimeout,
                                [this] { return m_bus->parsersAnnouncing <= 0 || m_bus->error; });
        if (m_bus->error) {
            return false;
        }
    }
    GstState state = GST_STATE_NULL;
    const GstStateChangeReturn done = gst_element_get_state(
        m_pipeline, &state, nullptr,
        static_cast<GstClockTime>(std::chrono::nanoseconds(kPrerollTimeout).count()));
    return done != GST_STATE_CHANGE_FAILURE && state == GST_STATE_PAUSED;
}

void PlaybackGraph::onNoMorePads(GstElement*, void* data) {
    auto* bus = static_cast<detail::GraphBus*>(data);
    {
        const std::lock_guard guard(bus->lock);
        --bus->parsersAnnouncing;
    }
    bus->changed.notify_all();
}

bool PlaybackGraph::play(double rate) {
    if (m_pipeline == nullptr) {
        return false;
    }
    // A new rate, back to 1.0 included, takes a flushing seek from where playback is.
    if (rate != m_playingRate && !seekNs(positionNs(), rate)) {
        return false;
    }
    const GstStateChangeReturn change = gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
    if (change == GST_STATE_CHANGE_ASYNC) {
        settle();  // what the caller does next starts from a playing pipeline
    }
    return change != GST_STATE_CHANGE_FAILURE;
}

bool PlaybackGraph::pause() {
    if (m_pipeline == nullptr) {
        return false;
    }
    resetWait();
    const GstStateChangeReturn change = gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
    if (change == GST_STATE_CHANGE_ASYNC) {
        std::unique_lock guard(m_bus->lock);
        m_bus->changed.wait_for(guard, kPrerollTimeout,
                                [this] { return m_bus->asyncDone || m_bus->error; });
    }
    return change != GST_STATE_CHANGE_FAILURE;
}

bool PlaybackGraph::seekNs(std::int64_t positionNs, double rate) {
    if (m_pipeline == nullptr) {
        return false;
    }
    resetWait();
    {
        // The sinks count their drops afresh after the flush.
        const std::lock_guard guard(m_bus->lock);
        for (const auto& c : m_channels) {
            m_bus->lastDropped.erase(c->sink);
        }
    }
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(m_pipeline, rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          std::max<std::int64_t>(positionNs, 0), GST_SEEK_TYPE_NONE,
                          GST_CLOCK_TIME_NONE)) {
        return false;
    }
    m_playingRate = rate;
    // Read nothing until the new position is cued; a position that never is, or an error on
    // the way, is a failed seek.
    bool cued = false;
    {
        std::unique_lock guard(m_bus->lock);
        cued = m_bus->changed.wait_for(guard, kPrerollTimeout, [this] {
            return m_bus->asyncDone || m_bus->error;
        }) && !m_bus->error;
    }
    return cued && settle();
}

// A playing pipeline goes back to playing on a thread of its own once a flushing seek is cued;
// a pause that overtakes it is taken with the running time of the segment before the seek,
// and playback then goes on from that much past the new position. So every change of state or
// position is waited for to the end before the next one starts.
bool PlaybackGraph::settle() {
    GstState state = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    const GstStateChangeReturn result = gst_element_get_state(
        m_pipeline, &state, &pending,
        static_cast<GstClockTime>(std::chrono::nanoseconds(kPrerollTimeout).count()));
    return result == GST_STATE_CHANGE_SUCCESS || result == GST_STATE_CHANGE_NO_PREROLL;
}

std::int64_t PlaybackGraph::positionNs() const {
    gint64 position = 0;
    if (m_pipeline == nullptr ||
        !gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &position)) {
        return 0;
    }
    return std::max<gint64>(position, 0);
}

std::int64_t PlaybackGraph::durationNs() const {
    gint64 duration = 0;
    if (m_pipeline == nullptr ||
        !gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration)) {
        return 0;
    }
    return std::max<gint64>(duration, 0);
}

void PlaybackGraph::setVolume(double gain) {
    if (m_volume != nullptr) {
        g_object_set(m_volume, "volume", gain, nullptr);
    }
}

void PlaybackGraph::setOutputVolume(double linear) {
    if (m_soundSink == nullptr) {
        return;
    }
    const double level = std::clamp(linear, 0.0, 1.0);
    if (GST_IS_STREAM_VOLUME(m_soundSink)) {
        gst_stream_volume_set_volume(GST_STREAM_VOLUME(m_soundSink),
                                     GST_STREAM_VOLUME_FORMAT_LINEAR, level);
        return;
    }
    if (!GST_IS_BIN(m_soundSink)) {
        return;
    }
    // The automatic sink holds the real one as a child.
    GstIterator* children =
        gst_bin_iterate_all_by_interface(GST_BIN(m_soundSink), GST_TYPE_STREAM_VOLUME);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        gst_stream_volume_set_volume(GST_STREAM_VOLUME(g_value_get_object(&item)),
                                     GST_STREAM_VOLUME_FORMAT_LINEAR, level);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(children);
}

void PlaybackGraph::setSurface(int channel, VideoSurface* surface) {
    Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const Rect whole =
        surface != nullptr ? Rect{0, 0, surface->width(), surface->height()} : Rect{};
    const std::lock_guard guard(c.lock);
    c.surface = surface;
    c.destination = whole;
}

VideoSurface* PlaybackGraph::surface(int channel) const {
    const Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const std::lock_guard guard(c.lock);
    return c.surface;
}

void PlaybackGraph::setDestination(int channel, Rect destination) {
    Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    VideoSurface* surface = nullptr;
    {
        const std::lock_guard guard(c.lock);
        c.destination = destination;
        surface = c.surface;
    }
    if (surface != nullptr) {
        surface->place(destination);
    }
}

Rect PlaybackGraph::destination(int channel) const {
    const Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const std::lock_guard guard(c.lock);
    return c.destination;
}

bool PlaybackGraph::hasChannel(int channel) const {
    return channel >= 0 && channel < 3 && m_channels[static_cast<std::size_t>(channel)]->linked;
}

std::pair<std::int32_t, std::int32_t> PlaybackGraph::nativeSize(int channel) const {
    const auto frame = lastFrame(channel);
    return frame ? std::pair{frame->width, frame->height} : std::pair{0, 0};
}

std::shared_ptr<const VideoFrame> PlaybackGraph::lastFrame(int channel) const {
    if (channel < 0 || channel >= 3) {
        return nullptr;
    }
    const Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const std::lock_guard guard(c.lock);
    return c.last;
}

DecoderSettings& PlaybackGraph::settings(int channel) {
    return m_channels[static_cast<std::size_t>(channel)]->settings;
}

const DecoderSettings& PlaybackGraph::settings(int channel) const {
    return m_channels[static_cast<std::size_t>(channel)]->settings;
}

void PlaybackGraph::applySettings(int channel) {
    Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const BalanceProperties p = c.settings.properties();
    if (c.balance != nullptr) {
        g_object_set(c.balance, "contrast", p.contrast, "brightness", p.brightness, "hue", p.hue,
                     "saturation", p.saturation, nullptr);
    }
    if (c.flip != nullptr) {
        gst_util_set_object_arg(G_OBJECT(c.flip), "method",
                                p.flipVertical ? "vertical-flip" : "none");
    }
}

PlaybackGraph::Counts PlaybackGraph::counts() const {
    Counts counts;
    for (std::size_t k = 0; k < 3; ++k) {
        const Channel& c = *m_channels[k];
        const std::lock_guard guard(c.lock);
        counts.shown[k] = c.shown;
    }
    if (m_bus) {
        const std::lock_guard guard(m_bus->lock);
        counts.lost = m_bus->lost;
    }
    return counts;
}

bool PlaybackGraph::hasSound() const {
    return m_sound;
}

void PlaybackGraph::endBranch(int branch) {
    GstElement* head = nullptr;
    if (branch >= 0 && branch < 3) {
        const Channel& c = *m_channels[static_cast<std::size_t>(branch)];
        const std::lock_guard guard(c.lock);
        head = c.head;
    } else if (branch == kSoundBranch) {
        head = m_soundHead;
    }
    if (head != nullptr) {
        gst_element_send_event(head, gst_event_new_eos());
    }
}

}  // namespace qelv::media

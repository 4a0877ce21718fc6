#include "playback/playback_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "playback/gst_runtime.h"

namespace qelv::media {

namespace detail {

// Reached from the bus's sync handler on GStreamer's threads.
struct GraphBus {
    std::uint64_t generation = 0;
    std::function<void(std::uint64_t, GstMessage*)>* onMessage = nullptr;
    std::mutex lock;
    std::condition_variable changed;
    bool asyncDone = false;
    bool error = false;
    int parsersAnnouncing = 0;  // parsers that have not said "no more pads" yet
};

// A WyFS recording read through the card library, for an appsrc in random-access mode.
struct CardReader {
    std::shared_ptr<core::ByteSource> file;
    std::uint64_t offset = 0;
};

}  // namespace detail

struct PlaybackGraph::Channel {
    GstElement* decoder = nullptr;
    GstElement* balance = nullptr;
    GstElement* flip = nullptr;
    GstElement* sink = nullptr;
    VideoSurface* surface = nullptr;
    Rect destination;
    std::shared_ptr<const VideoFrame> last;
    DecoderSettings settings;
    std::int64_t frames = 0;
    bool linked = false;
    mutable std::mutex lock;
};

namespace {

constexpr auto kPrerollTimeout = std::chrono::seconds(20);

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* bus = static_cast<detail::GraphBus*>(data);
    const std::lock_guard guard(bus->lock);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE) {
        bus->asyncDone = true;
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        bus->error = true;
    }
    bus->changed.notify_all();
    if (*bus->onMessage) {
        (*bus->onMessage)(bus->generation, message);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

GstElement* make(const char* factory, std::string_view name = {}) {
    return gst_element_factory_make(factory, name.empty() ? nullptr : std::string(name).c_str());
}

bool isAvi(const char head[12]) {
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

// A channel file the parser can load: a RIFF AVI, or an MP4 with its movie box (an unfinished
// file has none, and no parser can read it).
bool loadable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    if (path.empty() || !in || !in.read(head, sizeof head)) {
        return false;
    }
    if (isAvi(head)) {
        return true;
    }
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < 64; ++boxes) {
        unsigned char box[8] = {};
        in.clear();
        if (!in.seekg(static_cast<std::streamoff>(at)) ||
            !in.read(reinterpret_cast<char*>(box), 8)) {
            return false;
        }
        if (std::memcmp(box + 4, "moov", 4) == 0) {
            return true;
        }
        const std::uint32_t size = (std::uint32_t{box[0]} << 24) | (std::uint32_t{box[1]} << 16) |
                                   (std::uint32_t{box[2]} << 8) | box[3];
        if (size < 8) {
            return false;
        }
        at += size;
    }
    return false;
}

// Probing the desktop's sink on a machine without sound only fills the log with the sound
// library's complaints: look for a device or a sound server first.
bool soundDeviceLikely() {
    if (std::getenv("PULSE_SERVER") != nullptr || std::filesystem::exists("/dev/snd")) {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr &&
           (std::filesystem::exists(std::filesystem::path(runtime) / "pulse/native") ||
            std::filesystem::exists(std::filesystem::path(runtime) / "pipewire-0"));
}

void onCardNeedData(GstAppSrc* src, guint length, gpointer data) {
    auto* reader = static_cast<detail::CardReader*>(data);
    const std::uint64_t size = reader->file->size();
    if (reader->offset >= size) {
        gst_app_src_end_of_stream(src);
        return;
    }
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<guint>(length, 65536), size - reader->offset));
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, n, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const std::size_t got = reader->file->read(reader->offset, std::span(map.data, n));
    gst_buffer_unmap(buffer, &map);
    if (got == 0) {
        gst_buffer_unref(buffer);
        gst_app_src_end_of_stream(src);
        return;
    }
    gst_buffer_set_size(buffer, static_cast<gssize>(got));
    GST_BUFFER_OFFSET(buffer) = reader->offset;
    reader->offset += got;
    gst_app_src_push_buffer(src, buffer);
}

gboolean onCardSeek(GstAppSrc*, guint64 offset, gpointer data) {
    static_cast<detail::CardReader*>(data)->offset = offset;
    return TRUE;
}

}  // namespace

PlaybackGraph::PlaybackGraph(std::uint64_t generation,
                             std::function<void(std::uint64_t, GstMessage*)> onMessage)
    : m_generation(generation), m_onMessage(std::move(onMessage)) {
    ensureGstreamer();
    for (auto& c : m_channels) {
        c = std::make_unique<Channel>();
    }
}

PlaybackGraph::~PlaybackGraph() {
    if (m_pipeline != nullptr) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        // The streaming threads are gone; taking the bus lock once orders their last message
        // before the state is freed (and lets ThreadSanitizer see it).
        { const std::lock_guard guard(m_bus->lock); }
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(m_pipeline);
    }
}

GstElement* PlaybackGraph::makeSource(int channel, const RecordingSources& sources) {
    if (sources.cardFile) {
        m_cardReader = std::make_unique<detail::CardReader>();
        m_cardReader->file = sources.cardFile;
        GstElement* src = make("appsrc");
        g_object_set(src, "stream-type", 2 /* random-access */, "format", GST_FORMAT_BYTES, "size",
                     static_cast<gint64>(sources.cardFile->size()), nullptr);
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = onCardNeedData;
        callbacks.seek_data = onCardSeek;
        gst_app_src_set_callbacks(GST_APP_SRC(src), &callbacks, m_cardReader.get(), nullptr);
        return src;
    }
    GstElement* src = make("filesrc");
    g_object_set(src, "location", sources.paths[static_cast<std::size_t>(channel)].c_str(),
                 nullptr);
    return src;
}

int PlaybackGraph::build(const RecordingSources& sources,
                         const std::array<VideoSurface*, 3>& surfaces) {
    m_pipeline = gst_pipeline_new("qelv-recording");
    m_bus = std::make_unique<detail::GraphBus>();
    {
        const std::lock_guard guard(m_bus->lock);  // published before any thread can post
        m_bus->generation = m_generation;
        m_bus->onMessage = &m_onMessage;
    }
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, m_bus.get(), nullptr);
    gst_object_unref(bus);
    for (int k = 0; k < 3; ++k) {
        m_channels[static_cast<std::size_t>(k)]->surface = surfaces[static_cast<std::size_t>(k)];
    }

    int loaded = 0;
    const int files = sources.cardFile ? 1 : 3;
    for (int k = 0; k < files; ++k) {
        const std::string& path = sources.paths[static_cast<std::size_t>(k)];
        char head[12] = {};
        bool avi = false;
        if (sources.cardFile) {
            avi = sources.cardFile->read(0, std::span(reinterpret_cast<std::uint8_t*>(head), 12)) ==
                      12 &&
                  isAvi(head);
        } else {
            if (!loadable(path)) {
                if (k == 0) {
                    return 0;
                }
                continue;
            }
            std::ifstream in(path, std::ios::binary);
            in.read(head, sizeof head);
            avi = isAvi(head);
        }
        if (sources.cardFile && !avi) {
            return 0;
        }
        GstElement* source = makeSource(k, sources);
        GstElement* parser =
            make(avi ? "avidemux" : "qtdemux", kParserNames[static_cast<std::size_t>(k)]);
        if (source == nullptr || parser == nullptr) {
            return 0;
        }
        gst_bin_add_many(GST_BIN(m_pipeline), source, parser, nullptr);
        gst_element_link(source, parser);
        g_object_set_data(G_OBJECT(parser), "qelv-channel", GINT_TO_POINTER(k));
        g_object_set_data(G_OBJECT(parser), "qelv-card", GINT_TO_POINTER(sources.cardFile ? 1 : 0));
        g_signal_connect(parser, "pad-added", G_CALLBACK(onPadAdded), this);
        g_signal_connect(parser, "no-more-pads", G_CALLBACK(onNoMorePads), m_bus.get());
        ++loaded;
    }
    m_bus->parsersAnnouncing = loaded;
    if (!waitForPreroll()) {
        return 0;
    }
    return sources.cardFile
               ? static_cast<int>(std::count_if(m_channels.begin(), m_channels.end(),
                                                [](const auto& c) { return c->linked; }))
               : loaded;
}

void PlaybackGraph::resetWait() {
    const std::lock_guard guard(m_bus->lock);
    m_bus->asyncDone = false;
    m_bus->error = false;
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

void PlaybackGraph::onPadAdded(GstElement* parser, GstPad* pad, void* self) {
    auto* graph = static_cast<PlaybackGraph*>(self);
    int channel = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(parser), "qelv-channel"));
    const bool card = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(parser), "qelv-card")) != 0;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) {
        caps = gst_pad_query_caps(pad, nullptr);
    }
    const std::string type = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    const std::string padName = GST_PAD_NAME(pad);
    const std::lock_guard guard(graph->m_lock);
    if (type.rfind("video/", 0) == 0) {
        if (card) {  // one AVI: video_0 to video_2 are the three cameras
            channel = padName.rfind("video_", 0) == 0 ? std::atoi(padName.c_str() + 6) : 3;
        }
        if (channel >= 0 && channel < 3 &&
            !graph->m_channels[static_cast<std::size_t>(channel)]->linked) {
            graph->linkVideo(channel, pad);
        }
    } else if (type.rfind("audio/", 0) == 0 && channel == 0 && !graph->m_sound) {
        graph->linkSound(pad);
    }
}

namespace {

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data);
GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer data);

// Keeps a decoded picture's buffer mapped while any frame refers to it.
struct SampleOwner {
    GstSample* sample = nullptr;
    GstVideoFrame frame{};
    bool mapped = false;
    ~SampleOwner() {
        if (mapped) {
            gst_video_frame_unmap(&frame);
        }
        if (sample != nullptr) {
            gst_sample_unref(sample);
        }
    }
};

}  // namespace

void PlaybackGraph::linkVideo(int index, GstPad* pad) {
    Channel& c = *m_channels[static_cast<std::size_t>(index)];
    const auto k = static_cast<std::size_t>(index);
    GstElement* queue = make("queue");
    GstElement* parse = make("h264parse");
    c.decoder = make("avdec_h264", kDecoderNames[k]);
    c.balance = make("videobalance");
    c.flip = make("videoflip");
    GstElement* convert = make("videoconvert", kConverterNames[k]);
    GstElement* filter = make("capsfilter");
    c.sink = make("appsink", kRendererNames[k]);
    if (!queue || !parse || !c.decoder || !c.balance || !c.flip || !convert || !filter || !c.sink) {
        return;
    }
    g_object_set(convert, "n-threads", 0, nullptr);
    // The decoder's own format passes the converter untouched; panes convert what they paint.
    GstCaps* i420 = gst_caps_from_string("video/x-raw,format=I420");
    g_object_set(filter, "caps", i420, nullptr);
    gst_caps_unref(i420);
    g_object_set(c.sink, "sync", m_synchronised ? TRUE : FALSE, "max-buffers", 2, "drop", FALSE,
                 "qos", m_synchronised ? TRUE : FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onNewSample;
    callbacks.new_preroll = onNewPreroll;
    g_object_set_data(G_OBJECT(c.sink), "qelv-channel", &c);
    gst_app_sink_set_callbacks(GST_APP_SINK(c.sink), &callbacks, &c, nullptr);
    gst_bin_add_many(GST_BIN(m_pipeline), queue, parse, c.decoder, c.balance, c.flip, convert,
                     filter, c.sink, nullptr);
    gst_element_link_many(queue, parse, c.decoder, c.balance, c.flip, convert, filter, c.sink,
                          nullptr);
    for (GstElement* e : {c.sink, filter, convert, c.flip, c.balance, c.decoder, parse, queue}) {
        gst_element_sync_state_with_parent(e);
    }
    GstPad* sinkPad = gst_element_get_static_pad(queue, "sink");
    c.linked = gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK;
    gst_object_unref(sinkPad);
    applySettings(index);
}

void PlaybackGraph::linkSound(GstPad* pad) {
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    const bool pcm = gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/x-raw");
    gst_caps_unref(caps);
    std::vector<GstElement*> chain{make("queue")};
    if (!pcm) {
        chain.push_back(make("aacparse"));
        chain.push_back(make("avdec_aac", kAudioDecoderName));
    }
    chain.push_back(make("audioconvert"));
    chain.push_back(make("scaletempo"));
    m_volume = make("volume");
    chain.push_back(m_volume);
    chain.push_back(make("audioconvert"));
    chain.push_back(make("audioresample"));
    // The desktop's sound when there is one; a silent sink that keeps time otherwise.
    GstElement* sink = soundDeviceLikely() ? make("autoaudiosink", kAudioRendererName) : nullptr;
    if (sink == nullptr ||
        gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        if (sink != nullptr) {
            gst_element_set_state(sink, GST_STATE_NULL);
            gst_object_unref(sink);
        }
        sink = make("fakesink", kAudioRendererName);
        g_object_set(sink, "sync", TRUE, nullptr);
    }
    if (!m_synchronised) {
        g_object_set(sink, "sync", FALSE, nullptr);
    }
    chain.push_back(sink);
    if (std::any_of(chain.begin(), chain.end(), [](GstElement* e) { return e == nullptr; })) {
        return;  // a recording without sound still plays
    }
    for (GstElement* e : chain) {
        gst_bin_add(GST_BIN(m_pipeline), e);
    }
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        gst_element_link(chain[i], chain[i + 1]);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        gst_element_sync_state_with_parent(*it);
    }
    GstPad* sinkPad = gst_element_get_static_pad(chain.front(), "sink");
    m_sound = gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK;
    gst_object_unref(sinkPad);
}

void PlaybackGraph::deliver(void* channelData, GstSample* sample) {
    auto& c = *static_cast<Channel*>(channelData);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    auto owner = std::make_shared<SampleOwner>();
    owner->sample = sample;  // released with the owner, mapped or not
    if (buffer == nullptr || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420 ||
        !gst_video_frame_map(&owner->frame, &info, buffer, GST_MAP_READ)) {
        return;
    }
    owner->mapped = true;
    auto frame = std::make_shared<VideoFrame>();
    frame->width = GST_VIDEO_INFO_WIDTH(&info);
    frame->height = GST_VIDEO_INFO_HEIGHT(&info);
    for (int p = 0; p < 3; ++p) {
        frame->planes[static_cast<std::size_t>(p)] =
            static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&owner->frame, p));
        frame->strides[static_cast<std::size_t>(p)] =
            GST_VIDEO_FRAME_PLANE_STRIDE(&owner->frame, p);
    }
    frame->ptsNs =
        GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<std::int64_t>(GST_BUFFER_PTS(buffer)) : 0;
    frame->owner = owner;
    VideoSurface* surface = nullptr;
    Rect destination;
    {
        const std::lock_guard guard(c.lock);
        c.last = frame;
        ++c.frames;
        surface = c.surface;
        destination = c.destination;
        if (destination.width == 0 && surface != nullptr) {
            destination = {0, 0, surface->width(), surface->height()};
        }
    }
    if (surface != nullptr) {
        surface->present(frame, destination);
    }
}

namespace {

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data) {
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
        PlaybackGraph::deliver(data, sample);
    }
    return GST_FLOW_OK;
}

// The picture a paused graph shows: after opening, after a seek, after a step.
GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer data) {
    if (GstSample* sample = gst_app_sink_pull_preroll(sink)) {
        PlaybackGraph::deliver(data, sample);
    }
    return GST_FLOW_OK;
}

}  // namespace

bool PlaybackGraph::play(double rate) {
    if (m_pipeline == nullptr) {
        return false;
    }
    // A new rate takes a flushing seek from where playback is.
    const std::int64_t position = positionNs();
    if (rate != 1.0 && !seekNs(position, rate)) {
        return false;
    }
    return gst_element_set_state(m_pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
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
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(m_pipeline, rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          std::max<std::int64_t>(positionNs, 0), GST_SEEK_TYPE_NONE,
                          GST_CLOCK_TIME_NONE)) {
        return false;
    }
    // Read nothing until the new position is cued.
    std::unique_lock guard(m_bus->lock);
    m_bus->changed.wait_for(guard, kPrerollTimeout,
                            [this] { return m_bus->asyncDone || m_bus->error; });
    return true;
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

void PlaybackGraph::setSurface(int channel, VideoSurface* surface) {
    Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    const std::lock_guard guard(c.lock);
    c.surface = surface;
    c.destination = surface != nullptr ? Rect{0, 0, surface->width(), surface->height()} : Rect{};
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

void PlaybackGraph::applySettings(int channel) {
    Channel& c = *m_channels[static_cast<std::size_t>(channel)];
    if (c.balance == nullptr || c.flip == nullptr) {
        return;
    }
    const BalanceProperties p = c.settings.properties();
    g_object_set(c.balance, "contrast", p.contrast, "brightness", p.brightness, "hue", p.hue,
                 "saturation", p.saturation, nullptr);
    gst_util_set_object_arg(G_OBJECT(c.flip), "method", p.flipVertical ? "vertical-flip" : "none");
}

PlaybackGraph::Counts PlaybackGraph::counts() const {
    Counts counts;
    for (std::size_t k = 0; k < 3; ++k) {
        const Channel& c = *m_channels[k];
        {
            const std::lock_guard guard(c.lock);
            counts.frames[k] = c.frames;
        }
        if (c.sink != nullptr) {
            GstStructure* stats = nullptr;
            g_object_get(c.sink, "stats", &stats, nullptr);
            guint64 dropped = 0;
            if (stats != nullptr && gst_structure_get_uint64(stats, "dropped", &dropped)) {
                counts.dropped[k] = static_cast<std::int64_t>(dropped);
            }
            if (stats != nullptr) {
                gst_structure_free(stats);
            }
        }
    }
    return counts;
}

bool PlaybackGraph::hasSound() const {
    return m_sound;
}

bool toBgra(const VideoFrame& frame, Snapshot& out) {
    const auto* owner = static_cast<const SampleOwner*>(frame.owner.get());
    if (owner == nullptr || owner->sample == nullptr) {
        return false;
    }
    GstCaps* bgra =
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRA", "width", G_TYPE_INT,
                            frame.width, "height", G_TYPE_INT, frame.height, nullptr);
    GError* error = nullptr;
    GstSample* converted =
        gst_video_convert_sample(owner->sample, bgra, GST_CLOCK_TIME_NONE, &error);
    gst_caps_unref(bgra);
    if (error != nullptr) {
        g_error_free(error);
    }
    if (converted == nullptr) {
        return false;
    }
    GstVideoInfo info;
    GstVideoFrame mapped;
    const bool ok =
        gst_video_info_from_caps(&info, gst_sample_get_caps(converted)) &&
        gst_video_frame_map(&mapped, &info, gst_sample_get_buffer(converted), GST_MAP_READ);
    if (ok) {
        out.width = frame.width;
        out.height = frame.height;
        out.pixels.resize(static_cast<std::size_t>(frame.width) * frame.height * 4);
        const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
        for (int y = 0; y < frame.height; ++y) {
            std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * frame.width * 4,
                        data + static_cast<std::size_t>(y) * stride,
                        static_cast<std::size_t>(frame.width) * 4);
        }
        gst_video_frame_unmap(&mapped);
    }
    gst_sample_unref(converted);
    return ok;
}

}  // namespace qelv::media

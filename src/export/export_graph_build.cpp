// Building and running an export's pipeline.
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>

#include "export/export_graph.h"
#include "export/export_graph_state.h"
#include "playback/graph_bus.h"
#include "playback/graph_elements.h"
#include "playback/gst_runtime.h"

namespace qelv::media {

namespace {

constexpr auto kCueTimeout = std::chrono::seconds(30);
// A pipeline that encodes nothing for this long is stuck, not slow.
constexpr auto kStallTimeout = std::chrono::seconds(90);

int branchOfKey(std::size_t segment, int channel) {
    return static_cast<int>(segment) * 4 + channel;
}

// Adds the elements to the pipeline and links them in order; false when one is missing (then
// nothing is added).
bool addLinked(GstElement* pipeline, const std::vector<GstElement*>& chain) {
    if (std::any_of(chain.begin(), chain.end(), [](GstElement* e) { return e == nullptr; })) {
        for (GstElement* e : chain) {
            discard({e});
        }
        return false;
    }
    for (GstElement* e : chain) {
        gst_bin_add(GST_BIN(pipeline), e);
    }
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        if (!gst_element_link(chain[i], chain[i + 1])) {
            return false;
        }
    }
    return true;
}

}  // namespace

ExportGraph::ExportGraph(const ExportRequest& request, const SpanPlan& plan,
                         const OverlayTimeline* overlay, std::vector<PlaceLabel> labels,
                         std::set<SourceKey> leftOut, bool sound, std::string location,
                         std::string indexLocation)
    : m_request(request),
      m_plan(plan),
      m_leftOut(std::move(leftOut)),
      m_sound(sound),
      m_location(std::move(location)),
      m_indexLocation(std::move(indexLocation)),
      m_state(std::make_unique<State>()) {
    ensureGstreamer();
    gst_video_info_set_format(&m_state->video, GST_VIDEO_FORMAT_I420,
                              static_cast<guint>(request.width),
                              static_cast<guint>(request.height));
    m_state->overlay = overlay;
    m_state->totalNs = plan.durationNs;
    const auto regions = layoutRegions(request.layout, request.width, request.height);
    for (const PlaceLabel& label : labels) {
        const auto& region = regions[static_cast<std::size_t>(label.channel)];
        const SpanSegment& s = plan.segments[label.segment];
        if (region) {
            // Inside the place, clear of its edges, as large as a hundredth of its height.
            const int pad = std::max(2, region->height / 50);
            m_state->labels.push_back(
                {*region, s.clipNs + std::max<std::int64_t>(0, label.fromNs - s.inNs),
                 s.clipNs + s.outNs - s.inNs,
                 fitText(label.text, region->width - 2 * pad, region->height - 2 * pad,
                         std::max(1, region->height / 100))});
        }
    }
}

ExportGraph::~ExportGraph() {
    if (m_pipeline != nullptr) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        { const std::lock_guard guard(m_state->lock); }
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(m_pipeline);
    }
    for (auto& [pad, probe] : m_state->blocks) {
        gst_object_unref(pad);
    }
}

bool ExportGraph::buildTail() {
    m_compositor = makeElement("compositor", "ExportCompositor");
    GstElement* composed =
        detail::capsFilter(detail::videoCaps(m_request.width, m_request.height, true));
    GstElement* encoder = makeElement("x264enc", "ExportEncoder");
    GstElement* muxer = makeElement("mp4mux", "ExportMuxer");
    GstElement* sink = makeElement("filesink", "ExportWriter");
    if (m_compositor != nullptr) {
        g_object_set(m_compositor, "background", 1 /* black */, nullptr);
    }
    if (encoder != nullptr) {
        // About 10 Mbit/s at 1920 x 1080, in proportion for other sizes. Decoding three
        // cameras leaves a two-core machine little time for the encoder: only the fastest
        // preset keeps a three-camera export well ahead of real time there. Against a
        // near-lossless encode of the same clip it matched the next preset at the same rate;
        // the rate is a quarter above the 8 Mbit/s that preset had, for the simpler entropy
        // coding on real footage.
        const double pixels = static_cast<double>(m_request.width) * m_request.height;
        const auto kbits =
            static_cast<guint>(std::clamp(10000.0 * pixels / (1920.0 * 1080.0), 500.0, 60000.0));
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "ultrafast");
        g_object_set(encoder, "bitrate", kbits, "key-int-max", 2 * kExportFps, nullptr);
    }
    if (muxer != nullptr) {
        g_object_set(muxer, "faststart", TRUE, "faststart-file", m_indexLocation.c_str(), nullptr);
    }
    if (sink != nullptr) {
        // The muxer writes its index only at the end; the sink must not wait for a first
        // buffer to call the pipeline paused.
        g_object_set(sink, "location", m_location.c_str(), "async", FALSE, nullptr);
    }
    if (!addLinked(m_pipeline, {m_compositor, composed, makeElement("queue"), encoder,
                                makeElement("h264parse"), muxer, sink})) {
        m_error = "the video encoder (x264enc, mp4mux) is not installed";
        return false;
    }
    GstPad* out = gst_element_get_static_pad(composed, "src");
    gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, detail::onComposed, m_state.get(), nullptr);
    gst_object_unref(out);
    if (!m_sound) {
        return true;
    }
    m_mixer = makeElement("audiomixer", "ExportSoundMixer");
    GstElement* aac = makeElement("avenc_aac", "ExportSoundEncoder");
    if (aac == nullptr) {
        aac = makeElement("voaacenc", "ExportSoundEncoder");
    }
    if (aac != nullptr) {
        g_object_set(aac, "bitrate", 128000, nullptr);
    }
    GstElement* queue = makeElement("queue");
    if (!addLinked(m_pipeline, {m_mixer, makeElement("audioconvert"), aac, queue}) ||
        !gst_element_link(queue, muxer)) {
        m_error = "the sound encoder (avenc_aac or voaacenc) is not installed";
        return false;
    }
    return addSilence();
}

// Silence for the whole clip, in 10 ms buffers: whatever the recordings' sound gives, the
// clip's sound track lasts as long as its pictures.
bool ExportGraph::addSilence() {
    constexpr std::int64_t kBufferNs = kNsPerSecond / 100;
    GstElement* silence = makeElement("audiotestsrc", "ExportSilence");
    if (silence != nullptr) {
        gst_util_set_object_arg(G_OBJECT(silence), "wave", "silence");
        g_object_set(silence, "samplesperbuffer", 480, "num-buffers",
                     static_cast<gint>((m_plan.durationNs + kBufferNs - 1) / kBufferNs), nullptr);
    }
    GstElement* caps = detail::capsFilter(detail::soundCaps());
    if (!addLinked(m_pipeline, {silence, caps})) {
        m_error = "the silence source (audiotestsrc) is not installed";
        return false;
    }
    GstPad* out = gst_element_get_static_pad(caps, "src");
    GstPad* in = gst_element_request_pad_simple(m_mixer, "sink_%u");
    const bool linked = gst_pad_link(out, in) == GST_PAD_LINK_OK;
    gst_object_unref(in);
    gst_object_unref(out);
    if (!linked) {
        m_error = "the silence could not be mixed into the sound";
    }
    return linked;
}

// A camera of one segment, or its sound (kSoundChannel): its file through a demuxer, to its
// place in the picture or to the mixer.
bool ExportGraph::addSource(std::size_t segment, int channel) {
    const SpanSegment& s = m_plan.segments[segment];
    const ExportRecording& r = m_request.recordings[s.recording];
    const bool sound = channel == kSoundChannel;
    // Set apart from its declaration: GCC 12 takes a conditional optional for one it may read
    // uninitialised at -O2.
    std::optional<Region> region;
    if (!sound) {
        region = layoutRegions(m_request.layout, m_request.width,
                               m_request.height)[static_cast<std::size_t>(channel)];
    }
    GstElement* source = makeElement("filesrc");
    GstElement* demuxer = makeElement("qtdemux");
    if (source == nullptr || demuxer == nullptr) {
        discard({source, demuxer});
        m_error = "the MP4 demuxer (qtdemux) is not installed";
        return false;
    }
    const int branch = branchOfKey(segment, channel);
    g_object_set(source, "location", r.paths[sound ? 0 : static_cast<std::size_t>(channel)].c_str(),
                 nullptr);
    tagBranch(source, branch);
    tagBranch(demuxer, branch);
    gst_bin_add_many(GST_BIN(m_pipeline), source, demuxer, nullptr);
    gst_element_link(source, demuxer);

    auto links = std::make_unique<Links>();
    links->state = m_state.get();
    links->pipeline = m_pipeline;
    links->branch = branch;
    links->region = region.value_or(Region{});
    links->offsetNs = s.clipNs;
    links->leadNs = channel == 0 ? r.frontLeadNs : 0;
    links->videoTarget = nullptr;
    links->soundTarget = nullptr;
    if (sound) {
        links->soundTarget = gst_element_request_pad_simple(m_mixer, "sink_%u");
        gst_object_unref(links->soundTarget);  // the mixer keeps it
    } else {
        links->videoTarget = gst_element_request_pad_simple(m_compositor, "sink_%u");
        g_object_set(links->videoTarget, "xpos", region->x, "ypos", region->y, nullptr);
        gst_object_unref(links->videoTarget);  // the compositor keeps it
    }
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(detail::onDemuxPad), links.get());
    g_signal_connect(demuxer, "no-more-pads", G_CALLBACK(detail::onNoMorePads), links.get());
    m_links.push_back(std::move(links));
    // The front file is cued its lead later, so that its pictures line up with the other
    // cameras' and a joint neither repeats nor drops one; its sound goes with its pictures
    // and stops where the file's sound does.
    const std::int64_t leadNs = channel == 0 || sound ? r.frontLeadNs : 0;
    const std::int64_t stopNs = sound ? std::min(s.outNs + leadNs, r.soundNs) : s.outNs + leadNs;
    m_demuxers.push_back({demuxer, s.inNs + leadNs, stopNs});
    ++m_state->demuxersAnnouncing;
    return true;
}

bool ExportGraph::build() {
    m_pipeline = gst_pipeline_new("QelvClipExport");
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, detail::onBusMessage, m_state.get(), nullptr);
    gst_object_unref(bus);
    if (!buildTail()) {
        return false;
    }
    const auto regions = layoutRegions(m_request.layout, m_request.width, m_request.height);
    for (std::size_t k = 0; k < m_plan.segments.size(); ++k) {
        const ExportRecording& r = m_request.recordings[m_plan.segments[k].recording];
        for (int c = 0; c < 3; ++c) {
            if (regions[static_cast<std::size_t>(c)] &&
                !r.paths[static_cast<std::size_t>(c)].empty() && !m_leftOut.contains({k, c}) &&
                !addSource(k, c)) {
                return false;
            }
        }
        const SpanSegment& s = m_plan.segments[k];
        if (m_mixer != nullptr && r.soundNs > s.inNs + r.frontLeadNs &&
            !m_leftOut.contains({k, kSoundChannel}) && !addSource(k, kSoundChannel)) {
            return false;
        }
    }
    return true;
}

// Waits until every demuxer has shown its streams (each then holds its first picture), then
// moves each to its segment.
bool ExportGraph::cue(const std::atomic<bool>& cancel) {
    const auto deadline = std::chrono::steady_clock::now() + kCueTimeout;
    {
        std::unique_lock guard(m_state->lock);
        while (m_state->demuxersAnnouncing > 0 && !m_state->error && !cancel) {
            if (m_state->changed.wait_until(
                    guard, std::min(deadline, std::chrono::steady_clock::now() +
                                                  std::chrono::milliseconds(100))) ==
                    std::cv_status::timeout &&
                std::chrono::steady_clock::now() >= deadline) {
                m_error = "the recordings could not be opened in time";
                return false;
            }
        }
        if (m_state->error || cancel) {
            return false;
        }
    }
    for (const Cue& cue : m_demuxers) {
        if (!gst_element_seek(
                cue.demuxer, 1.0, GST_FORMAT_TIME,
                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                GST_SEEK_TYPE_SET, cue.startNs, GST_SEEK_TYPE_SET, cue.stopNs)) {
            m_error = "a recording could not be cued to the span";
            return false;
        }
    }
    const std::lock_guard guard(m_state->lock);
    for (auto& [pad, probe] : m_state->blocks) {
        gst_pad_remove_probe(pad, probe);
    }
    return true;
}

GraphOutcome ExportGraph::run(const std::atomic<bool>& cancel,
                              const ClipExport::ProgressFn& progress) {
    GraphOutcome outcome;
    m_state->progress = &progress;
    const auto failed = [&](std::string text) {
        const std::lock_guard guard(m_state->lock);
        outcome.cancelled = cancel;
        outcome.error = m_state->error ? m_state->errorText : std::move(text);
        if (m_state->error && m_state->errorBranch >= 0) {
            outcome.failed = SourceKey{static_cast<std::size_t>(m_state->errorBranch / 4),
                                       m_state->errorBranch % 4};
        }
        return outcome;
    };
    if (!build()) {
        return failed(m_error);
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        !cue(cancel)) {
        return failed(m_error.empty() ? "the recordings could not be opened" : m_error);
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        return failed("the export could not start");
    }
    std::int64_t lastFrames = -1;
    auto lastChange = std::chrono::steady_clock::now();
    std::unique_lock guard(m_state->lock);
    while (!m_state->eos && !m_state->error && !cancel) {
        m_state->changed.wait_for(guard, std::chrono::milliseconds(100));
        const auto now = std::chrono::steady_clock::now();
        if (m_state->frames != lastFrames) {
            lastFrames = m_state->frames;
            lastChange = now;
        } else if (now - lastChange > kStallTimeout) {
            guard.unlock();
            return failed("the export stopped making progress");
        }
    }
    const bool done = m_state->eos && !m_state->error && !cancel;
    guard.unlock();
    if (!done) {
        return failed("cancelled");
    }
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    outcome.ok = true;
    outcome.frames = m_state->frames;
    return outcome;
}

}  // namespace qelv::media

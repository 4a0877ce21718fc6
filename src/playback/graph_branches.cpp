// The branches of a recording's graph, made as the parsers announce their streams: a video
// chain per camera channel and the front channel's sound chain, and the hand-over of decoded
// pictures to the panes.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "playback/graph_elements.h"
#include "playback/playback_graph.h"
#include "playback/playback_graph_channel.h"
#include "playback/sample_frames.h"

namespace qelv::media {

namespace {

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

// A late-picture report makes a decoder skip every picture due before the late one's time
// plus twice its lateness: at 2.0x one picture 5 ms late on an idle machine costs the next two.
// The rear and third hear of lateness only once it passes this, so a moment's delay is shown
// late instead of lost, while a machine that cannot keep up still makes them skip to catch up.
constexpr GstClockTimeDiff kRearPatienceNs = 100'000'000;

GstPadProbeReturn holdBackSmallLateness(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_QOS) {
        return GST_PAD_PROBE_OK;
    }
    GstQOSType type = GST_QOS_TYPE_OVERFLOW;
    gdouble proportion = 1.0;
    GstClockTimeDiff lateness = 0;
    GstClockTime timestamp = GST_CLOCK_TIME_NONE;
    gst_event_parse_qos(event, &type, &proportion, &lateness, &timestamp);
    return lateness < kRearPatienceNs ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

}  // namespace

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
        if (channel >= 0 && channel < 3 && !graph->m_skipped[static_cast<std::size_t>(channel)] &&
            !graph->m_channels[static_cast<std::size_t>(channel)]->linked) {
            graph->linkVideo(channel, pad);
        }
    } else if (type.rfind("audio/", 0) == 0 && channel == 0 && graph->m_soundWanted &&
               !graph->m_sound) {
        graph->linkSound(pad);
    }
}

namespace {

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data) {
    if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
        PlaybackGraph::deliver(data, sample, true);
    }
    return GST_FLOW_OK;
}

// The picture a paused graph shows: after opening, after a seek, after a step.
GstFlowReturn onNewPreroll(GstAppSink* sink, gpointer data) {
    if (GstSample* sample = gst_app_sink_pull_preroll(sink)) {
        PlaybackGraph::deliver(data, sample, false);
    }
    return GST_FLOW_OK;
}

// Adds `chain` to the bin, links it in order and starts it; false (nothing added) when an
// element could not be made.
bool addChain(GstElement* bin, const std::vector<GstElement*>& chain, int branch) {
    if (std::any_of(chain.begin(), chain.end(), [](GstElement* e) { return e == nullptr; })) {
        for (GstElement* e : chain) {
            discard({e});
        }
        return false;
    }
    for (GstElement* e : chain) {
        tagBranch(e, branch);
        gst_bin_add(GST_BIN(bin), e);
    }
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        gst_element_link(chain[i], chain[i + 1]);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        gst_element_sync_state_with_parent(*it);
    }
    return true;
}

bool linkInto(GstPad* pad, GstElement* head) {
    GstPad* sinkPad = gst_element_get_static_pad(head, "sink");
    const bool linked = gst_pad_link(pad, sinkPad) == GST_PAD_LINK_OK;
    gst_object_unref(sinkPad);
    return linked;
}

}  // namespace

void PlaybackGraph::linkVideo(int index, GstPad* pad) {
    Channel& c = *m_channels[static_cast<std::size_t>(index)];
    const auto k = static_cast<std::size_t>(index);
    GstElement* queue = makeElement("queue");
    GstElement* decoder = makeElement(m_decoderName.c_str(), kDecoderNames[k]);
    if (decoder == nullptr && m_decoderName != kSoftwareH264Decoder) {
        m_decoderName = kSoftwareH264Decoder;  // gone since it was listed
        decoder = makeElement(kSoftwareH264Decoder, kDecoderNames[k]);
    }
    // Without the picture-settings elements the channel still plays, unadjusted.
    GstElement* balance = makeElement("videobalance");
    GstElement* flip = makeElement("videoflip");
    GstElement* convert = makeElement("videoconvert", kConverterNames[k]);
    GstElement* filter = makeElement("capsfilter");
    GstElement* sink = makeElement("appsink", kRendererNames[k]);
    std::vector<GstElement*> chain{queue, makeElement("h264parse"), decoder};
    for (GstElement* optional : {balance, flip}) {
        if (optional != nullptr) {
            chain.push_back(optional);
        }
    }
    chain.insert(chain.end(), {convert, filter, sink});
    if (convert != nullptr) {
        g_object_set(convert, "n-threads", 0, nullptr);
    }
    if (filter != nullptr) {
        // The decoder's own format passes the converter untouched; panes convert what they
        // paint.
        GstCaps* i420 = gst_caps_from_string("video/x-raw,format=I420");
        g_object_set(filter, "caps", i420, nullptr);
        gst_caps_unref(i420);
    }
    if (index == 0 && decoder != nullptr &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(decoder), "qos") != nullptr) {
        // The front decoder decodes every picture: one a moment late is still shown (the
        // sink drops only those too late to be worth it), where skipping it on a busy machine's
        // first hiccup starts a run of lost pictures. The rear and third skip what comes late.
        g_object_set(decoder, "qos", FALSE, nullptr);
    }
    if (sink != nullptr) {
        g_object_set(sink, "sync", m_synchronised ? TRUE : FALSE, "max-buffers", 2, "drop", FALSE,
                     "qos", m_synchronised ? TRUE : FALSE, nullptr);
        if (index == 0) {
            constexpr gint64 kFrontLatenessNs = 150'000'000;
            g_object_set(sink, "max-lateness", kFrontLatenessNs, nullptr);
        } else {
            GstPad* input = gst_element_get_static_pad(sink, "sink");
            gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, holdBackSmallLateness,
                              nullptr, nullptr);
            gst_object_unref(input);
        }
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = onNewSample;
        callbacks.new_preroll = onNewPreroll;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &c, nullptr);
    }
    if (!addChain(m_pipeline, chain, index)) {
        return;
    }
    {
        const std::lock_guard guard(c.lock);
        c.head = queue;
        c.decoder = decoder;
        c.balance = balance;
        c.flip = flip;
        c.sink = sink;
    }
    c.linked = linkInto(pad, queue);
    applySettings(index);
}

void PlaybackGraph::linkSound(GstPad* pad) {
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    const bool pcm = gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/x-raw");
    gst_caps_unref(caps);
    std::vector<GstElement*> chain{makeElement("queue")};
    if (!pcm) {
        chain.push_back(makeElement("aacparse"));
        chain.push_back(makeElement("avdec_aac", kAudioDecoderName));
    }
    chain.push_back(makeElement("audioconvert"));
    chain.push_back(makeElement("scaletempo"));
    GstElement* volume = makeElement("volume");
    chain.push_back(volume);
    chain.push_back(makeElement("audioconvert"));
    chain.push_back(makeElement("audioresample"));
    // The desktop's sound when there is one; a silent sink that keeps time otherwise.
    GstElement* sink =
        soundDeviceLikely() ? makeElement("autoaudiosink", kAudioRendererName) : nullptr;
    if (sink == nullptr ||
        gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        if (sink != nullptr) {
            gst_element_set_state(sink, GST_STATE_NULL);
            discard({sink});
        }
        sink = makeElement("fakesink", kAudioRendererName);
        if (sink != nullptr) {
            g_object_set(sink, "sync", TRUE, nullptr);
        }
    }
    if (sink != nullptr && !m_synchronised) {
        g_object_set(sink, "sync", FALSE, nullptr);
    }
    chain.push_back(sink);
    if (!addChain(m_pipeline, chain, kSoundBranch)) {
        return;  // a recording without sound still plays
    }
    m_volume = volume;
    m_soundSink = sink;
    m_soundHead = chain.front();
    m_sound = linkInto(pad, chain.front());
}

void PlaybackGraph::deliver(void* channelData, GstSample* sample, bool playing) {
    auto& c = *static_cast<Channel*>(channelData);
    std::shared_ptr<VideoFrame> frame = frameOfSample(sample);
    if (!frame) {
        return;
    }
    // Handed over under the channel's lock: a surface that the interface thread re-targets,
    // moves or zooms meanwhile never gets this picture at the place it had before. present()
    // only keeps the frame and asks for a paint, so the lock is held for moments.
    const std::lock_guard guard(c.lock);
    c.last = frame;
    if (playing) {
        ++c.shown;
    }
    if (c.surface != nullptr) {
        c.surface->present(frame, c.destination);
    }
}

}  // namespace qelv::media

// The export pipeline's callbacks, which run on GStreamer's streaming threads.
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>

#include "export/export_graph_state.h"
#include "playback/graph_bus.h"
#include "playback/graph_elements.h"

namespace qelv::media::detail {

GstCaps* videoCaps(int width, int height, bool rate) {
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                        G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    if (rate) {
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, kExportFps, 1, nullptr);
    }
    return caps;
}

GstCaps* soundCaps() {
    return gst_caps_from_string(
        "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2");
}

GstElement* capsFilter(GstCaps* caps) {
    GstElement* filter = makeElement("capsfilter");
    if (filter != nullptr) {
        g_object_set(filter, "caps", caps, nullptr);
    }
    gst_caps_unref(caps);
    return filter;
}

namespace {

// Adds the chain to the pipeline, links it in order and to `target`, offsets its output by
// `offsetNs` and starts it; false (nothing added) when an element is missing.
bool addChain(GstElement* pipeline, const std::vector<GstElement*>& chain, int branch,
              GstPad* target, std::int64_t offsetNs) {
    if (std::any_of(chain.begin(), chain.end(), [](GstElement* e) { return e == nullptr; })) {
        for (GstElement* e : chain) {
            discard({e});
        }
        return false;
    }
    for (GstElement* e : chain) {
        tagBranch(e, branch);
        gst_bin_add(GST_BIN(pipeline), e);
    }
    bool linked = true;
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        linked = linked && gst_element_link(chain[i], chain[i + 1]);
    }
    GstPad* out = gst_element_get_static_pad(chain.back(), "src");
    gst_pad_set_offset(out, offsetNs);
    linked = linked && gst_pad_link(out, target) == GST_PAD_LINK_OK;
    gst_object_unref(out);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        gst_element_sync_state_with_parent(*it);
    }
    return linked;
}

// Holds the demuxer's pictures until every demuxer has been cued to its segment.
GstPadProbeReturn holdUntilCued(GstPad*, GstPadProbeInfo*, gpointer) {
    return GST_PAD_PROBE_OK;
}

}  // namespace

namespace {

// The front file's first picture is stamped at 0 for two periods; it is moved to the end of
// its lead, where the next pictures' spacing puts it, so that a cue at the lead starts with it.
GstPadProbeReturn restampFirstPicture(GstPad*, GstPadProbeInfo* info, gpointer data) {
    const auto leadNs = static_cast<GstClockTime>(static_cast<ExportGraph::Links*>(data)->leadNs);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (buffer == nullptr || !GST_BUFFER_PTS_IS_VALID(buffer) || GST_BUFFER_PTS(buffer) >= leadNs) {
        return GST_PAD_PROBE_OK;
    }
    buffer = gst_buffer_make_writable(buffer);
    const GstClockTime shiftNs = leadNs - GST_BUFFER_PTS(buffer);
    GST_BUFFER_PTS(buffer) = leadNs;
    if (GST_BUFFER_DTS_IS_VALID(buffer)) {
        GST_BUFFER_DTS(buffer) += shiftNs;
    }
    if (GST_BUFFER_DURATION_IS_VALID(buffer) && GST_BUFFER_DURATION(buffer) > shiftNs) {
        GST_BUFFER_DURATION(buffer) -= shiftNs;
    }
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

}  // namespace

void onDemuxPad(GstElement*, GstPad* pad, gpointer data) {
    auto& links = *static_cast<ExportGraph::Links*>(data);
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    const std::string type = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    GstElement* head = nullptr;
    if (type == "video/x-h264" && links.videoTarget != nullptr && !links.videoLinked) {
        GstElement* scale = makeElement("videoconvertscale");
        const std::vector<GstElement*> chain{
            makeElement("queue"), makeElement("h264parse"), makeElement("avdec_h264"), scale,
            capsFilter(videoCaps(links.region.width, links.region.height, false))};
        if (scale != nullptr) {
            g_object_set(scale, "add-borders", TRUE, nullptr);
        }
        if (addChain(links.pipeline, chain, links.branch, links.videoTarget, links.offsetNs)) {
            head = chain.front();
            links.videoLinked = true;
        }
    } else if (type.rfind("audio/", 0) == 0 && links.soundTarget != nullptr && !links.soundLinked) {
        const std::vector<GstElement*> chain{
            makeElement("queue"),        makeElement("aacparse"),      makeElement("avdec_aac"),
            makeElement("audioconvert"), makeElement("audioresample"), capsFilter(soundCaps())};
        // When the pictures stop early (an edited file), the muxer waits for pictures that
        // never come while the sound piles up. The compressed sound is small; its queue holds
        // all of it.
        if (chain.front() != nullptr) {
            g_object_set(chain.front(), "max-size-buffers", 0, "max-size-bytes", 0, "max-size-time",
                         guint64{0}, nullptr);
        }
        const int branch = links.branch - links.branch % 4 + kSoundChannel;
        if (addChain(links.pipeline, chain, branch, links.soundTarget, links.offsetNs)) {
            head = chain.front();
            links.soundLinked = true;
        }
    }
    if (head == nullptr) {
        // The telemetry track, or a stream this demuxer does not give to the clip: dropped.
        // Left unlinked, a demuxer whose other streams are missing fails as a whole.
        GstElement* drop = makeElement("fakesink");
        if (drop != nullptr) {
            g_object_set(drop, "sync", FALSE, "async", FALSE, nullptr);
            tagBranch(drop, links.branch);
            gst_bin_add(GST_BIN(links.pipeline), drop);
            gst_element_sync_state_with_parent(drop);
            GstPad* sink = gst_element_get_static_pad(drop, "sink");
            gst_pad_link(pad, sink);
            gst_object_unref(sink);
        }
        return;
    }
    if (links.leadNs > 0 && type == "video/x-h264") {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, restampFirstPicture, &links, nullptr);
    }
    const gulong probe = gst_pad_add_probe(
        pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        holdUntilCued, nullptr, nullptr);
    {
        const std::lock_guard guard(links.state->lock);
        links.state->blocks.emplace_back(GST_PAD(gst_object_ref(pad)), probe);
    }
    GstPad* sink = gst_element_get_static_pad(head, "sink");
    gst_pad_link(pad, sink);
    gst_object_unref(sink);
}

void onNoMorePads(GstElement*, gpointer data) {
    auto& links = *static_cast<ExportGraph::Links*>(data);
    auto& state = *links.state;
    // A stream the file turned out not to have ends at once: the compositor and the mixer
    // wait for every pad they were given.
    if (links.videoTarget != nullptr && !links.videoLinked) {
        gst_pad_send_event(links.videoTarget, gst_event_new_eos());
    }
    if (links.soundTarget != nullptr && !links.soundLinked) {
        gst_pad_send_event(links.soundTarget, gst_event_new_eos());
    }
    {
        const std::lock_guard guard(state.lock);
        --state.demuxersAnnouncing;
    }
    state.changed.notify_all();
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto& state = *static_cast<ExportGraph::State*>(data);
    {
        const std::lock_guard guard(state.lock);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            state.eos = true;
        } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && !state.error) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            state.error = true;
            state.errorText =
                error != nullptr && error->message != nullptr ? error->message : "error";
            state.errorBranch = branchOf(GST_MESSAGE_SRC(message));
            if (error != nullptr) {
                g_error_free(error);
            }
        }
    }
    state.changed.notify_all();
    gst_message_unref(message);
    return GST_BUS_DROP;
}

// Each composed picture: the labels of the places left black, the overlay line, the count
// and the progress.
GstPadProbeReturn onComposed(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto& state = *static_cast<ExportGraph::State*>(data);
    GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    const std::int64_t atNs =
        GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<std::int64_t>(GST_BUFFER_PTS(buffer)) : 0;
    GstVideoFrame frame;
    if (gst_video_frame_map(&frame, &state.video, buffer, GST_MAP_READWRITE)) {
        I420View view{};
        for (int p = 0; p < 3; ++p) {
            view.planes[p] = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, p));
            view.strides[p] = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p);
        }
        view.width = GST_VIDEO_FRAME_WIDTH(&frame);
        view.height = GST_VIDEO_FRAME_HEIGHT(&frame);
        for (const auto& label : state.labels) {
            if (atNs < label.fromNs || atNs >= label.toNs) {
                continue;
            }
            // An inset lies over the front camera's picture: its place is blacked out first.
            const Region& r = label.region;
            fillBlack(view, r.x, r.y, r.width, r.height);
            burnLines(view, r.x + (r.width - label.text.width()) / 2,
                      r.y + (r.height - label.text.height()) / 2, label.text, true);
        }
        if (state.overlay != nullptr) {
            // The line's band at the bottom left; a narrow picture gets smaller dots, or more
            // lines, rather than a cut line.
            const int scale = std::max(1, view.height / 200);
            const FittedText line = fitText(state.overlay->lineAt(atNs), view.width - 8 * scale,
                                            textBoxHeight(scale), scale);
            burnLines(view, 4 * scale, view.height - line.height() - 4 * scale, line, false);
        }
        gst_video_frame_unmap(&frame);
    }
    const std::int64_t frames = ++state.frames;
    if (state.progress != nullptr && *state.progress && frames % 5 == 1) {
        (*state.progress)({std::min(atNs, state.totalNs), state.totalNs});
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace qelv::media::detail

#include "export/clip_check.h"

#include <gst/gst.h>

#include <atomic>
#include <chrono>

#include "playback/graph_elements.h"
#include "playback/gst_runtime.h"

namespace qelv::media {

namespace {

// What the demuxer showed, counted on its streaming threads.
struct Seen {
    GstElement* pipeline = nullptr;
    std::atomic<int> pictures{0};
    std::atomic<int> sounds{0};
    std::atomic<int> streams{0};
    std::atomic<int> streamsWithData{0};
    std::atomic<bool> allShown{false};
};

GstPadProbeReturn onFirstSample(GstPad*, GstPadProbeInfo*, gpointer data) {
    ++static_cast<Seen*>(data)->streamsWithData;
    return GST_PAD_PROBE_REMOVE;
}

void onStream(GstElement*, GstPad* pad, gpointer data) {
    auto& seen = *static_cast<Seen*>(data);
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    const GstStructure* first =
        caps != nullptr && !gst_caps_is_empty(caps) ? gst_caps_get_structure(caps, 0) : nullptr;
    const std::string type = first != nullptr ? gst_structure_get_name(first) : "";
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    ++seen.streams;
    if (type.rfind("video/", 0) == 0) {
        ++seen.pictures;
    } else if (type.rfind("audio/", 0) == 0) {
        ++seen.sounds;
    }
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onFirstSample, &seen, nullptr);
    GstElement* queue = makeElement("queue");
    GstElement* sink = makeElement("fakesink");
    if (queue == nullptr || sink == nullptr) {
        discard({queue, sink});
        return;
    }
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(seen.pipeline), queue, sink, nullptr);
    gst_element_link(queue, sink);
    gst_element_sync_state_with_parent(sink);
    gst_element_sync_state_with_parent(queue);
    GstPad* in = gst_element_get_static_pad(queue, "sink");
    gst_pad_link(pad, in);
    gst_object_unref(in);
}

void onAllStreams(GstElement*, gpointer data) {
    static_cast<Seen*>(data)->allShown = true;
}

// Runs the pipeline until every stream gave a sample, the demuxer fails or ends, or the time
// is up; the demuxer's error, or empty.
std::string runUntilShown(Seen& seen, GstBus* bus, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!(seen.allShown && seen.streamsWithData == seen.streams)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return "it could not be opened within " + std::to_string(timeoutMs / 1000) + " s";
        }
        GstMessage* message = gst_bus_timed_pop_filtered(
            bus, 20 * GST_MSECOND,
            static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
        if (message == nullptr) {
            continue;
        }
        std::string error;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* e = nullptr;
            gst_message_parse_error(message, &e, nullptr);
            error = e != nullptr && e->message != nullptr ? e->message : "an error";
            if (e != nullptr) {
                g_error_free(e);
            }
        }
        gst_message_unref(message);
        // At the end every stream that has samples has given one.
        return error.empty() ? std::string() : "the demuxer refuses it: " + error;
    }
    return {};
}

}  // namespace

std::optional<std::string> clipOpenProblem(const std::string& path, bool sound, int timeoutMs) {
    ensureGstreamer();
    GstElement* source = makeElement("filesrc");
    GstElement* demuxer = makeElement("qtdemux");
    if (source == nullptr || demuxer == nullptr) {
        discard({source, demuxer});
        return "the MP4 demuxer (qtdemux) is not installed";
    }
    Seen seen;
    seen.pipeline = gst_pipeline_new("QelvClipCheck");
    g_object_set(source, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(seen.pipeline), source, demuxer, nullptr);
    gst_element_link(source, demuxer);
    g_signal_connect(demuxer, "pad-added", G_CALLBACK(onStream), &seen);
    g_signal_connect(demuxer, "no-more-pads", G_CALLBACK(onAllStreams), &seen);
    GstBus* bus = gst_element_get_bus(seen.pipeline);
    std::string problem;
    if (gst_element_set_state(seen.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        problem = "the demuxer refuses it";
    }
    if (problem.empty()) {
        problem = runUntilShown(seen, bus, timeoutMs);
    }
    gst_element_set_state(seen.pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(seen.pipeline);
    if (!problem.empty()) {
        return problem;
    }
    if (seen.pictures != 1) {
        return "it holds " + std::to_string(seen.pictures) + " picture streams, not one";
    }
    if (seen.sounds != (sound ? 1 : 0)) {
        return "it holds " + std::to_string(seen.sounds) + " sound streams, not " +
               (sound ? "one" : "none");
    }
    if (seen.streamsWithData != seen.streams) {
        return "a stream of it holds no sample";
    }
    return std::nullopt;
}

}  // namespace qelv::media

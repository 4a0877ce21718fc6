#include "gst_decode.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include "playback/gst_runtime.h"

namespace qelv::test {

namespace {

Decoded run(const std::string& description, bool keepFirst) {
    media::ensureGstreamer();
    Decoded result;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        result.error = error->message;
        g_error_free(error);
        if (pipeline) {
            gst_object_unref(pipeline);
        }
        return result;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        if (keepFirst && result.frames == 0) {
            GstCaps* caps = gst_sample_get_caps(sample);
            const GstStructure* s = gst_caps_get_structure(caps, 0);
            gst_structure_get_int(s, "width", &result.width);
            gst_structure_get_int(s, "height", &result.height);
            GstMapInfo map;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                result.first.assign(map.data, map.data + map.size);
                gst_buffer_unmap(buffer, &map);
            }
        }
        ++result.frames;
        gst_sample_unref(sample);
    }
    GstBus* bus = gst_element_get_bus(pipeline);
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* e = nullptr;
        gst_message_parse_error(message, &e, nullptr);
        result.error = e ? e->message : "error";
        if (e) {
            g_error_free(e);
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return result;
}

}  // namespace

Decoded decodeVideo(const std::filesystem::path& path) {
    return run("filesrc location=\"" + path.string() +
                   "\" ! qtdemux ! h264parse ! avdec_h264 ! videoconvert ! "
                   "video/x-raw,format=RGB ! appsink name=sink sync=false",
               true);
}

Decoded decodeAviVideo(const std::filesystem::path& path, int stream) {
    return run("filesrc location=\"" + path.string() + "\" ! avidemux name=d d.video_" +
                   std::to_string(stream) +
                   " ! h264parse ! avdec_h264 ! videoconvert ! video/x-raw,format=RGB ! "
                   "appsink name=sink sync=false",
               true);
}

Decoded decodeAudio(const std::filesystem::path& path) {
    return run("filesrc location=\"" + path.string() +
                   "\" ! qtdemux ! aacparse ! avdec_aac ! appsink name=sink sync=false",
               false);
}

MeanColour bottomColour(const Decoded& d) {
    double r = 0, g = 0, b = 0;
    std::size_t count = 0;
    const std::size_t stride = (static_cast<std::size_t>(d.width) * 3 + 3) & ~std::size_t{3};
    for (int y = d.height * 3 / 4; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            const std::size_t at =
                static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
            if (at + 2 >= d.first.size()) {
                continue;
            }
            r += d.first[at];
            g += d.first[at + 1];
            b += d.first[at + 2];
            ++count;
        }
    }
    if (count == 0) {
        return {0, 0, 0};
    }
    return {r / count, g / count, b / count};
}

}  // namespace qelv::test

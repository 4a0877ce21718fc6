#include "simulator/gst_encoder.h"

#include "playback/gst_runtime.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cstring>
#include <stdexcept>

namespace qelv::sim {

GstEncoder::GstEncoder(const std::string& description, Output output)
    : m_output(std::move(output)) {
    media::ensureGstreamer();
    GError* error = nullptr;
    m_pipeline = gst_parse_launch(description.c_str(), &error);
    if (m_pipeline == nullptr || error != nullptr) {
        const std::string why = error ? error->message : "unknown error";
        if (error) {
            g_error_free(error);
        }
        if (m_pipeline) {
            gst_object_unref(m_pipeline);
        }
        throw std::runtime_error("cannot build encoder '" + description + "': " + why);
    }
    m_src = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
    m_sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "sink");
    if (m_src == nullptr || m_sink == nullptr ||
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        release();
        throw std::runtime_error("cannot start encoder '" + description + "'");
    }
}

GstEncoder::~GstEncoder() {
    release();
}

void GstEncoder::release() {
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }
    if (m_src) {
        gst_object_unref(m_src);
    }
    if (m_sink) {
        gst_object_unref(m_sink);
    }
    if (m_pipeline) {
        gst_object_unref(m_pipeline);
    }
    if (m_pool) {
        gst_buffer_pool_set_active(m_pool, FALSE);
        gst_object_unref(m_pool);
    }
    m_pipeline = m_src = m_sink = nullptr;
    m_pool = nullptr;
}

void GstEncoder::push(std::span<const std::uint8_t> data, std::uint64_t ptsNs,
                      std::uint64_t durationNs) {
    if (m_pool == nullptr) {
        m_pool = gst_buffer_pool_new();
        m_poolSize = data.size();
        GstStructure* config = gst_buffer_pool_get_config(m_pool);
        gst_buffer_pool_config_set_params(config, nullptr, static_cast<guint>(m_poolSize), 0, 0);
        if (!gst_buffer_pool_set_config(m_pool, config) ||
            !gst_buffer_pool_set_active(m_pool, TRUE)) {
            gst_object_unref(m_pool);
            m_pool = nullptr;
            throw std::runtime_error("cannot make the encoder's buffers");
        }
    }
    GstBuffer* buffer = nullptr;
    if (data.size() != m_poolSize ||
        gst_buffer_pool_acquire_buffer(m_pool, &buffer, nullptr) != GST_FLOW_OK) {
        buffer = gst_buffer_new_allocate(nullptr, data.size(), nullptr);
    }
    gst_buffer_fill(buffer, 0, data.data(), data.size());
    GST_BUFFER_PTS(buffer) = ptsNs;
    GST_BUFFER_DURATION(buffer) = durationNs;
    // appsrc takes the buffer; with block=true it waits while its queue is full.
    if (gst_app_src_push_buffer(GST_APP_SRC(m_src), buffer) != GST_FLOW_OK) {
        checkBus();
        throw std::runtime_error("the encoder refused a buffer");
    }
    drain(false);
}

void GstEncoder::finish() {
    gst_app_src_end_of_stream(GST_APP_SRC(m_src));
    drain(true);
    checkBus();
}

void GstEncoder::drain(bool untilEos) {
    for (;;) {
        GstSample* sample = untilEos ? gst_app_sink_pull_sample(GST_APP_SINK(m_sink))
                                     : gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), 0);
        if (sample == nullptr) {
            return;
        }
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            m_output(std::span<const std::uint8_t>(map.data, map.size));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
}

void GstEncoder::checkBus() {
    GstBus* bus = gst_element_get_bus(m_pipeline);
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (message == nullptr) {
        return;
    }
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const std::string why = error ? error->message : "unknown error";
    if (error) {
        g_error_free(error);
    }
    gst_message_unref(message);
    throw std::runtime_error("encoder error: " + why);
}

}  // namespace qelv::sim

#include "playback/sample_frames.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstring>
#include <memory>

namespace qelv::media {

namespace {

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

std::shared_ptr<VideoFrame> frameOfSample(GstSample* sample) {
    auto owner = std::make_shared<SampleOwner>();
    owner->sample = sample;  // released with the owner, mapped or not
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (buffer == nullptr || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420 ||
        !gst_video_frame_map(&owner->frame, &info, buffer, GST_MAP_READ)) {
        return nullptr;
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
    return frame;
}

struct FrameScaler::Converter {
    GstVideoConverter* converter = nullptr;
    GstVideoInfo in{};
    GstVideoInfo out{};
    ~Converter() {
        if (converter != nullptr) {
            gst_video_converter_free(converter);
        }
    }
};

FrameScaler::FrameScaler() = default;
FrameScaler::~FrameScaler() = default;

bool FrameScaler::scale(const VideoFrame& frame, int width, int height, std::uint8_t* pixels,
                        int stride) {
    const auto* owner = static_cast<const SampleOwner*>(frame.owner.get());
    if (owner == nullptr || !owner->mapped || width <= 0 || height <= 0 || pixels == nullptr ||
        stride < width * 4) {
        return false;
    }
    const GstVideoInfo& in = owner->frame.info;
    if (!m_converter || !gst_video_info_is_equal(&m_converter->in, &in) ||
        GST_VIDEO_INFO_WIDTH(&m_converter->out) != width ||
        GST_VIDEO_INFO_HEIGHT(&m_converter->out) != height) {
        m_converter = std::make_unique<Converter>();
        m_converter->in = in;
        gst_video_info_set_format(&m_converter->out, GST_VIDEO_FORMAT_BGRA,
                                  static_cast<guint>(width), static_cast<guint>(height));
        // The converter wants the same frame rate and interlacing on both sides.
        GST_VIDEO_INFO_FPS_N(&m_converter->out) = GST_VIDEO_INFO_FPS_N(&in);
        GST_VIDEO_INFO_FPS_D(&m_converter->out) = GST_VIDEO_INFO_FPS_D(&in);
        GST_VIDEO_INFO_INTERLACE_MODE(&m_converter->out) = GST_VIDEO_INFO_INTERLACE_MODE(&in);
        // One thread: panes paint on the interface thread while decoders use the others.
        m_converter->converter = gst_video_converter_new(
            &m_converter->in, &m_converter->out,
            gst_structure_new("config", GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, 1u, nullptr));
        if (m_converter->converter == nullptr) {
            m_converter.reset();
            return false;
        }
    }
    GstVideoFrame dest{};
    dest.info = m_converter->out;
    dest.info.stride[0] = stride;
    dest.data[0] = pixels;
    gst_video_converter_frame(m_converter->converter, &owner->frame, &dest);
    return true;
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

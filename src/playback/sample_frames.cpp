#include "playback/sample_frames.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

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

// The row arithmetic built a second time for AVX2, chosen as the program loads. Not with the
// sanitizers: the choosing runs before their run-time is ready.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QELV_WITH_AVX2 __attribute__((target_clones("avx2", "default")))
#else
#define QELV_WITH_AVX2
#endif

// What a scale of one picture size to one destination size needs, made once per pair of
// sizes: the source column and row of every output pixel, and the colour coefficients of the
// stream's matrix and range in 16.16 fixed point.
struct FrameScaler::Converter {
    int inWidth = 0, inHeight = 0, outWidth = 0, outHeight = 0;
    GstVideoColorMatrix matrix = GST_VIDEO_COLOR_MATRIX_UNKNOWN;
    GstVideoColorRange range = GST_VIDEO_COLOR_RANGE_UNKNOWN;
    struct Column {
        int luma;  // luma column nearest to an output column's centre
        int left;  // the two columns around the centre, for the box
        int right;
        int chroma;  // the chroma column of the nearest luma column
    };
    struct Row {
        int luma;  // nearest luma row
        int top;   // the upper of the two rows around the centre, for the box
    };
    std::vector<Column> column;
    std::vector<Row> row;
    // Average two luma columns and rows (a 2 × 2 box) when the picture shrinks by half or
    // more, so that fine detail does not flicker; nearest otherwise.
    bool box = false;
    // Colour in 16.16 fixed point: luma (Y - lumaOffset) × lumaScale; chroma (C - 128) × each.
    int lumaOffset = 16, lumaScale = 0, redV = 0, greenU = 0, greenV = 0, blueU = 0;
    // One output row's samples, gathered before the arithmetic so that the arithmetic runs
    // over contiguous rows the compiler turns into vector instructions.
    std::vector<std::int32_t> rowLuma, rowU, rowV;
    std::vector<std::uint32_t> rowOut;  // for output rows not aligned to a pixel

    void build(const GstVideoInfo& info, int width, int height) {
        inWidth = GST_VIDEO_INFO_WIDTH(&info);
        inHeight = GST_VIDEO_INFO_HEIGHT(&info);
        outWidth = width;
        outHeight = height;
        matrix = info.colorimetry.matrix;
        range = info.colorimetry.range;
        column.resize(static_cast<std::size_t>(width));
        row.resize(static_cast<std::size_t>(height));
        // Centre of each output pixel mapped into the picture.
        for (int x = 0; x < width; ++x) {
            // The nearest column to the pixel's centre, and for the box the pair around it.
            const std::int64_t centre2 = (2LL * x + 1) * inWidth;  // twice the centre, × width
            const int nearest =
                static_cast<int>(std::min<std::int64_t>(centre2 / (2LL * width), inWidth - 1));
            const int left = static_cast<int>(std::clamp<std::int64_t>(
                (centre2 - width) / (2LL * width), 0, std::max(0, inWidth - 2)));
            column[static_cast<std::size_t>(x)] = {nearest, left, std::min(left + 1, inWidth - 1),
                                                   nearest / 2};
        }
        for (int y = 0; y < height; ++y) {
            const std::int64_t centre2 = (2LL * y + 1) * inHeight;
            row[static_cast<std::size_t>(y)] = {
                static_cast<int>(std::min<std::int64_t>(centre2 / (2LL * height), inHeight - 1)),
                static_cast<int>(std::clamp<std::int64_t>((centre2 - height) / (2LL * height), 0,
                                                          std::max(0, inHeight - 2)))};
        }
        box = inWidth >= 2 * width && inHeight >= 2 * height;
        // HD pictures that declare nothing are BT.709, smaller ones BT.601; limited range
        // unless the stream says full.
        const bool bt709 = matrix == GST_VIDEO_COLOR_MATRIX_BT709 ||
                           (matrix != GST_VIDEO_COLOR_MATRIX_BT601 && inHeight >= 720);
        const bool full = range == GST_VIDEO_COLOR_RANGE_0_255;
        const double kr = bt709 ? 0.2126 : 0.299;
        const double kb = bt709 ? 0.0722 : 0.114;
        const double yScale = full ? 1.0 : 255.0 / 219.0;
        const double cScale = full ? 1.0 : 255.0 / 224.0;
        const auto fixed = [](double v) { return static_cast<int>(std::lround(v * 65536.0)); };
        lumaOffset = full ? 0 : 16;
        lumaScale = fixed(yScale);
        redV = fixed(2.0 * (1.0 - kr) * cScale);
        blueU = fixed(2.0 * (1.0 - kb) * cScale);
        greenU = fixed(-2.0 * kb * (1.0 - kb) / (1.0 - kr - kb) * cScale);
        greenV = fixed(-2.0 * kr * (1.0 - kr) / (1.0 - kr - kb) * cScale);
        rowLuma.resize(static_cast<std::size_t>(width));
        rowU.resize(static_cast<std::size_t>(width));
        rowV.resize(static_cast<std::size_t>(width));
        rowOut.resize(static_cast<std::size_t>(width));
    }

    // B, G, R, 255 in memory order (the byte order of the machines we build for) from the
    // gathered samples of `count` pixels.
    QELV_WITH_AVX2 void convertRow(int count, std::uint32_t* out) const {
        static_assert(std::endian::native == std::endian::little);
        const std::int32_t* ys = rowLuma.data();
        const std::int32_t* us = rowU.data();
        const std::int32_t* vs = rowV.data();
        constexpr std::int32_t kTop = 255 << 16;
        for (int x = 0; x < count; ++x) {
            const std::int32_t base = (ys[x] - lumaOffset) * lumaScale + (1 << 15);  // rounds
            const std::int32_t u = us[x] - 128;
            const std::int32_t v = vs[x] - 128;
            const std::int32_t b = std::clamp(base + u * blueU, 0, kTop) >> 16;
            const std::int32_t g = std::clamp(base + u * greenU + v * greenV, 0, kTop) >> 16;
            const std::int32_t r = std::clamp(base + v * redV, 0, kTop) >> 16;
            out[x] = static_cast<std::uint32_t>(b | (g << 8) | (r << 16)) | 0xFF000000u;
        }
    }

    bool matches(const GstVideoInfo& info, int width, int height) const {
        return inWidth == GST_VIDEO_INFO_WIDTH(&info) && inHeight == GST_VIDEO_INFO_HEIGHT(&info) &&
               outWidth == width && outHeight == height && matrix == info.colorimetry.matrix &&
               range == info.colorimetry.range;
    }
};

FrameScaler::FrameScaler() = default;
FrameScaler::~FrameScaler() = default;

bool FrameScaler::scale(const VideoFrame& frame, int width, int height, std::uint8_t* pixels,
                        int stride) {
    return scale(frame, width, height, Rect{0, 0, width, height}, pixels, stride);
}

bool FrameScaler::scale(const VideoFrame& frame, int width, int height, Rect part,
                        std::uint8_t* pixels, int stride) {
    const auto* owner = static_cast<const SampleOwner*>(frame.owner.get());
    if (owner == nullptr || !owner->mapped || width <= 0 || height <= 0 || pixels == nullptr ||
        frame.width <= 0 || frame.height <= 0 || part.x < 0 || part.y < 0 || part.width <= 0 ||
        part.height <= 0 || part.x > width - part.width || part.y > height - part.height ||
        stride < part.width * 4) {
        return false;
    }
    const GstVideoInfo& info = owner->frame.info;
    if (!m_converter || !m_converter->matches(info, width, height)) {
        m_converter = std::make_unique<Converter>();
        m_converter->build(info, width, height);
    }
    Converter& c = *m_converter;
    const std::uint8_t* yPlane = frame.planes[0];
    const std::uint8_t* uPlane = frame.planes[1];
    const std::uint8_t* vPlane = frame.planes[2];
    const std::ptrdiff_t yStride = frame.strides[0];
    const std::ptrdiff_t uStride = frame.strides[1];
    const std::ptrdiff_t vStride = frame.strides[2];
    const int lastRow = c.inHeight - 1;
    const Converter::Column* columns = c.column.data() + part.x;
    std::int32_t* ys = c.rowLuma.data();
    std::int32_t* us = c.rowU.data();
    std::int32_t* vs = c.rowV.data();
    for (int y = part.y; y < part.y + part.height; ++y) {
        const Converter::Row& r = c.row[static_cast<std::size_t>(y)];
        const std::uint8_t* nearest = yPlane + r.luma * yStride;
        const std::uint8_t* y0 = yPlane + r.top * yStride;
        const std::uint8_t* y1 = yPlane + std::min(r.top + 1, lastRow) * yStride;
        const std::uint8_t* uRow = uPlane + (r.luma / 2) * uStride;
        const std::uint8_t* vRow = vPlane + (r.luma / 2) * vStride;
        if (c.box) {
            for (int x = 0; x < part.width; ++x) {
                const Converter::Column& k = columns[x];
                ys[x] = (y0[k.left] + y0[k.right] + y1[k.left] + y1[k.right] + 2) >> 2;
                us[x] = uRow[k.chroma];
                vs[x] = vRow[k.chroma];
            }
        } else {
            for (int x = 0; x < part.width; ++x) {
                const Converter::Column& k = columns[x];
                ys[x] = nearest[k.luma];
                us[x] = uRow[k.chroma];
                vs[x] = vRow[k.chroma];
            }
        }
        std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y - part.y) * stride;
        if (reinterpret_cast<std::uintptr_t>(out) % alignof(std::uint32_t) == 0) {
            c.convertRow(part.width, reinterpret_cast<std::uint32_t*>(out));
        } else {
            c.convertRow(part.width, c.rowOut.data());
            std::memcpy(out, c.rowOut.data(), static_cast<std::size_t>(part.width) * 4);
        }
    }
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

// Converting and scaling a decoded picture to a pane's size, as the viewer does for every
// picture it paints: the recorder's 1080p front and 720p rear pictures to pane sizes a two-pane
// and a full-screen layout give (box-filtered when shrinking by half or more, nearest otherwise).
#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <vector>

#include "playback/gst_runtime.h"
#include "playback/sample_frames.h"

namespace {

std::shared_ptr<qelv::media::VideoFrame> picture(int width, int height) {
    qelv::media::ensureGstreamer();
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, static_cast<guint>(width),
                              static_cast<guint>(height));
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (gsize i = 0; i < map.size; ++i) {
        map.data[i] = static_cast<guint8>((i * 7) ^ (i >> 9));  // detail everywhere
    }
    gst_buffer_unmap(buffer, &map);
    GstCaps* caps = gst_video_info_to_caps(&info);
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
    return qelv::media::frameOfSample(sample);
}

void scale(benchmark::State& state) {
    const auto frame = picture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int w = static_cast<int>(state.range(2));
    const int h = static_cast<int>(state.range(3));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
    qelv::media::FrameScaler scaler;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scaler.scale(*frame, w, h, pixels.data(), w * 4));
        benchmark::ClobberMemory();
    }
    state.counters["ns/pixel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * w * h,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(scale)
    ->Args({1920, 1080, 800, 450})   // front, two-pane layout
    ->Args({1280, 720, 400, 225})    // rear beside it
    ->Args({1920, 1080, 1600, 900})  // front, full screen
    ->Args({1280, 720, 960, 540})    // rear, larger than half
    ->Unit(benchmark::kMicrosecond);

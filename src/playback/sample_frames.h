// Decoded pictures handed out without a copy: a frame keeps its GStreamer sample mapped for
// as long as any pane or snapshot holds it.
#pragma once

#include <memory>

#include "playback/playback_types.h"
#include "playback/video_surface.h"

typedef struct _GstSample GstSample;

namespace qelv::media {

// A frame over `sample`'s picture, taking over the caller's reference; null (and the sample
// released) when the sample holds no I420 picture.
std::shared_ptr<VideoFrame> frameOfSample(GstSample* sample);

// Turns decoded pictures into 32-bit BGRA (rows top-down) at the size a pane draws them, in
// one pass: each output pixel reads only the samples it needs (a 2 × 2 luma box when the
// picture shrinks by half or more, the nearest sample otherwise) and converts them with the
// stream's colour matrix through lookup tables. Never a full-size copy first: panes repaint
// three channels up to 60 times a second. Keeps its tables while the sizes stay the same.
// One thread at a time.
class FrameScaler {
public:
    FrameScaler();
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Writes `frame` scaled to width × height into `pixels` (`stride` bytes a row, at least
    // width × 4). False when the frame holds no picture or a size is not positive.
    bool scale(const VideoFrame& frame, int width, int height, std::uint8_t* pixels, int stride);
    // Only `part` (in the scaled picture's coordinates, within width × height) of the picture
    // scaled to width × height, written from its top-left corner: what a pane shows of a
    // zoomed picture larger than itself.
    bool scale(const VideoFrame& frame, int width, int height, Rect part, std::uint8_t* pixels,
               int stride);

private:
    struct Converter;
    std::unique_ptr<Converter> m_converter;
};

}  // namespace qelv::media

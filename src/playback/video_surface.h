// Where the engine hands a channel's pictures: a pane of the user interface, or a headless
// surface in tests and the command-line player.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "playback/playback_types.h"

namespace qelv::media {

// One decoded picture as the decoder made it: planar YUV 4:2:0 (I420), three planes. The
// planes belong to the decoder's buffer, which `owner` keeps alive: no copy and no colour
// conversion is made per frame; a pane converts only the pictures it paints (toBgra).
struct VideoFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::array<const std::uint8_t*, 3> planes{};  // Y, U, V
    std::array<std::int32_t, 3> strides{};        // bytes a row of each plane
    std::shared_ptr<void> owner;
    std::int64_t ptsNs = 0;
};

// A picture in 32-bit BGRA, rows top-down, as panes paint and snapshots save it.
struct Snapshot {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

// Converts a frame with the colours the stream declares (BT.709 for HD, BT.601 below when it
// declares none). False when the frame holds no picture.
bool toBgra(const VideoFrame& frame, Snapshot& out);

// Threads: width(), height() and place() are called only on the engine's thread (the thread
// that opens recordings and zooms, the viewer's main thread); the engine reads the size when
// a recording is opened, a pane is re-targeted or zoomed, never while pictures stream.
// present() is called on a GStreamer streaming thread, one per channel, and also on the
// engine's thread when a picture is repainted; it must be safe against both and must not
// block (keep the newest frame and ask for a paint).
class VideoSurface {
public:
    virtual ~VideoSurface() = default;
    // The pane's client size, in pixels. Engine thread only.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // The newest frame and where in the pane to draw it (the zoom and drag rectangle). The
    // surface keeps the frame.
    virtual void present(std::shared_ptr<const VideoFrame> frame, Rect destination) = 0;
    // Only the destination changed. Engine thread only.
    virtual void place(Rect destination) = 0;
};

}  // namespace qelv::media

// Where the engine hands a channel's pictures: a pane of the user interface, or a headless
// surface in tests and the command-line player.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "playback/playback_types.h"

namespace qelv::media {

// One decoded picture, 32-bit BGRA rows top-down. The pixels belong to the decoder's buffer,
// which `owner` keeps alive: no copy is made per frame.
struct VideoFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;  // bytes a row
    const std::uint8_t* pixels = nullptr;
    std::shared_ptr<void> owner;
    std::int64_t ptsNs = 0;
};

class VideoSurface {
public:
    virtual ~VideoSurface() = default;
    // The pane's client size, in pixels.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // Called from a streaming thread with the newest frame and where in the pane to draw it
    // (the zoom and drag rectangle). The surface keeps the frame; it must not block.
    virtual void present(std::shared_ptr<const VideoFrame> frame, Rect destination) = 0;
    // Called on the engine's thread when only the destination changed.
    virtual void place(Rect destination) = 0;
};

}  // namespace qelv::media

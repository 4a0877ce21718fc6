// A pane for engine tests: keeps the last picture it was given and where it was to be drawn.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>

#include "playback/video_surface.h"

namespace qelv::media {

// Rectangles in test messages: "(x, y) w x h".
inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << "(" << r.x << ", " << r.y << ") " << r.width << " x " << r.height;
}

}  // namespace qelv::media

namespace qelv::test {

class HeadlessSurface : public media::VideoSurface {
public:
    HeadlessSurface(std::int32_t w, std::int32_t h) : m_width(w), m_height(h) {}
    std::int32_t width() const override { return m_width; }
    std::int32_t height() const override { return m_height; }
    void present(std::shared_ptr<const media::VideoFrame> frame, media::Rect destination) override {
        const std::lock_guard guard(m_lock);
        m_frame = std::move(frame);
        m_destination = destination;
        m_presentedAt = destination;
        ++m_presented;
    }
    void place(media::Rect destination) override {
        const std::lock_guard guard(m_lock);
        m_destination = destination;
    }
    // Where the picture is to be drawn now (last present or place).
    media::Rect destination() const {
        const std::lock_guard guard(m_lock);
        return m_destination;
    }
    // Where the last picture handed over was to be drawn.
    media::Rect presentedAt() const {
        const std::lock_guard guard(m_lock);
        return m_presentedAt;
    }
    // The last picture handed over.
    std::shared_ptr<const media::VideoFrame> frame() const {
        const std::lock_guard guard(m_lock);
        return m_frame;
    }
    int presented() const {
        const std::lock_guard guard(m_lock);
        return m_presented;
    }

private:
    std::int32_t m_width, m_height;
    mutable std::mutex m_lock;
    std::shared_ptr<const media::VideoFrame> m_frame;
    media::Rect m_destination;
    media::Rect m_presentedAt;
    int m_presented = 0;
};

}  // namespace qelv::test

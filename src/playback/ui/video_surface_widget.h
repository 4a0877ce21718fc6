// The surface a video pane shows its channel on: it takes the engine's newest picture on a
// streaming thread, keeps only that one, and paints it on the interface thread, converted and
// scaled in one pass to where the engine places it (zoomed and panned pictures may be larger
// than the surface; what lies outside is cut off). Without a picture it is black.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

#include "playback/sample_frames.h"
#include "playback/video_surface.h"

namespace qelv::ui {

class VideoSurfaceWidget : public QWidget, public media::VideoSurface {
    Q_OBJECT
public:
    explicit VideoSurfaceWidget(QWidget* parent = nullptr);

    // Engine thread (the interface thread).
    std::int32_t width() const override { return QWidget::width(); }
    std::int32_t height() const override { return QWidget::height(); }
    void place(media::Rect destination) override;
    // Any thread; never blocks on painting.
    void present(std::shared_ptr<const media::VideoFrame> frame, media::Rect destination) override;

    // Forgets the picture (the pane shows its empty face).
    void clear();
    // Pictures painted so far (each paint of a new picture counts once).
    int paintedFrames() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::mutex m_lock;  // guards m_frame and m_destination
    std::shared_ptr<const media::VideoFrame> m_frame;
    media::Rect m_destination;
    std::atomic<bool> m_paintQueued{false};
    bool m_newFrame = false;
    media::FrameScaler m_scaler;
    QImage m_scaled;
    int m_painted = 0;
};

}  // namespace qelv::ui

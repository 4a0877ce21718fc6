#include "playback/ui/video_surface_widget.h"

#include <QPainter>

namespace qelv::ui {

VideoSurfaceWidget::VideoSurfaceWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoSurfaceWidget::place(media::Rect destination) {
    {
        const std::lock_guard guard(m_lock);
        m_destination = destination;
    }
    update();
}

void VideoSurfaceWidget::present(std::shared_ptr<const media::VideoFrame> frame,
                                 media::Rect destination) {
    {
        const std::lock_guard guard(m_lock);
        m_frame = std::move(frame);
        m_destination = destination;
        m_newFrame = true;
    }
    // One paint request at a time: pictures that arrive before it runs replace each other.
    if (!m_paintQueued.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { update(); }, Qt::QueuedConnection);
    }
}

void VideoSurfaceWidget::clear() {
    {
        const std::lock_guard guard(m_lock);
        m_frame.reset();
    }
    update();
}

void VideoSurfaceWidget::paintEvent(QPaintEvent*) {
    m_paintQueued = false;
    std::shared_ptr<const media::VideoFrame> frame;
    media::Rect destination;
    bool fresh = false;
    {
        const std::lock_guard guard(m_lock);
        frame = m_frame;
        destination = m_destination;
        fresh = std::exchange(m_newFrame, false);
    }
    QPainter painter(this);
    const QRect placed(destination.x, destination.y, destination.width, destination.height);
    // Only the part of a zoomed picture that lies on the surface is converted.
    const QRect shown = frame ? placed.intersected(rect()) : QRect();
    if (shown != rect()) {
        painter.fillRect(rect(), Qt::black);  // around a smaller picture, or no picture
    }
    if (shown.isEmpty()) {
        return;
    }
    if (m_scaled.size() != shown.size()) {
        m_scaled = QImage(shown.size(), QImage::Format_RGB32);
    }
    const media::Rect part{shown.x() - placed.x(), shown.y() - placed.y(), shown.width(),
                           shown.height()};
    if (m_scaler.scale(*frame, destination.width, destination.height, part, m_scaled.bits(),
                       static_cast<int>(m_scaled.bytesPerLine()))) {
        painter.drawImage(shown.topLeft(), m_scaled);
        m_painted += fresh ? 1 : 0;
    }
}

}  // namespace qelv::ui

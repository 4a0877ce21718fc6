#include "skin/body_drag.h"

#include <QWindow>

#include "skin/window_guard.h"

namespace qelv::ui {

bool BodyDrag::press(QWidget* window, QMouseEvent* event, bool allowed) {
    if (event->button() != Qt::LeftButton || !allowed || windowGuarded(window)) {
        return false;
    }
    if (window->windowHandle() != nullptr && window->windowHandle()->startSystemMove()) {
        return true;
    }
    m_dragging = true;
    m_grab = event->globalPosition().toPoint() - window->pos();
    return true;
}

bool BodyDrag::move(QWidget* window, QMouseEvent* event) {
    if (!m_dragging) {
        return false;
    }
    window->move(event->globalPosition().toPoint() - m_grab);
    return true;
}

}  // namespace qelv::ui

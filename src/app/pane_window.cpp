#include "app/pane_window.h"

#include <QMouseEvent>
#include <QWindow>

#include "app/window_registry.h"
#include "skin/window_guard.h"

namespace qelv::ui {

PaneWindow::PaneWindow(QWidget* mainWindow, int key, QPoint offset, QSize size)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint),
      m_key(key),
      m_offset(offset),
      m_size(size) {
    resize(size);
    WindowRegistry::instance().add(key, this);
}

void PaneWindow::followMainWindow(QPoint mainTopLeft) {
    move(mainTopLeft + m_offset);
}

void PaneWindow::takeLayoutMode(int, QSize) {}

qintptr PaneWindow::onMessage(unsigned, qintptr, qintptr) {
    return -1;
}

bool PaneWindow::event(QEvent* event) {
    if (dispatchMessage(event)) {
        return true;
    }
    return QWidget::event(event);
}

bool PaneWindow::draggableAt(QPoint) const {
    return false;
}

void PaneWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || windowGuarded(this) ||
        !draggableAt(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window manager moves the window where it can; otherwise the pane moves itself.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        return;
    }
    m_dragging = true;
    m_dragFrom = event->globalPosition().toPoint() - pos();
}

void PaneWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) {
        move(event->globalPosition().toPoint() - m_dragFrom);
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void PaneWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace qelv::ui

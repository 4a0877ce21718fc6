#include "shell/pane_window.h"

#include <QMouseEvent>

#include "shell/window_registry.h"

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
    if (!m_drag.press(this, event, draggableAt(event->position().toPoint()))) {
        QWidget::mousePressEvent(event);
    }
}

void PaneWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.move(this, event)) {
        QWidget::mouseMoveEvent(event);
    }
}

void PaneWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.release();
    QWidget::mouseReleaseEvent(event);
}

}  // namespace qelv::ui

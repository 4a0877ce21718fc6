// What every pane of the viewer is: a frameless pop-up owned by the main window, registered
// under its key, that keeps its own offset from the main window's top-left corner and takes
// the main window's layout mode.
#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>

#include "skin/body_drag.h"
#include "skin/window_message.h"

namespace qelv::ui {

class PaneWindow : public QWidget, public MessageTarget {
    Q_OBJECT
public:
    // `offset` from the main window's top-left corner, `size` in the default layout.
    PaneWindow(QWidget* mainWindow, int key, QPoint offset, QSize size);

    int key() const { return m_key; }
    QPoint offset() const { return m_offset; }
    QSize paneSize() const { return m_size; }

    // The main window moved to `mainTopLeft` in the default layout: a docked pane follows.
    virtual void followMainWindow(QPoint mainTopLeft);
    // The main window entered `mode` (screen size `screen`); a pane's own geometry for it.
    virtual void takeLayoutMode(int mode, QSize screen);
    // Shown when the main window shows its panes in the default layout.
    virtual bool shownByDefault() const { return true; }

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

protected:
    bool event(QEvent* event) override;
    // Dragging by the body, for panes that allow it (see draggableAt).
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Whether a press at `point` (client coordinates) drags the pane.
    virtual bool draggableAt(QPoint point) const;

    QWidget* mainWindow() const { return parentWidget(); }

private:
    int m_key;
    QPoint m_offset;
    QSize m_size;
    BodyDrag m_drag;
};

}  // namespace qelv::ui

// Moving a frameless window by any point of its body: the window manager moves it where it
// can (startSystemMove); elsewhere (no window manager, a virtual screen) the window follows the
// mouse itself.
#pragma once

#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace qelv::ui {

class BodyDrag {
public:
    // A left press on `window`: starts a drag when `allowed`. True when the press was taken.
    bool press(QWidget* window, QMouseEvent* event, bool allowed);
    // True when the move belonged to a drag (the window has moved).
    bool move(QWidget* window, QMouseEvent* event);
    void release() { m_dragging = false; }

private:
    bool m_dragging = false;
    QPoint m_grab;
};

}  // namespace qelv::ui

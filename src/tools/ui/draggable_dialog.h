// The card tools' dialogs (the recorder's settings, the storage information, the accident
// report) are moved by any point of their body, like the recorder's own screens they picture.
#pragma once

#include <QDialog>

#include "skin/body_drag.h"

namespace qelv::ui {

class DraggableDialog : public QDialog {
    Q_OBJECT
public:
    DraggableDialog(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {}

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    BodyDrag m_drag;
};

}  // namespace qelv::ui

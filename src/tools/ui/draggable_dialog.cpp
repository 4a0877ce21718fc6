#include "tools/ui/draggable_dialog.h"

namespace qelv::ui {

void DraggableDialog::mousePressEvent(QMouseEvent* event) {
    if (!m_drag.press(this, event, true)) {
        QDialog::mousePressEvent(event);
    }
}

void DraggableDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.move(this, event)) {
        QDialog::mouseMoveEvent(event);
    }
}

void DraggableDialog::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.release();
    QDialog::mouseReleaseEvent(event);
}

}  // namespace qelv::ui

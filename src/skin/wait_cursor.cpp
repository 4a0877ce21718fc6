#include "skin/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace qelv::ui {

WaitCursor::WaitCursor(bool now) {
    if (now) {
        show();
    }
}

WaitCursor::~WaitCursor() {
    if (m_shown) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void WaitCursor::show() {
    if (!m_shown) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        m_shown = true;
    }
}

}  // namespace qelv::ui

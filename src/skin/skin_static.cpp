#include "skin/skin_static.h"

#include <QMouseEvent>

namespace qelv::ui {

CSkinStatic::CSkinStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void CSkinStatic::setTexts(const QString& first, const QString& second) {
    m_first = first;
    m_second = second;
}

void CSkinStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (m_blinkEnabled && rect().contains(event->position().toPoint())) {
        m_blinkState = !m_blinkState;
        update();
    }
    QWidget::mouseReleaseEvent(event);
}

}  // namespace qelv::ui

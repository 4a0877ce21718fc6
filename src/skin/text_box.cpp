#include "skin/text_box.h"

#include <QPainter>

namespace qelv::ui {

CTextBox::CTextBox(QWidget* parent) : QWidget(parent) {}

void CTextBox::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    repaint();
}

void CTextBox::setTextColour(const QColor& colour) {
    m_colour = colour;
    update();
}

void CTextBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 16));
    painter.setPen(m_colour);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

}  // namespace qelv::ui

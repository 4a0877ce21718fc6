#include "skin/pane_frame.h"

namespace qelv::ui {

void paintPaneFrame(QPainter& painter, const QRect& area, const QColor& ground,
                    const QString& caption, const QRect& captionRect, int captionPoints) {
    painter.fillRect(area, ground);
    painter.setPen(QPen(QColor(32, 33, 38), 3));
    painter.drawRect(QRectF(area).adjusted(1.5, 1.5, -1.5, -1.5));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(captionPoints);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

}  // namespace qelv::ui

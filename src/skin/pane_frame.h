// The frame the viewer's dark panes and dialogs paint: a filled ground, a 3-pixel border in
// RGB 32, 33, 38 inside the edge, and a white Arial caption.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>

namespace qelv::ui {

void paintPaneFrame(QPainter& painter, const QRect& area, const QColor& ground,
                    const QString& caption, const QRect& captionRect, int captionPoints);

}  // namespace qelv::ui

#include "skin/skin_header_ctrl.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include "skin/skin_bitmaps.h"

namespace qelv::ui {

namespace {
constexpr int kBandImage = 141;       // 1 × 20
constexpr int kFirstEdgeImage = 142;  // 2 × 20
constexpr int kRightEdgeImage = 140;  // 2 × 20
constexpr int kBandHeight = 20;
}  // namespace

CSkinHeaderCtrl::CSkinHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedHeight(kBandHeight);
    setSectionsMovable(true);
    setHighlightSections(false);
}

QFont CSkinHeaderCtrl::titleFont() const {
    QFont font(QStringLiteral("Sevenet 7"));
    font.setPixelSize(14);
    return font;
}

QString CSkinHeaderCtrl::shownTitle(int logicalIndex, int width) const {
    const QString title =
        model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    return QFontMetrics(titleFont()).elidedText(title.left(255), Qt::ElideRight, width - 4);
}

void CSkinHeaderCtrl::paintEvent(QPaintEvent*) {
    QPixmap canvas(viewport()->size());
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        const QPixmap band = skinBitmap(kBandImage);
        const QPixmap firstEdge = skinBitmap(kFirstEdgeImage);
        const QPixmap rightEdge = skinBitmap(kRightEdgeImage);
        if (!band.isNull()) {
            painter.drawPixmap(QRect(2, 0, canvas.width() - 2, kBandHeight), band);
        }
        painter.setFont(titleFont());
        for (int visual = 0; visual < count(); ++visual) {
            const int logical = logicalIndex(visual);
            if (isSectionHidden(logical)) {
                continue;
            }
            const int left = sectionViewportPosition(logical);
            const int width = sectionSize(logical);
            const int right = left + width;
            if (visual == 0) {
                painter.drawPixmap(left, 0, firstEdge);
            } else {
                painter.fillRect(left - 1, 0, 2, kBandHeight, Qt::black);
                if (!band.isNull()) {
                    painter.drawPixmap(QRect(left + 1, 0, 1, kBandHeight), band);
                }
            }
            if (!band.isNull()) {
                painter.drawPixmap(QRect(left + 2, 0, width - 4, 1), band);
            }
            painter.drawPixmap(right - 2, 0, rightEdge);
            painter.setPen(Qt::white);
            const QRect text(left + 2, 2, width - 4, kBandHeight - 4);
            painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine,
                             shownTitle(logical, width));
        }
    }
    QPainter screen(viewport());
    screen.drawPixmap(0, 0, canvas);
}

}  // namespace qelv::ui

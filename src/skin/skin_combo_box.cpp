#include "skin/skin_combo_box.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyledItemDelegate>

#include "skin/skin_list_ctrl.h"

namespace qelv::ui {

namespace {
constexpr int kFontPixels = 12;

// The list drops down below the field, as a list does, instead of opening over it with the
// current entry on the field.
class DropDownBelowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* answer) const override {
        if (hint == QStyle::SH_ComboBox_Popup) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};
}  // namespace

CSkinComboBox::CSkinComboBox(QWidget* parent) : QComboBox(parent) {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(kFontPixels);
    setFont(font);
    // The field and its list in the recording list's colours, in every state; no colour of
    // the platform's light theme shows through.
    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (const auto role :
             {QPalette::Base, QPalette::AlternateBase, QPalette::Window, QPalette::Button}) {
            colours.setColor(group, role, Qt::black);
        }
        colours.setColor(group, QPalette::Text, CSkinListCtrl::kTextColour);
        colours.setColor(group, QPalette::WindowText, CSkinListCtrl::kTextColour);
        colours.setColor(group, QPalette::ButtonText, CSkinListCtrl::kTextColour);
        colours.setColor(group, QPalette::Highlight, CSkinListCtrl::kSelectedBackground);
        colours.setColor(group, QPalette::HighlightedText, CSkinListCtrl::kSelectedText);
    }
    setPalette(colours);
    // A plain item delegate paints the list as an item view (flat band), not as a menu.
    setItemDelegate(new QStyledItemDelegate(this));
    view()->setPalette(colours);
    view()->setFont(font);
    view()->setFrameShape(QFrame::Box);
    view()->setStyleSheet(
        QStringLiteral("QAbstractItemView { border: 1px solid rgb(58,63,78);"
                       " outline: 0; }"));
    setAttribute(Qt::WA_Hover);
    auto* style = new DropDownBelowStyle;
    style->setParent(this);
    setStyle(style);
}

int CSkinComboBox::fittingWidth() const {
    int widest = 0;
    for (int i = 0; i < count(); ++i) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    }
    return 1 + kTextMargin + widest + kTextMargin + kArrowWidth + 1;
}

void CSkinComboBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect field = rect();
    painter.fillRect(field, Qt::black);
    const bool hot = hasFocus() || underMouse() || view()->isVisible();
    painter.setPen(hot ? kFrameHot : kFrame);
    painter.drawRect(field.adjusted(0, 0, -1, -1));

    const QColor text = isEnabled() ? CSkinListCtrl::kTextColour : kFrame;
    const QRect arrow(field.right() - kArrowWidth, field.top(), kArrowWidth, field.height());
    const QPointF centre = QRectF(arrow).center();
    QPainterPath triangle;
    triangle.moveTo(centre.x() - 3.5, centre.y() - 2);
    triangle.lineTo(centre.x() + 3.5, centre.y() - 2);
    triangle.lineTo(centre.x(), centre.y() + 2);
    triangle.closeSubpath();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(triangle, text);

    painter.setPen(text);
    const QRect textArea(field.left() + 1 + kTextMargin, field.top(),
                         arrow.left() - field.left() - 1 - kTextMargin, field.height());
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(currentText(), Qt::ElideRight, textArea.width()));
}

}  // namespace qelv::ui

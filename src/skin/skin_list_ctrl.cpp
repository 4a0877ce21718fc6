#include "skin/skin_list_ctrl.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace qelv::ui {

namespace {
// Draws a selected row as a flat band in the list's own colours (the style would shade it)
// and never draws a focus frame.
class SelectedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        item.state &= ~QStyle::State_HasFocus;
        if (!(item.state & QStyle::State_Selected)) {
            QStyledItemDelegate::paint(painter, item, index);
            return;
        }
        painter->save();
        painter->fillRect(item.rect, CSkinListCtrl::kSelectedBackground);
        painter->setPen(CSkinListCtrl::kSelectedText);
        painter->setFont(item.font);
        const QRect text = item.rect.adjusted(2, 0, -2, 0);
        painter->drawText(text, static_cast<int>(item.displayAlignment),
                          item.fontMetrics.elidedText(item.text, Qt::ElideRight, text.width()));
        painter->restore();
    }
};
}  // namespace

CSkinListCtrl::CSkinListCtrl(QWidget* parent)
    : QTreeWidget(parent), m_header(new CSkinHeaderCtrl(this)) {
    setHeader(m_header);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    // No scroll bar is drawn; the wheel and the keys still move the view.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, Qt::black);
        colours.setColor(group, QPalette::AlternateBase, Qt::black);
        colours.setColor(group, QPalette::Window, Qt::black);
        colours.setColor(group, QPalette::Text, kTextColour);
        colours.setColor(group, QPalette::Highlight, kSelectedBackground);
        colours.setColor(group, QPalette::HighlightedText, kSelectedText);
    }
    setPalette(colours);
    setIndentation(0);
    setItemDelegate(new SelectedRowDelegate(this));
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(14);
    setFont(font);
}

void CSkinListCtrl::setColumns(const QStringList& titles, const QList<int>& widths) {
    setColumnCount(static_cast<int>(titles.size()));
    setHeaderLabels(titles);
    for (int column = 0; column < titles.size() && column < widths.size(); ++column) {
        setColumnWidth(column, widths[column]);
        headerItem()->setTextAlignment(column, Qt::AlignCenter);
    }
}

int CSkinListCtrl::addRow(const QStringList& texts) {
    auto* item = new QTreeWidgetItem(texts);
    for (int column = 0; column < texts.size(); ++column) {
        item->setTextAlignment(column, Qt::AlignCenter);
    }
    addTopLevelItem(item);
    return topLevelItemCount() - 1;
}

QString CSkinListCtrl::cellText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

int CSkinListCtrl::focusedRow() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}

bool CSkinListCtrl::selectRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return false;
    }
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
    return true;
}

}  // namespace qelv::ui

// The recording list's report view in the viewer's dark skin: black ground, grey-blue text,
// light-grey text on a grey-blue band for the selected row, the skinned header, and no scroll
// bars of its own (the wheel and the keyboard scroll it).
#pragma once

#include <QStringList>
#include <QTreeWidget>

#include "skin/skin_header_ctrl.h"

namespace qelv::ui {

class CSkinListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static inline const QColor kTextColour{158, 176, 187};
    static inline const QColor kSelectedText{229, 229, 229};
    static inline const QColor kSelectedBackground{115, 122, 165};

    explicit CSkinListCtrl(QWidget* parent = nullptr);

    // Columns with their titles and widths; every column is centred.
    void setColumns(const QStringList& titles, const QList<int>& widths);
    // Appends a row of texts; returns its index.
    int addRow(const QStringList& texts);
    void clearRows() { clear(); }
    int rowCount() const { return topLevelItemCount(); }
    QString cellText(int row, int column) const;

    // The focused row (the current item), or -1.
    int focusedRow() const;
    // Selects and focuses `row` and scrolls it into view; false when there is no such row.
    bool selectRow(int row);

    CSkinHeaderCtrl* skinHeader() const { return m_header; }

private:
    CSkinHeaderCtrl* m_header;
};

}  // namespace qelv::ui

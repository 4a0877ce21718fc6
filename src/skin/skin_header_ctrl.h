// The column headers of the skinned list: a band and edges from skin bitmaps 140 to 142, the
// titles in a small white pixel font, cut with an ellipsis, never wrapped. Painted off screen
// so that it does not flicker.
#pragma once

#include <QHeaderView>

namespace qelv::ui {

class CSkinHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CSkinHeaderCtrl(QWidget* parent = nullptr);

    // The title as the header draws it into a section `width` pixels wide.
    QString shownTitle(int logicalIndex, int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont titleFont() const;
};

}  // namespace qelv::ui

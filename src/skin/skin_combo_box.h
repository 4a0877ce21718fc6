// A combo box in the viewer's dark skin: the recording list's black ground and grey-blue text
// in a thin frame, a small arrow, and a drop-down list painted like the recording list (flat
// grey-blue band on the current entry).
#pragma once

#include <QColor>
#include <QComboBox>

namespace qelv::ui {

class CSkinComboBox : public QComboBox {
    Q_OBJECT
public:
    static inline const QColor kFrame{58, 63, 78};
    static inline const QColor kFrameHot{80, 200, 220};  // focus, mouse over, list open
    static constexpr int kArrowWidth = 14;
    static constexpr int kTextMargin = 4;

    explicit CSkinComboBox(QWidget* parent = nullptr);

    // The width (pixels) that shows the longest entry whole beside the arrow.
    int fittingWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qelv::ui

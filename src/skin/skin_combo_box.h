// A combo box in the viewer's fixed colours: white field, its ground in red 255, 16, 16 where
// the field does not cover it.
#pragma once

#include <QComboBox>

namespace qelv::ui {

class CSkinComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CSkinComboBox(QWidget* parent = nullptr);
};

}  // namespace qelv::ui

#include "skin/skin_combo_box.h"

namespace qelv::ui {

CSkinComboBox::CSkinComboBox(QWidget* parent) : QComboBox(parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Button, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::ButtonText, Qt::black);
    colours.setColor(QPalette::Window, QColor(255, 16, 16));
    setPalette(colours);
}

}  // namespace qelv::ui

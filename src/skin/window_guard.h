// Disabling a window while a modal dialog runs, as the owner's guard asks. Unlike
// QWidget::setEnabled this leaves the window's own child windows (the dialog itself, when the
// guarded window owns it) usable: only the window's controls are disabled and the window
// ignores the mouse.
#pragma once

#include <QWidget>

namespace qelv::ui {

void setWindowGuarded(QWidget* window, bool guarded);
bool windowGuarded(const QWidget* window);

}  // namespace qelv::ui

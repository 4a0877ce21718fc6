#include "shell/docked_pane.h"

#include "shell/window_keys.h"

namespace qelv::ui {

DockedPane::DockedPane(QWidget* mainWindow, int key, QPoint offset, QSize size, int toggleCommand,
                       const ViewerContext& context)
    : PaneWindow(mainWindow, key, offset, size),
      m_context(context),
      m_toggleCommand(toggleCommand) {}

qintptr DockedPane::onMessage(unsigned message, qintptr wParam, qintptr) {
    if (message == kMsgButtonClicked && wParam == kCmdClose) {
        closePane();
        return 0;
    }
    if (message == kMsgButtonClicked && wParam == kCmdFixed) {
        toggleFixed();
        return 0;
    }
    if (message == kMsgPaneCommand && wParam == m_toggleCommand) {
        togglePane();
        return 0;
    }
    return -1;
}

void DockedPane::toggleFixed() {
    m_fixed = !m_fixed;
    if (m_fixed) {
        if (m_fixedButton != nullptr) {
            m_fixedButton->setImageNumbers(244, 243, 243);
        }
        dock();
    } else if (m_fixedButton != nullptr) {
        m_fixedButton->setImageNumbers(243, 244, 244);
    }
}

void DockedPane::togglePane() {
    if (isVisible()) {
        closePane();
        return;
    }
    m_visible = true;
    show();
    raise();
}

void DockedPane::closePane() {
    hide();
    m_visible = false;
}

void DockedPane::dock() {
    if (QWidget* main = mainWindow(); main != nullptr && !enlargedLayout()) {
        move(main->pos() + offset());
    }
}

bool DockedPane::enlargedLayout() const {
    return m_context.layoutMode() != kLayoutDefault;
}

void DockedPane::followMainWindow(QPoint mainTopLeft) {
    if (m_fixed && !enlargedLayout()) {
        move(mainTopLeft + offset());
    }
}

void DockedPane::takeLayoutMode(int mode, QSize) {
    resize(paneSize());
    if (mode != kLayoutDefault) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        closePane();
        return;
    }
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    m_visible = true;
    if (m_fixed) {
        dock();  // a floating pane stays where the user put it
    }
    show();
}

bool DockedPane::draggableAt(QPoint) const {
    return !m_fixed || enlargedLayout();
}

}  // namespace qelv::ui

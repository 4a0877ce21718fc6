// A pane that docks beside the main window, as the recording list and the map do: it follows
// the main window while "Fixed window" is on, floats (dragged from any point) while it is
// off, hides with its "Close" button or its toggle, and in the screen-filling layouts is
// hidden and kept on top until the default layout shows it again, docked.
#pragma once

#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"

namespace qelv::ui {

class DockedPane : public PaneWindow {
    Q_OBJECT
public:
    // The commands of the "Close" and "Fixed window" buttons, the same in every docked pane.
    static constexpr int kCmdClose = 0;
    static constexpr int kCmdFixed = 1;

    // `toggleCommand`: the pane command (kMsgPaneCommand) that shows or hides this pane.
    DockedPane(QWidget* mainWindow, int key, QPoint offset, QSize size, int toggleCommand,
               const ViewerContext& context);

    // "Close", "Fixed window" and the pane's toggle; -1 for anything else, which the pane
    // itself handles.
    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    void followMainWindow(QPoint mainTopLeft) override;
    void takeLayoutMode(int mode, QSize screen) override;
    bool shownByDefault() const override { return m_visible; }

    bool fixed() const { return m_fixed; }
    bool paneVisible() const { return m_visible; }

protected:
    bool draggableAt(QPoint point) const override;
    // The "Fixed window" button, whose faces show the state (243 docked, 244 floating).
    void setFixedButton(CSkinButton* button) { m_fixedButton = button; }
    // "Fixed window": floating, or docked again at once.
    void toggleFixed();
    // The toggle from the main window or the control bar: hidden, or shown on top.
    void togglePane();
    // "Close".
    void closePane();
    // Back to its place beside the main window (in the default layout).
    void dock();
    bool enlargedLayout() const;

private:
    const ViewerContext& m_context;
    int m_toggleCommand;
    CSkinButton* m_fixedButton = nullptr;
    bool m_fixed = true;
    bool m_visible = true;
};

}  // namespace qelv::ui

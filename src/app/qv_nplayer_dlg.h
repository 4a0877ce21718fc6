// The main window: a borderless dark window with a painted caption and eight caption buttons
// (the last, "Trip Timeline", also on the key T).
// It creates the panes, keeps them glued to itself in the default layout, switches between
// the default, fit-screen and full-screen layouts, and routes the messages the panes send it.
#pragma once

#include <QBasicTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/body_drag.h"
#include "skin/skin_button.h"
#include "skin/window_message.h"

namespace qelv::ui {

class CQV_NPlayerDlg;

// Makes the panes, in creation order, each owned by the main window and registered under its
// key. The one place that lists the panes (pane_factory.cpp).
using PaneFactory = std::function<std::vector<PaneWindow*>(CQV_NPlayerDlg&, ViewerContext&)>;
std::vector<PaneWindow*> createViewerPanes(CQV_NPlayerDlg& main, ViewerContext& context);

class CQV_NPlayerDlg : public QWidget, public MessageTarget {
    Q_OBJECT
public:
    static constexpr int kWidth = 820;
    static constexpr int kHeight = 790;

    // Caption button indexes and their command ids.
    enum CaptionCommand {
        kCmdClose = 16,
        kCmdFullScreen = 17,
        kCmdFitScreen = 18,
        kCmdMinimise = 19,
        kCmdDefaultScreen = 20,
        kCmdMap = 21,
        kCmdFileList = 22,
        kCmdTripTimeline = 24,
    };

    // `ensureFilters` says whether the media elements are there (the viewer closes with "Not
    // Find QV filter" when not).
    CQV_NPlayerDlg(ViewerContext& context, PaneFactory panes, std::function<bool()> ensureFilters);
    ~CQV_NPlayerDlg() override;

    // Creation: size, registration, caption buttons, panes, engine, filter check, then the
    // dialog's initialisation (title, icon, timer 0). False when the filter check failed and
    // the window closed.
    bool create();
    // Runs until the window is closed: 0.
    int exec();

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

    const std::vector<CSkinButton*>& captionButtons() const { return m_buttons; }
    const std::vector<PaneWindow*>& panes() const { return m_panes; }
    int layoutMode() const { return m_context.layoutMode(); }
    bool closed() const { return m_closed; }
    // The screen the layouts fill.
    QSize screenSize() const;

signals:
    // The window showed itself (timer 0) and painted for the first time.
    void firstPainted();
    void closedByUser();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    qintptr captionCommand(qintptr command);
    void enterScreenLayout(int target);
    void leaveScreenLayout();
    void placeScreenButtons(int width, int top);
    void placeDefaultButtons(int top);
    void selectPane(qintptr which);
    void setModalGuard(bool enabled);
    void panesTakeMode(std::initializer_list<int> keys);
    void showPanes(std::initializer_list<int> keys, bool shown);
    void centre();
    void destroyPanes();

    ViewerContext& m_context;
    PaneFactory m_paneFactory;
    std::function<bool()> m_ensureFilters;
    std::vector<CSkinButton*> m_buttons;
    std::vector<PaneWindow*> m_panes;
    QBasicTimer m_showTimer;
    bool m_closed = false;
    bool m_painted = false;
    BodyDrag m_drag;
};

}  // namespace qelv::ui

// The three video panes: the large pane 1 above the control bar and the small panes 2 and 3
// under it. Each shows one camera channel on its surface, zooms it with the mouse wheel, pans
// a zoomed picture by dragging, and is marked when selected (the selected pane is the one the
// control bar captures and flips, and the one that fills the screen in the fit-screen and
// full-screen layouts). The control bar's "Screen switching" moves channels between panes.
#pragma once

#include <QMenu>

#include "playback/playback_engine.h"
#include "playback/ui/video_surface_widget.h"
#include "shell/pane_window.h"
#include "shell/video_pane.h"
#include "shell/viewer_context.h"

namespace qelv::ui {

class CScreenDlg : public PaneWindow, public VideoPane {
    Q_OBJECT
public:
    // Pane `number` (1, 2 or 3) with its key, place and size; it starts showing channel
    // number - 1, pane 1 selected.
    CScreenDlg(QWidget* mainWindow, ViewerContext& context, int number);
    // The engine stops drawing before the surface goes.
    ~CScreenDlg() override;

    int number() const { return m_number; }
    int channel() const { return m_channel; }
    void setChannel(int channel) { m_channel = channel; }
    int panX() const { return m_panX; }
    int panY() const { return m_panY; }
    bool dragging() const { return m_dragging; }
    VideoSurfaceWidget* surface() const { return m_surface; }

    bool selectedMark() const override { return m_selected; }
    void setSelectedMark(bool selected) override;
    media::VideoSurface* videoSurface() override { return m_surface; }

    // Places the channel's picture by its zoom and pan and draws it again (what a paint of
    // the pane does while a recording is open).
    void refreshVideo();
    // The pane's right-click menu: "Export clip..." (while a recording is open). The caller
    // owns it.
    QMenu* makeMenu();

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    void followMainWindow(QPoint mainTopLeft) override;
    void takeLayoutMode(int mode, QSize screen) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool channelExists() const;
    bool playing() const;
    void resetZoom();

    ViewerContext& m_context;
    int m_number;
    int m_channel;
    bool m_selected;
    bool m_dragging = false;
    QPoint m_last;
    int m_panX = 0;
    int m_panY = 0;
    VideoSurfaceWidget* m_surface;
};

// The panes by their window names.
class CScreen1Dlg : public CScreenDlg {
    Q_OBJECT
public:
    CScreen1Dlg(QWidget* mainWindow, ViewerContext& context) : CScreenDlg(mainWindow, context, 1) {}
};
class CScreen2Dlg : public CScreenDlg {
    Q_OBJECT
public:
    CScreen2Dlg(QWidget* mainWindow, ViewerContext& context) : CScreenDlg(mainWindow, context, 2) {}
};
class CScreen3Dlg : public CScreenDlg {
    Q_OBJECT
public:
    CScreen3Dlg(QWidget* mainWindow, ViewerContext& context) : CScreenDlg(mainWindow, context, 3) {}
};

}  // namespace qelv::ui

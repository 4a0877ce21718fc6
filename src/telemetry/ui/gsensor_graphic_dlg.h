// The G-sensor graph: a floating window that plots the three axes of the recording being
// played over its first minute, with a cursor at the playback position. A click or drag in
// the plot seeks playback there (WM_USER+102 to the control bar). Hidden at start; the
// control bar's sensor button toggles it (WM_USER+103 with 12); the stop notification (2)
// removes the cursor. A button in the frame adds the GPS speed on a scale of its own (remembered
// in the user's settings), and the recording's incidents stand as ticks on the time axis.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QPolygon>
#include <QRect>
#include <array>
#include <cstdint>
#include <vector>

#include "events/ui/store_incidents.h"
#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"

namespace qelv::ui {

class CGsensorGraphicDlg : public PaneWindow {
    Q_OBJECT
public:
    enum Command { kCmdClose = 0, kCmdSpeed = 1 };
    // The user's setting that shows the speed trace ("true"/"false", off when missing).
    static constexpr char kSpeedTraceKey[] = "Incidents/SpeedTrace";

    // Where the traces are drawn, and where the cursor runs and clicks seek.
    static constexpr QRect kTraceArea{QPoint(50, 79), QPoint(547, 235)};
    static constexpr QRect kClickArea{QPoint(51, 81), QPoint(534, 247)};
    static constexpr int kZeroLine = 165;

    CGsensorGraphicDlg(QWidget* mainWindow, ViewerContext& context);

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    // Placed beside the main window once, when the main window is first shown; the graph
    // does not follow it afterwards.
    void followMainWindow(QPoint mainTopLeft) override;
    bool shownByDefault() const override { return m_visible; }

    bool paneVisible() const { return m_visible; }
    std::uint32_t cursorMs() const { return m_cursorMs; }
    CSkinButton* closeButton() const { return m_close; }
    CSkinButton* speedButton() const { return m_speedButton; }
    bool speedTraceShown() const { return m_speedShown; }

    // The x of the cursor for a position, and the position a click at x seeks to.
    static int cursorX(std::uint32_t positionMs);
    static std::int64_t clickTime(int x);

public slots:
    // The control bar's position (ms); 0 removes the cursor.
    void setCursorPosition(qint64 positionMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    // The top 40 pixels act as the window's caption.
    bool draggableAt(QPoint point) const override;

private:
    void toggle();
    void hidePane();
    // Seeks to the time under x, while a recording plays or is paused.
    void seekAt(int x);
    void paintTraces(QPainter& painter);
    // Takes the store's samples again when they changed since the traces were made.
    void refreshTraces();
    // Finds the speed trace and the incidents again when the store changed since.
    void refreshMarks();
    void paintIncidentTicks(QPainter& painter);
    void toggleSpeedTrace();
    void showSpeedButtonState();

    ViewerContext& m_context;
    QPixmap m_background;
    CSkinButton* m_close = nullptr;
    CSkinButton* m_speedButton = nullptr;
    bool m_speedShown = false;
    std::uint32_t m_cursorMs = 0;
    bool m_seeking = false;
    bool m_visible = false;
    bool m_placed = false;
    // The traces as polylines, made from the samples of one store revision; a hostile track
    // may hold millions of samples, which are walked once, not at every cursor move.
    std::array<QPolygon, 3> m_traces;
    std::uint64_t m_tracesRevision = UINT64_MAX;
    std::uint64_t m_epoch = 0;
    // The speed trace's runs and the incidents, of one store version.
    std::vector<QPolygon> m_speedTrace;
    std::vector<events::Incident> m_incidents;
    StoreVersion m_marksVersion;
    // While shown: looks for new samples (the reader may still be filling the store) and a
    // store emptied for another recording.
    QBasicTimer m_watch;
};

}  // namespace qelv::ui

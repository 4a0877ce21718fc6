// The sensor information panel: the strip under the control bar that shows the telemetry of
// the playback position (latitude, longitude, speed and the three G-sensor axes in g).
//
// It owns the telemetry reader: the control bar's play notification (WM_USER+103 with 3)
// starts one on its own thread unless playback only resumes from a pause, and the stop
// notification (2, also sent when the bar moves to another recording) empties the store,
// which also ends a reader still busy with the recording that was left. While playback runs
// or is paused, a 500 ms timer shows the last sample before the position and the current fix
// the map published.
#pragma once

#include <QBasicTimer>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "shell/pane_window.h"
#include "shell/viewer_context.h"

namespace qelv::ui {

class CUtilInfoDlg : public PaneWindow {
    Q_OBJECT
public:
    // The six items in the order they stand on the panel.
    enum Item { kLatitude, kLongitude, kSpeed, kAxisX, kAxisY, kAxisZ, kItemCount };

    CUtilInfoDlg(QWidget* mainWindow, ViewerContext& context);
    ~CUtilInfoDlg() override;

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    // Follows the main window in the default layout only.
    void followMainWindow(QPoint mainTopLeft) override;

    // What the panel shows for `item`.
    QString valueText(Item item) const { return m_texts[static_cast<std::size_t>(item)]; }
    // Where the label and the value of `item` are drawn (client coordinates).
    static QRect labelRect(Item item);
    static QRect valueRect(Item item);
    // Readers started so far (one per play that was no resume).
    int readersStarted() const { return m_readersStarted; }
    // Waits until every reader started so far has finished (tests, shutdown).
    void waitForReaders();

    // The 500 ms refresh, as the timer runs it.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct Reader {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void playing();
    void stopped();
    void startReader();
    // Joins the readers that have finished.
    void reapReaders();
    void showAxes(const core::GSensorSample& sample, bool tenBit);
    void showFix(const core::CVOKAGPSData& fix);
    // Sets an item's text and repaints its value when it changed.
    void setText(Item item, const QString& text);

    ViewerContext& m_context;
    QBasicTimer m_timer;
    bool m_paused = false;
    std::array<QString, kItemCount> m_texts;
    QFont m_font;
    std::array<QPixmap, 4> m_icons;
    std::vector<Reader> m_readers;
    int m_readersStarted = 0;
};

}  // namespace qelv::ui

// The trip timeline: a floating window that shows one drive of the current source as a
// whole, the recorder's one-minute recordings joined again. A chooser at its top picks the
// trip (date, start and end, duration, distance); under it the trip's GPS speed and how hard
// the vehicle was shaken run along the trip's clock, with the incidents as coloured ticks, the
// event and user recordings made during the drive as markers, the recordings that cannot be
// read hatched, and a cursor where playback is. A click or drag plays the trip from there
// (the recording list opens the right recording at the right moment); the wheel zooms the
// time axis around the pointer. Hidden at start; the main window's caption button and the
// key T toggle it (WM_USER+103 with 16). The trips are read on a worker thread whenever the
// list's source changes while the window shows (or when it is next shown).
#pragma once

#include <QBasicTimer>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "playback/trip_playlist.h"
#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "trips/time_axis.h"
#include "trips/trip_reader.h"

namespace qelv::ui {

class CTripTimelineDlg : public PaneWindow {
    Q_OBJECT
public:
    enum Command { kCmdClose = 0 };

    static constexpr QSize kSize{800, 250};
    // The top of the pane acts as the window's caption.
    static constexpr int kCaptionHeight = 40;
    // The plot: clicks seek and the wheel zooms inside it; the cursor runs over its height.
    static constexpr QRect kPlotArea{QPoint(50, 48), QPoint(779, 213)};
    // The speed band: 0 km/h at y 150 up to 200 km/h at y 50 (faster speeds stay at the top).
    static constexpr int kSpeedZeroY = 150;
    static constexpr int kSpeedTopY = 50;
    static constexpr double kSpeedTopKmh = 200;
    // The shake band: 0 g at y 198 up to 2 g at y 158.
    static constexpr int kShakeZeroY = 198;
    static constexpr int kShakeTopY = 158;
    static constexpr double kShakeTopG = 2;
    // "Play trip", in the caption beside the chooser (and the key P).
    static constexpr QRect kPlayTripArea{QPoint(560, 10), QSize(90, 20)};
    // The incident ticks, 3 pixels wide at the incident's first second.
    static constexpr int kTickTop = 202;
    static constexpr int kTickHeight = 11;

    CTripTimelineDlg(QWidget* mainWindow, ViewerContext& context);
    ~CTripTimelineDlg() override;

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    // Placed beside the main window once, when the main window is first shown; it does not
    // follow it afterwards.
    void followMainWindow(QPoint mainTopLeft) override;
    bool shownByDefault() const override { return m_visible; }

    // Takes `store` as the trips of the current source (what the reader makes) and shows the
    // first trip whole.
    void setStore(trips::TripStore store);
    const std::optional<trips::TripStore>& store() const { return m_store; }
    // Shows trip `index` of the store whole (as the chooser does).
    void chooseTrip(int index);
    int chosenTrip() const { return m_trip; }
    const trips::TimeAxis& axis() const { return m_axis; }
    // Reading the source's recordings on the worker thread.
    bool reading() const { return m_reader.running(); }

    bool paneVisible() const { return m_visible; }
    CSkinButton* closeButton() const { return m_close; }
    CSkinComboBox* tripCombo() const { return m_combo; }
    // The cursor's x, when the recording playing belongs to the trip shown.
    std::optional<int> cursorX() const;

    // While the pane shows and one of the chosen trip's recordings plays or is paused: the
    // trip's whole route (every trusted fix, timeMs counted from the trip's start) and its
    // incidents (startMs and endMs from the trip's start). Empty otherwise.
    std::vector<trips::SpeedPoint> playingTripRoute() const;
    std::vector<events::Incident> playingTripIncidents() const;
    // Plays the trip from `tripMs`, as a click at that moment does.
    void seekToTripTime(std::int64_t tripMs);
    // The chosen trip's recordings to play back to back (the unreadable ones skipped).
    media::TripPlaylist playlist() const;
    // "Play trip": the chosen trip back to back from its start.
    void playTrip();
    // Plays back to back the trip the catalogue's recording `id` belongs to (an event or user
    // recording: the trip it was made in, from its moment), reading the trips first when they
    // are not read yet. False when it belongs to none.
    bool playTripOf(std::size_t id);

signals:
    // Shift and a drag chose a span of the trip for a clip: the front file of the recording
    // where it starts and the offset there, and the same of where it ends (ns; the clip joins
    // the recordings between).
    void spanChosen(const QString& fromPath, qint64 fromNs, const QString& toPath, qint64 toNs);
    // A trip began or ceased to play (see playingTripRoute).
    void playingTripChanged();
    // Play `trip` back to back from its recording `index` at `offsetMs` (or, when it is the
    // trip playing back to back, go there).
    void playTripRequested(const media::TripPlaylist& trip, int index, qint64 offsetMs);

public slots:
    // The recording being played (its front file's path) and the position the control bar
    // shows in it (ms).
    void setPlayback(const QString& path, qint64 positionMs);
    // Whether a trip plays back to back: clicks then go to it instead of the recording list.
    void setTripPlayback(bool playing);
    // A recording of the trip playing could not be played: it is hatched like an unreadable one.
    void markSkipped(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    // The top 40 pixels act as the window's caption.
    bool draggableAt(QPoint point) const override;

private:
    // One recording of the trip shown, placed on the trip's time.
    struct Span {
        std::size_t input;
        std::int64_t startMs;   // from the trip's start
        std::int64_t lengthMs;  // 0 when it cannot be read and nothing follows it
        bool unreadable;
    };
    void toggle();
    void hidePane();
    // Stops reading and forgets the trips: the source is about to change.
    void forget();
    // Reads the catalogue's current source again.
    void startReading();
    void fillChooser();
    // Places the trip's recordings and remakes the traces for the axis as it is.
    void placeSpans();
    void makeTraces();
    // The recording at trip time `at`; in a gap between two, the next one (its start). Null
    // without recordings.
    const Span* spanAt(std::int64_t at) const;
    // Plays the trip from the moment under x, or from trip time `at`.
    void seekAt(int x);
    void seekAtTime(std::int64_t at);
    // The chosen trip plays (see playingTripRoute).
    bool tripPlays() const;
    // Tells when the trip that plays changed.
    void checkPlayingTrip();
    // Ends a Shift-drag: a span of a second or more becomes a clip to export.
    void chooseSpan();
    void paintPlot(QPainter& painter);
    void paintMarks(QPainter& painter);
    void paintClock(QPainter& painter);
    QString statusText() const;
    // "YYYY-MM-DD HH:MM:SS" of a moment on the recorder's clock (ms).
    static QString clockText(std::int64_t ms);

    ViewerContext& m_context;
    CSkinButton* m_close;
    CSkinComboBox* m_combo;
    trips::TripReader m_reader;
    std::optional<trips::TripStore> m_store;
    // The source changed while hidden: read it when shown.
    bool m_stale = true;
    int m_trip = -1;
    std::vector<Span> m_spans;
    trips::TimeAxis m_axis;
    // The traces as runs of points for the axis as it is (remade on zoom and trip change).
    std::vector<QPolygon> m_speedRuns;
    std::vector<QPolygon> m_shakeRuns;
    QString m_playingPath;
    std::int64_t m_positionMs = 0;
    // The recording a click or drag last asked the list to open: a drag within it only seeks.
    std::optional<std::size_t> m_requested;
    bool m_seeking = false;
    // The trip that plays as last told (-1: none).
    int m_playingTrip = -1;
    bool m_tripPlayback = false;
    std::set<std::string> m_skipped;
    // A recording whose trip is to play once the trips are read (playTripOf).
    std::optional<std::size_t> m_playWhenRead;
    // A Shift-drag's span (trip time, ms) while it is drawn.
    std::optional<std::pair<std::int64_t, std::int64_t>> m_selection;
    bool m_visible = false;
    bool m_placed = false;
    // While shown: the reader's progress, and the cursor's removal when playback stopped.
    QBasicTimer m_watch;
};

}  // namespace qelv::ui

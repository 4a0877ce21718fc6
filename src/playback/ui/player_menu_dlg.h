// The control bar under the video panes: the seek slider with the position and duration
// read-outs, fourteen buttons, the rate slider with its read-out and the volume slider. It
// opens the recording focused in the recording list (with its other cameras' files), plays,
// pauses, stops, steps, seeks, moves to the previous or next recording and on to the next one
// when a recording ends, and tells the other panes by posting WM_USER+103 to them.
//
// Keys (on the main window and every pane): Space play/pause, Left/Right step back/forward,
// Up/Down volume, Page Up/Page Down previous/next recording, [ and ] slower/faster, F full
// screen, Escape the default layout, E export a clip.
#pragma once

#include <QBasicTimer>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "playback/player_rules.h"
#include "playback/trip_playlist.h"
#include "playback/ui/bitmap_slider.h"
#include "playback/ui/screen_dlg.h"
#include "playback/ui/snapshot_capture.h"
#include "shell/pane_window.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"
#include "skin/text_box.h"

namespace qelv::ui {

class CPlayerMenuDlg;

// The dialogs the bar opens modally, between WM_USER+104 0 and 1 to the main window. An
// empty one leaves its button doing nothing.
struct PlayerDialogs {
    // The accident report of the picture of `channel`.
    std::function<void(CPlayerMenuDlg&, int channel)> report;
    std::function<void(CPlayerMenuDlg&)> storageInfo;
    // The recorder's settings file of a card: the card's root and the file.
    std::function<void(CPlayerMenuDlg&, const std::string& root, const std::string& file)>
        deviceSettings;
    // "Export clip...": the recording being played (its front file) and where playback is.
    std::function<void(CPlayerMenuDlg&, const std::string& frontPath, std::int64_t positionNs)>
        exportClip;
    // Where "Capture" saves the pictures: the save dialog unless a test answers.
    SnapshotNameAsker snapshotName = askSnapshotName;
};

class CPlayerMenuDlg : public PaneWindow {
    Q_OBJECT
public:
    enum Command {
        kCmdPrevious = 0,
        kCmdRewind = 1,
        kCmdPlay = 2,
        kCmdStop = 3,
        kCmdForward = 4,
        kCmdNext = 5,
        kCmdPrint = 7,
        kCmdCapture = 8,
        kCmdScreenSwitch = 9,
        kCmdFlip = 11,
        kCmdSensor = 12,
        kCmdScreenSettings = 15,
        kCmdStorage = 16,
        kCmdDeviceSettings = 17,
        kCmdExportClip = 32,  // no button: the E key and the video panes' menu
    };
    static constexpr int kSeekId = 256;
    static constexpr int kVolumeId = 257;
    static constexpr int kRateId = 272;
    static constexpr int kTimerPlaying = 512;
    static constexpr int kTimerReopen = 528;

    CPlayerMenuDlg(QWidget* mainWindow, ViewerContext& context, std::array<CScreenDlg*, 3> screens,
                   PlayerDialogs dialogs = {});
    ~CPlayerMenuDlg() override;

    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;
    void followMainWindow(QPoint mainTopLeft) override;
    void takeLayoutMode(int mode, QSize screen) override;

    // Runs a button's command, as its click does.
    void runCommand(int command);
    // The keys above, on `window`: the main window, whose shortcuts also work while one of its
    // panes is the active window. `listKeys` false leaves out the arrows and Page Up/Down.
    void installShortcuts(QWidget* window, bool listKeys = true);
    // `list` keeps its arrows and pages for moving through its rows while it has the focus.
    static void keepNavigationKeys(QWidget* list);

    CBitmapSlider* seekSlider() const { return m_seek; }
    CBitmapSlider* rateSlider() const { return m_rateSlider; }
    CBitmapSlider* volumeSlider() const { return m_volume; }
    CTextBox* positionReadout() const { return m_position; }
    CTextBox* durationReadout() const { return m_duration; }
    CTextBox* rateReadout() const { return m_rateText; }
    CSkinButton* button(int command) const;
    CScreenDlg* screen(int number) const {
        return m_screens.at(static_cast<std::size_t>(number - 1));
    }
    bool flipped(int channel) const { return m_flip.at(static_cast<std::size_t>(channel)); }
    // The recording being played: its front file and its row in the list (-1 before any).
    const std::string& playingPath() const { return m_path; }
    int playingRow() const { return m_row; }
    // The channel the selected pane shows (0 when none is selected): what Print takes.
    int captureChannel() const;
    bool playTimerActive() const { return m_playTimer.isActive(); }

    // Plays a trip's recordings back to back from recording `index` at `offsetMs`: each is
    // cued while the one before plays and takes over at its end without a gap; the seek
    // slider and the read-outs span the trip, Previous and Next move by recording within it,
    // and the rate, volume, flips, zoom and panes hold across recordings. A recording that
    // cannot be played is skipped (recordingSkipped). When `trip` is the trip playing, this
    // only seeks. The trip ends with its last recording, Stop, or a recording opened from the
    // list.
    void playTrip(media::TripPlaylist trip, std::size_t index, std::uint64_t offsetMs);
    const std::optional<media::TripPlaylist>& trip() const { return m_trip; }
    // The recording of the trip playing, and the trip's time where playback is.
    std::size_t tripIndex() const { return m_tripIndex; }
    std::uint64_t tripPositionMs();
    bool reopenPending() const { return m_reopenTimer.isActive(); }
    ViewerContext& context() const { return m_context; }

signals:
    // The position in the recording playing, for the G-sensor graph's cursor.
    void positionShown(qint64 ms);
    // A trip began or ceased to play back to back.
    void tripPlaying(bool playing);
    // A recording of the trip playing could not be played and was passed over.
    void recordingSkipped(const QString& path, const QString& reason);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void createControls();
    void play();
    void pause();
    void stop();
    void step(bool back);
    void playOrPause();
    bool openFocused();
    // Moves the list's focus one row back or on and opens it a second later; false when
    // there is no such row.
    bool moveInList(int direction);
    void reopen();
    void tick();
    // To `positionMs`; 0 means where the seek slider is, unless `exact` says it is the
    // target itself.
    void seek(qintptr positionMs, bool exact = false);
    void applyRate(int index);
    void applyVolume();
    void refreshReadouts();
    void switchScreens();
    void flipSelected();
    void defaultChannels();
    void fitFirstPane();
    void runModal(const std::function<void()>& dialog);
    void reportFailure();
    // Trip playback: opens recording `index` (or the first one after it that plays) at
    // `offsetMs`; false when none of them plays (the trip then ends).
    bool openTripRecording(std::size_t index, std::uint64_t offsetMs);
    // Cues the recording after the one playing, skipping those that cannot be made ready.
    void prepareTripAhead();
    // At a recording's end: the cued one takes over, or the next is opened.
    void continueTrip();
    void tripTick();
    // The recording playing is the trip's m_tripIndex now: the bar follows it.
    void tookOver();
    // To trip time `tripMs`; a paused trip plays on when `thenPlay`.
    void seekTrip(std::uint64_t tripMs, bool thenPlay);
    void skipTripRecording(std::size_t index, const std::string& reason);
    void endTrip();
    // Tears the playing recording down, clears the panes and opens `entry`; false when it
    // cannot be opened (the engine's openError says why).
    bool openEntry(const core::RecordingEntry& entry);
    // Each pane shows its own camera again, with the flips chosen.
    void showOwnChannels();
    // What `entry` is opened from; nothing when its card file cannot be found.
    std::optional<media::RecordingSources> sourcesOf(const core::RecordingEntry& entry) const;
    void capture();
    bool running() const;
    bool runningOrPaused() const;

    ViewerContext& m_context;
    std::array<CScreenDlg*, 3> m_screens;
    PlayerDialogs m_dialogs;
    CTextBox* m_position = nullptr;
    CTextBox* m_duration = nullptr;
    CTextBox* m_rateText = nullptr;
    CBitmapSlider* m_seek = nullptr;
    CBitmapSlider* m_rateSlider = nullptr;
    CBitmapSlider* m_volume = nullptr;
    std::vector<CSkinButton*> m_buttons;
    QBasicTimer m_playTimer;
    QBasicTimer m_reopenTimer;
    media::RateReapplication m_reapply;
    int m_rateIndex = media::kDefaultRatePosition - 1;
    std::array<bool, 3> m_flip{};
    std::string m_path;
    int m_row = -1;
    std::optional<core::RecordingEntry> m_entry;
    std::optional<media::TripPlaylist> m_trip;
    std::size_t m_tripIndex = 0;
    std::optional<std::size_t> m_tripCued;  // the recording prepared to follow
};

}  // namespace qelv::ui

// The control bar's "Capture": saves the picture every camera shows now as a JPEG file each.
// Playback pauses while the user picks the name in a save dialog, which proposes a name after
// the recording (see storage/snapshot_name.h); every channel k then goes to the chosen name
// with "(#k)". A failed save leaves no file behind and is reported in a message box.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "playback/playback_engine.h"
#include "storage/recording_types.h"

class QWidget;

namespace qelv::ui {

// The configuration's capture switches ("filetime", "addpos").
struct CaptureSwitches {
    bool filetime = false;
    bool addpos = false;
};

// Asks the user where to save, starting from `proposed`: the chosen path, or nothing when the
// user cancels. Runs modally on the UI thread.
using SnapshotNameAsker =
    std::function<std::optional<QString>(QWidget* parent, const QString& proposed)>;

// The viewer's save dialog: "JPG Image(*.jpg)", the overwrite question, no suffix added.
std::optional<QString> askSnapshotName(QWidget* parent, const QString& proposed);

struct CaptureResult {
    QStringList written;  // the files saved, channel by channel
    QStringList failed;   // the files that could not be saved
};

// UI thread. Does nothing unless `engine` is running or paused. Pauses it, asks `ask` for a
// name (the main window's modal guard, WM_USER+104 0 and 1, around it) when there is an
// `entry` for the recording at `recordingPath`, writes each channel's current picture, and
// runs the engine again if it was running. A channel without a picture is left out silently;
// the files that fail are named in one error box shown on `parent`.
CaptureResult captureSnapshots(media::PlaybackEngine& engine, QWidget* parent,
                               CaptureSwitches switches, const QString& recordingPath,
                               const core::RecordingEntry* entry,
                               const SnapshotNameAsker& ask = askSnapshotName);

}  // namespace qelv::ui

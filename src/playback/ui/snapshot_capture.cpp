#include "playback/ui/snapshot_capture.h"

#include <QFileDialog>
#include <QImage>
#include <QSaveFile>

#include <array>

#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/window_message.h"
#include "storage/snapshot_name.h"

namespace qelv::ui {

namespace {

// The viewer's filter "JPG Image(*.jpg)|*.jpg||" as Qt writes it: the patterns in the
// description's parentheses.
constexpr char kJpegFilter[] = "JPG Image(*.jpg)";

bool running(const media::PlaybackEngine& engine) {
    return engine.state() == static_cast<std::int32_t>(media::GraphState::Running);
}

bool paused(const media::PlaybackEngine& engine) {
    return engine.state() == static_cast<std::int32_t>(media::GraphState::Paused);
}

// Saves `picture` (BGRA) to `path` as a JPEG of the default quality. The bytes go to a
// temporary file beside `path` that takes its name only once complete, so that a failure
// leaves neither a half-written file nor a damaged older one.
bool saveJpeg(const media::Snapshot& picture, const QString& path) {
    const QImage image(picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                       QImage::Format_RGB32);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (!image.save(&file, "JPG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A grab that holds a whole picture; anything else is no picture to save.
bool holdsPicture(const media::Snapshot& picture) {
    return picture.width > 0 && picture.height > 0 &&
           picture.pixels.size() >= static_cast<std::size_t>(picture.width) *
                                        static_cast<std::size_t>(picture.height) * 4;
}

// Asks for the name and saves every channel's picture under it.
CaptureResult saveChannels(media::PlaybackEngine& engine, QWidget* parent, CaptureSwitches switches,
                           const QString& recordingPath, const core::RecordingEntry& entry,
                           const SnapshotNameAsker& ask) {
    // The pictures of the moment of the click: the dialog runs the event loop, and the
    // recording may move on or be replaced before the user answers.
    std::array<media::Snapshot, 3> pictures;
    const media::PlaybackGraph* graph = engine.graph();
    for (std::size_t channel = 0; channel < pictures.size(); ++channel) {
        const int k = static_cast<int>(channel);
        if (graph == nullptr || !graph->hasChannel(k) || !engine.snapshot(k, pictures[channel])) {
            pictures[channel] = {};
        }
    }
    const core::SnapshotSource source{recordingPath.toStdString(), entry.fileName,
                                      entry.creationTime, engine.positionMs()};
    const QString proposed = QString::fromStdString(
        core::proposedSnapshotName(source, switches.filetime, switches.addpos));

    WindowRegistry& registry = WindowRegistry::instance();
    registry.post(kKeyMainWindow, kMsgModalGuard, 0);
    const std::optional<QString> chosen = ask ? ask(parent, proposed) : std::nullopt;
    registry.post(kKeyMainWindow, kMsgModalGuard, 1);

    CaptureResult result;
    if (!chosen || chosen->isEmpty()) {
        return result;
    }
    for (std::size_t channel = 0; channel < pictures.size(); ++channel) {
        const media::Snapshot& picture = pictures[channel];
        if (!holdsPicture(picture)) {
            continue;  // no picture on that channel
        }
        const QString file = QString::fromStdString(
            core::snapshotChannelPath(chosen->toStdString(), static_cast<int>(channel)));
        (saveJpeg(picture, file) ? result.written : result.failed) << file;
    }
    if (!result.failed.isEmpty()) {
        QStringList lines;
        for (const QString& file : result.failed) {
            lines << QStringLiteral("Could not save the picture to %1.").arg(file);
        }
        showMessageBox(parent, lines.join(u'\n'), MessageIcon::Error);
    }
    return result;
}

}  // namespace

std::optional<QString> askSnapshotName(QWidget* parent, const QString& proposed) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(kJpegFilter));
    dialog.setSizeGripEnabled(true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);  // an existing file is asked about
    // Whatever name the user types is the name: no suffix is added.
    dialog.setDefaultSuffix(QString());
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

CaptureResult captureSnapshots(media::PlaybackEngine& engine, QWidget* parent,
                               CaptureSwitches switches, const QString& recordingPath,
                               const core::RecordingEntry* entry, const SnapshotNameAsker& ask) {
    const bool wasRunning = running(engine);
    if (!wasRunning && !paused(engine)) {
        return {};
    }
    // Only the engine pauses: the control bar's buttons keep showing playback, which goes on
    // once the pictures are saved.
    engine.pause();
    const std::uint64_t recording = engine.generation();
    CaptureResult result;
    if (entry != nullptr) {
        result = saveChannels(engine, parent, switches, recordingPath, *entry, ask);
    }
    // The dialog runs the event loop: a recording that failed or was replaced meanwhile is
    // not started again.
    if (wasRunning && paused(engine) && engine.generation() == recording) {
        engine.run();
    }
    return result;
}

}  // namespace qelv::ui

#include "telemetry/ui/route_saving.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>

#include "common/file_write.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/wait_cursor.h"
#include "skin/window_message.h"
#include "storage/card_file_source.h"

namespace qelv::ui {

namespace {

struct Entry {
    const char* caption;
    core::TelemetryFormat format;
};
constexpr Entry kEntries[] = {{"Save route as GPX...", core::TelemetryFormat::Gpx},
                              {"Save route as KML...", core::TelemetryFormat::Kml}};

QString filterOf(core::TelemetryFormat format) {
    return format == core::TelemetryFormat::Gpx ? QStringLiteral("GPX route (*.gpx)")
                                                : QStringLiteral("KML route (*.kml)");
}

// The recording being played: where its bytes are and its file name.
std::pair<core::RecordingLocation, std::string> playingRecording(
    const media::RecordingSources& sources) {
    if (sources.cardFile) {
        const auto* card = dynamic_cast<const core::CardFileSource*>(sources.cardFile.get());
        return {{{}, nullptr, {}, {}, sources.cardFile}, card ? card->name() : "route"};
    }
    return {{sources.paths[0]}, std::filesystem::path(sources.paths[0]).filename().string()};
}

}  // namespace

bool RouteSaving::playing() {
    const media::PlaybackEngine& engine = m_context.engine();
    const media::RecordingSources& sources = engine.openedSources();
    const bool open = sources.cardFile || !sources.paths[0].empty();
    return open &&
           (engine.state() == media::kRunningState || engine.state() == media::kPausedState);
}

void RouteSaving::addEntries(QMenu& menu, QWidget* parent) {
    const bool enabled = playing();
    for (const Entry& entry : kEntries) {
        QAction* action = menu.addAction(QString::fromLatin1(entry.caption));
        action->setEnabled(enabled);
        const core::TelemetryFormat format = entry.format;
        QObject::connect(action, &QAction::triggered, parent,
                         [this, parent, format] { save(parent, format); });
    }
}

bool RouteSaving::save(QWidget* parent, core::TelemetryFormat format) {
    if (!playing()) {
        showMessageBox(parent,
                       QStringLiteral("No recording is being played: there is no route "
                                      "to save."),
                       MessageIcon::Information);
        return false;
    }
    // Read before asking: the recording may move on to the next one while the dialog is up.
    const auto [location, name] = playingRecording(m_context.engine().openedSources());
    core::RecordingTelemetry telemetry;
    {
        const WaitCursor wait;
        telemetry = core::readRecordingTelemetry(location);
    }
    const QString shownName = QString::fromStdString(name);
    if (!telemetry.problem.empty()) {
        showMessageBox(parent,
                       QStringLiteral("Cannot read %1: %2. No route was saved.")
                           .arg(shownName, QString::fromStdString(telemetry.problem)),
                       MessageIcon::Error);
        return false;
    }
    if (core::mappableRoute(telemetry.records).empty()) {
        showMessageBox(
            parent,
            QStringLiteral("%1 holds no GPS position: there is no route to save.").arg(shownName),
            MessageIcon::Information);
        return false;
    }
    const QString folder = m_folder.isEmpty() ? QDir::homePath() : m_folder;
    const QString suggested =
        QDir(folder).filePath(QString::fromStdString(core::exportFileName(name, format)));
    WindowRegistry& registry = WindowRegistry::instance();
    registry.post(kKeyMainWindow, kMsgModalGuard, 0);
    const QString path = m_askFile ? m_askFile(parent, QStringLiteral("Save the route as"),
                                               suggested, filterOf(format))
                                   : QString();
    registry.post(kKeyMainWindow, kMsgModalGuard, 1);
    if (path.isEmpty()) {
        return false;
    }
    std::error_code ignored;
    core::FileWriteResult result;
    if ((!location.path.empty() &&
         std::filesystem::equivalent(location.path, path.toStdString(), ignored)) ||
        core::isRecordingFile(path.toStdString())) {
        result.error = "it is the recording itself";
    } else {
        result = core::writeFileSafely(path.toStdString(),
                                       core::telemetryDocument(format, telemetry.records, name),
                                       core::ExistingFile::Replace);
    }
    if (!result.ok) {
        showMessageBox(
            parent,
            QStringLiteral("Cannot save %1: %2.").arg(path, QString::fromStdString(result.error)),
            MessageIcon::Error);
        return false;
    }
    m_folder = QFileInfo(path).absolutePath();
    return true;
}

}  // namespace qelv::ui

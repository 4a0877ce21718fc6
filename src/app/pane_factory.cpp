// The panes of the main window, in creation order: video panes 1 to 3, control bar,
// information panel, map, recording list, G-sensor graph, screen settings, trip timeline. A new
// pane is one line here.
#include <algorithm>

#include "app/qv_nplayer_dlg.h"
#include "export/ui/export_clip_dlg.h"
#include "platform/drive_discovery.h"
#include "platform/mount_table.h"
#include "platform/mount_watch.h"
#include "playback/ui/player_menu_dlg.h"
#include "playback/ui/screen_dlg.h"
#include "playback/ui/screen_setting_dlg.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "storage/ui/card_arrival.h"
#include "storage/ui/file_manager_dlg.h"
#include "telemetry/ui/gsensor_graphic_dlg.h"
#include "telemetry/ui/map_view_dlg.h"
#include "telemetry/ui/util_info_dlg.h"
#include "tools/ui/print_dlg.h"
#include "tools/ui/setting_dlg.h"
#include "tools/ui/wyfs_formatter_dlg.h"
#include "trips/ui/trip_timeline_dlg.h"

namespace qelv::ui {

namespace {

// Whether a file system is still mounted at `root`: a card taken out may leave its mount point
// behind, an empty folder on the PC's own disk that must not get the card's settings file.
bool mountedAt(std::string root) {
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    const auto mounts = platform::readMountTable(platform::systemPaths().mountInfo);
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const platform::MountEntry& mount) { return mount.mountPoint == root; });
}

// A recorder card put in while the viewer runs is offered to the list at once.
void offerNewCards(CQV_NPlayerDlg& main, ViewerContext& context, CFileManagerDlg& list) {
    static QSettings settings;
    auto* arrival = new CardArrival(
        &main, settings, [] { return platform::discoverDrives(platform::systemPaths(), {}); },
        [&context](const core::SourceDrive& drive) {
            return holdsRecorderLayout(drive, context.catalogue().folderNames());
        },
        [&list](const core::SourceDrive& drive) { list.openCard(drive); });
    arrival->setParent(&main);
    auto* watch = new platform::MountWatch(platform::systemPaths(), arrival);
    QObject::connect(watch, &platform::MountWatch::changed, arrival, &CardArrival::drivesChanged);
}

// "Export clip...": one dialog at a time, not modal. While it exports, E brings it back;
// otherwise a new one replaces it, for the recording and position of now.
// Shows the dialog for the recording at `frontPath` around `positionNs`; the dialog, or null
// when it cannot be shown or one is busy exporting (that one comes to the front).
using ClipDialogOpener = std::function<CExportClipDlg*(const std::string&, std::int64_t)>;

ClipDialogOpener clipExporter(QWidget* owner, ViewerContext& context) {
    auto shown = std::make_shared<QPointer<CExportClipDlg>>();
    return [owner, &context, shown](const std::string& frontPath,
                                    std::int64_t positionNs) -> CExportClipDlg* {
        QPointer<CExportClipDlg>& dialog = *shown;
        if (dialog && dialog->exporting()) {
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
            return nullptr;
        }
        if (context.catalogue().currentKind() == core::SourceKind::WyfsDrive) {
            showMessageBox(owner,
                           QStringLiteral("Clips are exported from recordings on a FAT card or "
                                          "in a folder. Copy this recording from the WyFS card "
                                          "to a folder first (qelv wyfs get)."),
                           MessageIcon::Information);
            return nullptr;
        }
        std::vector<media::ExportRecording> recordings = exportableRecordings(frontPath);
        if (recordings.empty()) {
            showMessageBox(owner,
                           QStringLiteral("Cannot export a clip: %1 cannot be read as a "
                                          "recording: %2")
                               .arg(QString::fromStdString(frontPath),
                                    QString::fromStdString(media::unreadableReason(frontPath))),
                           MessageIcon::Error);
            return nullptr;
        }
        delete dialog.data();
        dialog = new CExportClipDlg(owner, std::move(recordings), positionNs,
                                    ExportClipServices::defaults());
        dialog->show();
        return dialog.data();
    };
}

}  // namespace

std::vector<PaneWindow*> createViewerPanes(CQV_NPlayerDlg& main, ViewerContext& context) {
    auto* screen1 = new CScreen1Dlg(&main, context);
    auto* screen2 = new CScreen2Dlg(&main, context);
    auto* screen3 = new CScreen3Dlg(&main, context);
    PlayerDialogs dialogs;
    dialogs.deviceSettings = [](CPlayerMenuDlg& bar, const std::string& root, const std::string&) {
        if (!mountedAt(root)) {
            showMessageBox(&bar,
                           QStringLiteral("The card at %1 is no longer mounted (was it taken "
                                          "out?); its settings were neither read nor written.")
                               .arg(QString::fromStdString(root)),
                           MessageIcon::Error);
            return;
        }
        CSettingDlg dialog(&bar, root);
        dialog.exec();
    };
    dialogs.storageInfo = [&main](CPlayerMenuDlg&) {
        CWYFSFormatterDlg dialog(&main, CWYFSFormatterDlg::defaultServices());
        dialog.exec();
    };
    // The report shows the capture channel's picture, prints the map pane's browser area as
    // it is at each print, and names the files of the recording being played.
    QWidget* owner = &main;
    media::PlaybackEngine* engine = &context.engine();
    dialogs.report = [engine, owner](CPlayerMenuDlg& bar, int channel) {
        const QPointer<CMapViewDlg> map =
            qobject_cast<CMapViewDlg*>(WindowRegistry::instance().find(kKeyMap));
        makeAccidentReport(owner, *engine, channel, bar.playingPath(), [map] {
            return map ? map->mapImage() : QImage();
        })->exec();
    };
    const ClipDialogOpener openClipDialog = clipExporter(owner, context);
    dialogs.exportClip = [openClipDialog](CPlayerMenuDlg&, const std::string& frontPath,
                                          std::int64_t positionNs) {
        openClipDialog(frontPath, positionNs);
    };
    auto* bar = new CPlayerMenuDlg(&main, context, {screen1, screen2, screen3}, dialogs);
    auto* info = new CUtilInfoDlg(&main, context);
    auto* map = new CMapViewDlg(&main, context, CMapViewDlg::defaultServices(context));
    auto* list = new CFileManagerDlg(&main, context, CFileManagerDlg::defaultServices());
    auto* graph = new CGsensorGraphicDlg(&main, context);
    QObject::connect(bar, &CPlayerMenuDlg::positionShown, graph,
                     &CGsensorGraphicDlg::setCursorPosition);
    // The player's keys work wherever the user is (the panes share the main window's keys);
    // the list keeps its arrows and pages.
    bar->installShortcuts(&main);
    CPlayerMenuDlg::keepNavigationKeys(list->list());
    offerNewCards(main, context, *list);
    auto* settings = new CScreenSettingDlg(&main, context);
    auto* timeline = new CTripTimelineDlg(&main, context);
    QObject::connect(bar, &CPlayerMenuDlg::positionShown, timeline, [timeline, bar](qint64 ms) {
        timeline->setPlayback(QString::fromStdString(bar->playingPath()), ms);
    });
    // A span chosen on the trip's timeline goes to the clip export, which joins the recordings
    // that follow.
    QObject::connect(
        timeline, &CTripTimelineDlg::spanChosen, timeline,
        [openClipDialog](const QString& fromPath, qint64 fromNs, const QString& toPath,
                         qint64 toNs) {
            if (CExportClipDlg* dialog = openClipDialog(fromPath.toStdString(), fromNs)) {
                dialog->setSpanTo(fromNs, toPath.toStdString(), toNs);
            }
        });
    // While a trip plays the map shows all of it; a click there plays the trip from that point.
    QObject::connect(timeline, &CTripTimelineDlg::playingTripChanged, map, [timeline, map] {
        std::vector<TripRoutePoint> route;
        for (const trips::SpeedPoint& p : timeline->playingTripRoute()) {
            route.push_back({p.latitude, p.longitude, p.timeMs, p.speedKmh});
        }
        map->setTripRoute(route, timeline->playingTripIncidents());
    });
    // "Play trip" on the timeline or the list plays the trip back to back on the control bar;
    // the timeline hatches what could not be played.
    QObject::connect(timeline, &CTripTimelineDlg::playTripRequested, bar,
                     [bar](const media::TripPlaylist& trip, int index, qint64 offsetMs) {
                         bar->playTrip(trip, static_cast<std::size_t>(std::max(0, index)),
                                       static_cast<std::uint64_t>(std::max<qint64>(0, offsetMs)));
                     });
    QObject::connect(bar, &CPlayerMenuDlg::tripPlaying, timeline,
                     &CTripTimelineDlg::setTripPlayback);
    QObject::connect(
        bar, &CPlayerMenuDlg::recordingSkipped, timeline,
        [timeline](const QString& path, const QString&) { timeline->markSkipped(path); });
    QObject::connect(
        list, &CFileManagerDlg::playTripRequested, timeline, [timeline, list](qulonglong entry) {
            if (!timeline->playTripOf(static_cast<std::size_t>(entry))) {
                showMessageBox(list, QStringLiteral("This recording belongs to no trip."),
                               MessageIcon::Information);
            }
        });
    QObject::connect(map, &CMapViewDlg::tripClicked, timeline,
                     [timeline](qint64 tripMs) { timeline->seekToTripTime(tripMs); });
    return {screen1, screen2, screen3, bar, info, map, list, graph, settings, timeline};
}

}  // namespace qelv::ui

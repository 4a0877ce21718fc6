#include "app/viewer_state.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/qv_nplayer_dlg.h"
#include "playback/ui/player_menu_dlg.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/window_guard.h"
#include "storage/ui/file_manager_dlg.h"
#include "telemetry/ui/gsensor_graphic_dlg.h"
#include "telemetry/ui/map_view_dlg.h"
#include "telemetry/ui/util_info_dlg.h"
#include "trips/ui/trip_timeline_dlg.h"

namespace qelv::ui {

namespace {
QJsonObject windowJson(const QWidget& window) {
    const QRect frame = window.geometry();
    return QJsonObject{{QStringLiteral("title"), window.windowTitle()},
                       {QStringLiteral("x"), frame.x()},
                       {QStringLiteral("y"), frame.y()},
                       {QStringLiteral("width"), frame.width()},
                       {QStringLiteral("height"), frame.height()},
                       {QStringLiteral("visible"), window.isVisible()},
                       {QStringLiteral("enabled"), window.isEnabled()},
                       {QStringLiteral("guarded"), windowGuarded(&window)}};
}

// What the control bar shows and what the engine and the panes did.
QJsonObject playerJson(const CPlayerMenuDlg& bar, ViewerContext& context) {
    media::PlaybackEngine& engine = context.engine();
    QJsonArray painted;
    QJsonArray channels;
    QJsonArray selected;
    for (int number = 1; number <= 3; ++number) {
        const CScreenDlg* screen = bar.screen(number);
        painted.append(screen->surface()->paintedFrames());
        channels.append(screen->channel());
        selected.append(screen->selectedMark());
    }
    QJsonArray shown;
    QJsonArray lost;
    if (const media::PlaybackGraph* graph = engine.graph()) {
        const media::PlaybackGraph::Counts counts = graph->counts();
        for (std::size_t k = 0; k < 3; ++k) {
            shown.append(static_cast<qint64>(counts.shown[k]));
            lost.append(static_cast<qint64>(counts.lost[k]));
        }
    }
    return QJsonObject{{QStringLiteral("state"), engine.state()},
                       {QStringLiteral("positionMs"), static_cast<qint64>(engine.positionMs())},
                       {QStringLiteral("position"), bar.positionReadout()->text()},
                       {QStringLiteral("duration"), bar.durationReadout()->text()},
                       {QStringLiteral("rate"), bar.rateReadout()->text()},
                       {QStringLiteral("ratePosition"), bar.rateSlider()->pos()},
                       {QStringLiteral("volume"), bar.volumeSlider()->pos()},
                       {QStringLiteral("path"), QString::fromStdString(bar.playingPath())},
                       {QStringLiteral("row"), bar.playingRow()},
                       {QStringLiteral("painted"), painted},
                       {QStringLiteral("channels"), channels},
                       {QStringLiteral("selected"), selected},
                       {QStringLiteral("shown"), shown},
                       {QStringLiteral("lost"), lost},
                       // The trip playing back to back: its recording, and where in the trip.
                       {QStringLiteral("tripIndex"),
                        bar.trip() ? static_cast<qint64>(bar.tripIndex()) : qint64{-1}},
                       {QStringLiteral("tripLengthMs"),
                        bar.trip() ? static_cast<qint64>(bar.trip()->lengthMs()) : qint64{0}}};
}

// What the sensor panel shows, and the store behind it.
QJsonObject telemetryJson(ViewerContext& context) {
    QJsonObject out;
    if (const auto* info =
            dynamic_cast<const CUtilInfoDlg*>(WindowRegistry::instance().find(kKeyInfoPanel))) {
        QJsonArray texts;
        for (int item = 0; item < CUtilInfoDlg::kItemCount; ++item) {
            texts.append(info->valueText(static_cast<CUtilInfoDlg::Item>(item)));
        }
        out.insert(QStringLiteral("panel"), texts);
        out.insert(QStringLiteral("readers"), info->readersStarted());
    }
    if (const auto* graph =
            dynamic_cast<const CGsensorGraphicDlg*>(WindowRegistry::instance().find(kKeyGraph))) {
        out.insert(QStringLiteral("graphVisible"), graph->paneVisible());
        out.insert(QStringLiteral("cursorMs"), static_cast<qint64>(graph->cursorMs()));
    }
    qsizetype fixes = 0;
    qsizetype samples = 0;
    context.telemetry().walkFixes(
        [&](const auto& list) { fixes = static_cast<qsizetype>(list.size()); });
    context.telemetry().walkSamples(
        [&](const auto& list) { samples = static_cast<qsizetype>(list.size()); });
    out.insert(QStringLiteral("fixes"), fixes);
    out.insert(QStringLiteral("samples"), samples);
    out.insert(QStringLiteral("routePoints"),
               static_cast<qsizetype>(context.telemetry().route().size()));
    out.insert(QStringLiteral("currentFix"), context.telemetry().currentFix().second);
    return out;
}

// The incidents view of the recording list: whether it shows, how far its scan is, and its
// rows in list order (the cells, the recording's path and the incident's first second).
QJsonObject incidentsJson(ViewerContext& context) {
    const auto* files =
        dynamic_cast<const CFileManagerDlg*>(WindowRegistry::instance().find(kKeyFileList));
    if (files == nullptr) {
        return {};
    }
    const CIncidentsView* view = files->incidentsView();
    QJsonArray rows;
    for (int row = 0; row < view->list()->rowCount(); ++row) {
        QJsonArray cells;
        for (int column = 0; column < view->list()->columnCount(); ++column) {
            cells.append(view->list()->cellText(row, column));
        }
        const CIncidentsView::Row& r = view->rows()[static_cast<std::size_t>(row)];
        const core::RecordingEntry* entry =
            context.catalogue().entryAt(static_cast<std::int64_t>(r.entry));
        rows.append(
            QJsonObject{{QStringLiteral("cells"), cells},
                        {QStringLiteral("path"),
                         entry != nullptr ? QString::fromStdString(entry->path) : QString()},
                        {QStringLiteral("startMs"), static_cast<qint64>(r.incident.startMs)}});
    }
    return QJsonObject{{QStringLiteral("shown"), files->incidentsShown()},
                       {QStringLiteral("scanning"), view->scanning()},
                       {QStringLiteral("complete"), view->complete()},
                       {QStringLiteral("status"), view->status()->text()},
                       {QStringLiteral("rows"), rows}};
}

// The dialogs open now (modal tools): where they are and the texts of their named controls.
QJsonArray dialogsJson() {
    QJsonArray dialogs;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog*>(window) == nullptr || !window->isVisible()) {
            continue;
        }
        QJsonObject texts;
        for (const QWidget* child : window->findChildren<QWidget*>()) {
            if (child->objectName().isEmpty()) {
                continue;
            }
            if (const auto* label = qobject_cast<const QLabel*>(child)) {
                texts.insert(child->objectName(), label->text());
            } else if (const auto* edit = qobject_cast<const QLineEdit*>(child)) {
                texts.insert(child->objectName(), edit->text());
            } else if (const auto* combo = qobject_cast<const QComboBox*>(child)) {
                texts.insert(child->objectName(), combo->currentText());
            } else if (const auto* form = qobject_cast<const QPlainTextEdit*>(child)) {
                texts.insert(child->objectName(), form->toPlainText());
            }
        }
        // Its buttons by text, with their middle on the screen, for a test's click.
        QJsonArray buttons;
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (button->isVisible() && !button->text().isEmpty()) {
                const QPoint middle = button->mapToGlobal(button->rect().center());
                buttons.append(QJsonObject{{QStringLiteral("text"), button->text()},
                                           {QStringLiteral("x"), middle.x()},
                                           {QStringLiteral("y"), middle.y()}});
            }
        }
        QJsonObject entry = windowJson(*window);
        entry.insert(QStringLiteral("texts"), texts);
        entry.insert(QStringLiteral("buttons"), buttons);
        dialogs.append(entry);
    }
    return dialogs;
}

}  // namespace

QByteArray viewerStateJson(const CQV_NPlayerDlg& main, ViewerContext& context) {
    QJsonObject state = windowJson(main);
    state.insert(QStringLiteral("layout"), context.layoutMode());
    QJsonArray panes;
    for (const PaneWindow* pane : main.panes()) {
        QJsonObject entry = windowJson(*pane);
        entry.insert(QStringLiteral("key"), pane->key());
        panes.append(entry);
    }
    state.insert(QStringLiteral("panes"), panes);
    QJsonArray rows;
    if (const CSkinListCtrl* list = context.fileList()) {
        for (int row = 0; row < list->rowCount(); ++row) {
            QJsonArray cells;
            for (int column = 0; column < list->columnCount(); ++column) {
                cells.append(list->cellText(row, column));
            }
            rows.append(cells);
        }
    }
    state.insert(QStringLiteral("rows"), rows);
    if (const auto* bar =
            dynamic_cast<const CPlayerMenuDlg*>(WindowRegistry::instance().find(kKeyControlBar))) {
        state.insert(QStringLiteral("player"), playerJson(*bar, context));
    }
    if (const auto* map =
            dynamic_cast<const CMapViewDlg*>(WindowRegistry::instance().find(kKeyMap))) {
        state.insert(
            QStringLiteral("map"),
            QJsonObject{{QStringLiteral("visible"), map->isVisible()},
                        {QStringLiteral("pageLoaded"), map->pageLoaded()},
                        {QStringLiteral("online"), map->online()},
                        {QStringLiteral("fixed"), map->fixed()},
                        {QStringLiteral("lastCall"), map->lastCall()},
                        {QStringLiteral("tripEndMs"), static_cast<qint64>(map->tripEndMs())}});
    }
    if (const auto* timeline = dynamic_cast<const CTripTimelineDlg*>(
            WindowRegistry::instance().find(kKeyTripTimeline))) {
        state.insert(
            QStringLiteral("timeline"),
            QJsonObject{{QStringLiteral("visible"), timeline->paneVisible()},
                        {QStringLiteral("trips"),
                         timeline->store() ? static_cast<qint64>(timeline->store()->trips.size())
                                           : qint64{-1}}});
    }
    state.insert(QStringLiteral("telemetry"), telemetryJson(context));
    state.insert(QStringLiteral("incidents"), incidentsJson(context));
    state.insert(QStringLiteral("dialogs"), dialogsJson());
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

}  // namespace qelv::ui

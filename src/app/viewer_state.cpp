#include "app/viewer_state.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/qv_nplayer_dlg.h"
#include "skin/window_guard.h"

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
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

}  // namespace qelv::ui

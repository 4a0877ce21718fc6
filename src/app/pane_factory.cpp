// The panes of the main window, in creation order: video panes 1 to 3, control bar,
// information panel, map, recording list, G-sensor graph, screen settings. A new pane is one
// line here.
#include "app/qv_nplayer_dlg.h"
#include "playback/ui/player_menu_dlg.h"
#include "playback/ui/screen_dlg.h"
#include "playback/ui/screen_setting_dlg.h"
#include "storage/ui/file_manager_dlg.h"
#include "telemetry/ui/map_view_dlg.h"

namespace qelv::ui {

std::vector<PaneWindow*> createViewerPanes(CQV_NPlayerDlg& main, ViewerContext& context) {
    auto* screen1 = new CScreen1Dlg(&main, context);
    auto* screen2 = new CScreen2Dlg(&main, context);
    auto* screen3 = new CScreen3Dlg(&main, context);
    auto* bar = new CPlayerMenuDlg(&main, context, {screen1, screen2, screen3});
    auto* map = new CMapViewDlg(&main, context, CMapViewDlg::defaultServices(context));
    auto* list = new CFileManagerDlg(&main, context, CFileManagerDlg::defaultServices());
    // The player's keys work wherever the user is (the panes share the main window's keys);
    // the list keeps its arrows and pages.
    bar->installShortcuts(&main);
    CPlayerMenuDlg::keepNavigationKeys(list->list());
    auto* settings = new CScreenSettingDlg(&main, context);
    return {screen1, screen2, screen3, bar, map, list, settings};
}

}  // namespace qelv::ui

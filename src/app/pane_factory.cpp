// The panes of the main window, in creation order: video panes 1 to 3, control bar,
// information panel, map, recording list, G-sensor graph, screen settings. A new pane is one
// line here.
#include "app/qv_nplayer_dlg.h"
#include "playback/ui/screen_setting_dlg.h"
#include "storage/ui/file_manager_dlg.h"

namespace qelv::ui {

std::vector<PaneWindow*> createViewerPanes(CQV_NPlayerDlg& main, ViewerContext& context) {
    std::vector<PaneWindow*> panes;
    panes.push_back(new CFileManagerDlg(&main, context, CFileManagerDlg::defaultServices()));
    panes.push_back(new CScreenSettingDlg(&main, context));
    return panes;
}

}  // namespace qelv::ui

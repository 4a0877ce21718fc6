// The viewer's state as one JSON line: the main window, every pane and the recording list's
// rows. Later starts ask for it ("qelv-viewer --state") to check or script a running viewer.
#pragma once

#include <QByteArray>

namespace qelv::ui {

class CQV_NPlayerDlg;
class ViewerContext;

QByteArray viewerStateJson(const CQV_NPlayerDlg& main, ViewerContext& context);

}  // namespace qelv::ui

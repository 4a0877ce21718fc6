// qelv-viewer: the QELV Viewer desktop program.
#include "app/qv_nplayer_app.h"

int main(int argc, char** argv) {
    return qelv::ui::CQV_NPlayerApp::run(argc, argv);
}

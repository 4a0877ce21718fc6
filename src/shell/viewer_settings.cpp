#include "shell/viewer_settings.h"

namespace qelv::ui {

void writeEngineSwitch(QSettings& settings) {
    settings.setValue(QStringLiteral("SOFTWARE/Kavrin/usingDShow"), 1);
    settings.sync();
}

}  // namespace qelv::ui

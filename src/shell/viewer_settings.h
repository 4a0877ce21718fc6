// The user's settings (QSettings, organisation "Local application", application "QELV Viewer"):
// the DirectShow-era switch the engine writes at start.
#pragma once

#include <QSettings>

namespace qelv::ui {

// Writes "SOFTWARE/Kavrin/usingDShow" = 1; failures are ignored.
void writeEngineSwitch(QSettings& settings);

}  // namespace qelv::ui

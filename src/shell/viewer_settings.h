// The user's settings (QSettings, organisation "Local application", application "QELV Viewer")
// as the playback layer's key-value store: the decoder whitelists and the DirectShow-era
// switch the engine writes at start.
#pragma once

#include <QSettings>

#include "playback/filter_check.h"

namespace qelv::ui {

class QSettingsStore : public media::SettingsStore {
public:
    explicit QSettingsStore(QSettings& settings) : m_settings(settings) {}
    std::optional<std::string> read(std::string_view key) const override;
    bool write(std::string_view key, const std::string& value) override;

private:
    QSettings& m_settings;
};

// Writes "SOFTWARE/Kavrin/usingDShow" = 1; failures are ignored.
void writeEngineSwitch(QSettings& settings);

}  // namespace qelv::ui

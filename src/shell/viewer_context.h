// The viewer's shared state: the playback engine, the recording catalogue, the telemetry
// store with the current fix, the layout mode, and the recording list the control bar reads.
// Built in that order and torn down in the reverse one, the playback graph last.
#pragma once

#include <QPointer>
#include <QSettings>
#include <memory>

#include "config/config_store.h"
#include "playback/playback_engine.h"
#include "skin/skin_list_ctrl.h"
#include "storage/recording_catalogue.h"
#include "telemetry/telemetry_state.h"

namespace qelv::ui {

class ViewerContext {
public:
    // Writes the engine's switch into `settings` and fills the catalogue from `config`.
    ViewerContext(const core::ConfigStore& config, QSettings& settings);
    ~ViewerContext();
    ViewerContext(const ViewerContext&) = delete;
    ViewerContext& operator=(const ViewerContext&) = delete;

    // The process-wide context, built on first use (after the configuration was loaded).
    static ViewerContext& instance();

    media::PlaybackEngine& engine() { return *m_engine; }
    core::RecordingCatalogue& catalogue() { return m_catalogue; }
    core::TelemetryState& telemetry() { return m_telemetry; }
    const core::ConfigStore& config() const { return m_config; }

    int layoutMode() const { return m_layoutMode; }
    void setLayoutMode(int mode) { m_layoutMode = mode; }
    // Always 0: km/h.
    int speedUnit() const { return 0; }

    CSkinListCtrl* fileList() const { return m_fileList.data(); }
    void setFileList(CSkinListCtrl* list) { m_fileList = list; }

private:
    const core::ConfigStore& m_config;
    // Declaration order is construction order; the engine goes last.
    std::unique_ptr<media::PlaybackEngine> m_engine;
    core::RecordingCatalogue m_catalogue;
    core::TelemetryState m_telemetry;
    int m_layoutMode = 0;
    QPointer<CSkinListCtrl> m_fileList;
};

}  // namespace qelv::ui

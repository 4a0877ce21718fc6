#include "shell/viewer_context.h"

#include <QCoreApplication>
#include <QDir>
#include <iostream>

#include "common/data_files.h"
#include "shell/viewer_settings.h"

namespace qelv::ui {

ViewerContext::ViewerContext(const core::ConfigStore& config, QSettings& settings)
    : m_config(config), m_engine(std::make_unique<media::PlaybackEngine>()) {
    writeEngineSwitch(settings);
    m_catalogue.applyConfiguration(config);
    m_catalogue.setSelectedDrive(-1);
}

// The members go in reverse order: the telemetry store with the current fix, the catalogue
// (closing an open card), and last the engine, which tears its graph down.
ViewerContext::~ViewerContext() = default;

ViewerContext& ViewerContext::instance() {
    static QSettings settings;
    static ViewerContext context(core::ConfigStore::shared(core::configurationFile(), std::cout),
                                 settings);
    return context;
}

}  // namespace qelv::ui

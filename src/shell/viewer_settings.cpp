#include "shell/viewer_settings.h"

namespace qelv::ui {

namespace {
QString keyOf(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}
}  // namespace

std::optional<std::string> QSettingsStore::read(std::string_view key) const {
    const QString name = keyOf(key);
    if (!m_settings.contains(name)) {
        return std::nullopt;
    }
    return m_settings.value(name).toString().toStdString();
}

bool QSettingsStore::write(std::string_view key, const std::string& value) {
    const QString name = keyOf(key);
    if (!m_settings.contains(name) || !m_settings.isWritable()) {
        return false;
    }
    m_settings.setValue(name, QString::fromStdString(value));
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}

void writeEngineSwitch(QSettings& settings) {
    settings.setValue(QStringLiteral("SOFTWARE/Kavrin/usingDShow"), 1);
    settings.sync();
}

}  // namespace qelv::ui

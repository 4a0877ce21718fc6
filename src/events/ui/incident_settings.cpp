#include "events/ui/incident_settings.h"

#include <cmath>

namespace qelv::ui {

namespace {

double setting(const QSettings& settings, const char* key, double fallback,
               events::ThresholdRange range) {
    const QVariant value = settings.value(
        QStringLiteral("%1/%2").arg(QLatin1String(kIncidentsGroup), QLatin1String(key)));
    // A decimal comma is what many users type.
    QString text = value.toString().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(number) || number < range.lowest || number > range.highest) {
        return fallback;
    }
    return number;
}

}  // namespace

events::Thresholds incidentThresholds(const QSettings& settings) {
    const events::Thresholds defaults;
    events::Thresholds t;
    t.brakingKmhPerS =
        setting(settings, "BrakingKmhPerS", defaults.brakingKmhPerS, events::kBrakingRange);
    t.brakingMinStartKmh =
        setting(settings, "BrakingFromKmh", defaults.brakingMinStartKmh, events::kBrakingFromRange);
    t.impactG = setting(settings, "ImpactG", defaults.impactG, events::kImpactRange);
    t.swerveG = setting(settings, "SwerveG", defaults.swerveG, events::kSwerveRange);
    return t;
}

}  // namespace qelv::ui

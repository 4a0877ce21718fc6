#include "telemetry/ui/map_script.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>

namespace qelv::ui {

namespace {
constexpr QLatin1StringView kScheme("javascript:");
// A report longer than this is not a click position.
constexpr qsizetype kLongestReport = 200;

// "%lf" without the locale: six decimals, a "." always (a locale with a decimal comma would
// otherwise cut the number in two where the call is taken apart).
QString sixDecimals(double value) {
    // The longest double written with six decimals needs 309 digits, a sign and the decimals.
    std::array<char, 400> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 6);
    return QString::fromLatin1(text.data(), result.ptr - text.data());
}

// The shortest text that reads back as `value` (finite values only).
QString exactNumber(double value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return QString::fromLatin1(text.data(), result.ptr - text.data());
}

bool isSeparator(QChar c) {
    switch (c.unicode()) {
        case u' ':
        case u',':
        case u'\'':
        case u'"':
        case u'\t':
        case u'(':
        case u')':
        case u';':
            return true;
        default:
            return false;
    }
}

QLatin1StringView kind(events::IncidentKind k) {
    const std::string_view name = events::kindName(k);
    return {name.data(), static_cast<qsizetype>(name.size())};
}

bool placeable(double latitude, double longitude) {
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
           std::fabs(longitude) <= 180.0;
}
}  // namespace

QString drawCurrentText(double longitude, double latitude) {
    return QStringLiteral("javascript:DrawCurrent('%1', '%2')")
        .arg(sixDecimals(longitude), sixDecimals(latitude));
}

std::optional<ScriptCall> takeApartScriptCall(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(kScheme)) {
        return std::nullopt;
    }
    const qsizetype open = trimmed.indexOf(u'(', kScheme.size());
    if (open < 0) {
        return std::nullopt;
    }
    ScriptCall call;
    call.function = trimmed.mid(kScheme.size(), open - kScheme.size()).trimmed();
    if (call.function.isEmpty()) {
        return std::nullopt;
    }
    QString piece;
    for (QChar c : QStringView(trimmed).mid(open)) {
        if (isSeparator(c)) {
            if (!piece.isEmpty()) {
                call.arguments.append(piece);
                piece.clear();
            }
        } else {
            piece.append(c);
        }
    }
    if (!piece.isEmpty()) {
        call.arguments.append(piece);
    }
    return call;
}

QString scriptOf(const ScriptCall& call) {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]*$"));
    if (!identifier.match(call.function).hasMatch()) {
        return {};
    }
    // JSON strings are JavaScript strings: quotes, backslashes and line breaks are escaped.
    QByteArray arguments =
        QJsonDocument(QJsonArray::fromStringList(call.arguments)).toJson(QJsonDocument::Compact);
    arguments = arguments.mid(1, arguments.size() - 2);
    return QStringLiteral("(typeof %1 === 'function') ? %1(%2) : undefined")
        .arg(call.function, QString::fromUtf8(arguments));
}

std::vector<core::RoutePoint> drawableRoute(const std::vector<core::RoutePoint>& route) {
    std::vector<core::RoutePoint> drawable;
    drawable.reserve(route.size());
    for (const core::RoutePoint& point : route) {
        if (placeable(point.latitude, point.longitude)) {
            drawable.push_back(point);
        }
    }
    return drawable;
}

QString routeJson(const std::vector<core::RoutePoint>& route) {
    QString json = QStringLiteral("[");
    bool first = true;
    for (const core::RoutePoint& point : drawableRoute(route)) {
        if (!first) {
            json += u',';
        }
        first = false;
        json += u'[' + exactNumber(point.latitude) + u',' + exactNumber(point.longitude) + u',' +
                QString::number(point.timeMs) + u']';
    }
    return json + u']';
}

QString tripRouteJson(const std::vector<TripRoutePoint>& route) {
    QString json = QStringLiteral("[");
    bool first = true;
    for (const TripRoutePoint& p : route) {
        if (!std::isfinite(p.latitude) || !std::isfinite(p.longitude) ||
            !std::isfinite(p.speedKmh) || std::abs(p.latitude) > 90 ||
            std::abs(p.longitude) > 180 || p.tripMs < 0) {
            continue;
        }
        if (!first) {
            json += u',';
        }
        first = false;
        json += u'[' + exactNumber(p.latitude) + u',' + exactNumber(p.longitude) + u',' +
                QString::number(p.tripMs) + u',' + exactNumber(p.speedKmh) + u']';
    }
    return json + u']';
}

QString incidentsJson(const std::vector<core::RoutePoint>& route,
                      const std::vector<events::Incident>& incidents) {
    // In time order (a stable sort keeps the route's order among equal times), so that each
    // incident finds its point by a binary search: a long hostile track has many of both.
    std::vector<core::RoutePoint> drawable = drawableRoute(route);
    std::stable_sort(
        drawable.begin(), drawable.end(),
        [](const core::RoutePoint& a, const core::RoutePoint& b) { return a.timeMs < b.timeMs; });
    const auto gapTo = [](const core::RoutePoint& point, std::uint32_t timeMs) {
        return point.timeMs > timeMs ? point.timeMs - timeMs : timeMs - point.timeMs;
    };
    QString json = QStringLiteral("[");
    for (const events::Incident& incident : incidents) {
        auto nearest = std::lower_bound(drawable.begin(), drawable.end(), incident.startMs,
                                        [](const core::RoutePoint& point, std::uint32_t timeMs) {
                                            return point.timeMs < timeMs;
                                        });
        if (nearest != drawable.begin() &&
            (nearest == drawable.end() ||
             gapTo(*std::prev(nearest), incident.startMs) <= gapTo(*nearest, incident.startMs))) {
            --nearest;  // the earlier point is as near or nearer
        }
        if (nearest == drawable.end() || gapTo(*nearest, incident.startMs) > kIncidentPlaceMs) {
            continue;
        }
        if (json.size() > 1) {
            json += u',';
        }
        json += u'[' + exactNumber(nearest->latitude) + u',' + exactNumber(nearest->longitude) +
                QStringLiteral(",\"") + kind(incident.kind) + QStringLiteral("\",") +
                QString::number(incident.startMs) + u']';
    }
    return json + u']';
}

std::optional<std::uint32_t> parseIncidentClick(const QString& report) {
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,10}")));
    if (!digits.match(report).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qulonglong timeMs = report.toULongLong(&ok);
    if (!ok || timeMs > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(timeMs);
}

std::optional<ClickedPoint> parseRouteClick(const QString& report) {
    if (report.size() > kLongestReport) {
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(report.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    const QJsonArray values = document.array();
    if (values.size() != 2 || !values[0].isDouble() || !values[1].isDouble()) {
        return std::nullopt;
    }
    const ClickedPoint click{values[0].toDouble(), values[1].toDouble()};
    if (!placeable(click.latitude, click.longitude)) {
        return std::nullopt;
    }
    return click;
}

std::optional<std::uint32_t> nearestRouteTime(const std::vector<core::RoutePoint>& route,
                                              ClickedPoint click) {
    std::optional<std::uint32_t> nearest;
    double nearestDistance = 0;
    // Over the few kilometres of a recording the map is flat: a degree of longitude is
    // cos(latitude) degrees of latitude long.
    const double across = std::cos(click.latitude * std::numbers::pi / 180.0);
    for (const core::RoutePoint& point : drawableRoute(route)) {
        const double east = std::remainder(point.longitude - click.longitude, 360.0) * across;
        const double north = point.latitude - click.latitude;
        const double distance = east * east + north * north;
        if (!nearest || distance < nearestDistance) {
            nearest = point.timeMs;
            nearestDistance = distance;
        }
    }
    return nearest;
}

}  // namespace qelv::ui

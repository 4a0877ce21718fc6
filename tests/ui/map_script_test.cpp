// What the viewer says to the map page and what it takes from it: the position call and its
// taking apart, the route text, the route clicks (hostile ones too) and the tile address.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "map_support.h"
#include "telemetry/telemetry_state.h"
#include "telemetry/ui/map_script.h"
#include "telemetry/ui/tile_server_probe.h"

namespace qelv::test {
namespace {

using core::RoutePoint;
using ui::ClickedPoint;
using ui::ScriptCall;

TEST(MapScript, PositionCallOfAFixIsTakenApartIntoDrawCurrentAndItsTwoDegrees) {
    struct Case {
        const char* latitude;
        const char* north;
        const char* longitude;
        const char* east;
        const char* text;
        const char* lonArgument;
        const char* latArgument;
    };
    // Degrees worked out by hand: 37 + 30.5 / 60 = 37.5083333..., 126 + 58.6 / 60 = 126.97666...
    const Case cases[] = {
        {"3730.5", "N", "12700.0", "E", "javascript:DrawCurrent('127.000000', '37.508333')",
         "127.000000", "37.508333"},
        {"3730.5", "S", "12700.0", "W", "javascript:DrawCurrent('-127.000000', '-37.508333')",
         "-127.000000", "-37.508333"},
        {"3733.1", "N", "12658.6", "E", "javascript:DrawCurrent('126.976667', '37.551667')",
         "126.976667", "37.551667"},
        {"0000.0", "N", "00000.0", "E", "javascript:DrawCurrent('0.000000', '0.000000')",
         "0.000000", "0.000000"},
        {"5130.0", "N", "00007.5", "W", "javascript:DrawCurrent('-0.125000', '51.500000')",
         "-0.125000", "51.500000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        core::TelemetryState telemetry;
        const auto record = gpsRecord(c.latitude, c.north, c.longitude, c.east);
        ASSERT_EQ(telemetry.ParseTextRecord(record, 0), 0);
        ASSERT_EQ(telemetry.ParseTextRecord(record, 1000), 0);
        const auto at = telemetry.SelectCurrentFix(0);
        ASSERT_TRUE(at.has_value());
        const QString text = ui::drawCurrentText(at->longitude, at->latitude);
        EXPECT_EQ(text, QString::fromLatin1(c.text));
        const auto call = ui::takeApartScriptCall(text);
        ASSERT_TRUE(call.has_value());
        EXPECT_EQ(call->function, QStringLiteral("DrawCurrent"));
        EXPECT_EQ(call->arguments, QStringList({QString::fromLatin1(c.lonArgument),
                                                QString::fromLatin1(c.latArgument)}));
    }
}

TEST(MapScript, CallTextsAreTakenApartAtTheSeparators) {
    struct Case {
        QString text;
        std::optional<ScriptCall> expected;
    };
    const Case cases[] = {
        {QStringLiteral("javascript:DrawCurrent('1.5', '2.5')"),
         ScriptCall{QStringLiteral("DrawCurrent"), {QStringLiteral("1.5"), QStringLiteral("2.5")}}},
        {QStringLiteral("javascript: DrawCurrent ( \"a\";\t'b' ,c)"),
         ScriptCall{QStringLiteral("DrawCurrent"),
                    {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}}},
        {QStringLiteral("javascript:Reset()"), ScriptCall{QStringLiteral("Reset"), {}}},
        {QStringLiteral("javascript:F('x y')"),
         ScriptCall{QStringLiteral("F"), {QStringLiteral("x"), QStringLiteral("y")}}},
        {QStringLiteral("DrawCurrent('1', '2')"), std::nullopt},
        {QStringLiteral("javascript:DrawCurrent"), std::nullopt},
        {QStringLiteral("javascript:  ('1')"), std::nullopt},
        {QString(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(ui::takeApartScriptCall(c.text), c.expected);
    }
}

TEST(MapScript, ScriptQuotesEveryArgumentAndRefusesANameThatIsNoIdentifier) {
    EXPECT_EQ(ui::scriptOf({QStringLiteral("DrawCurrent"),
                            {QStringLiteral("127.000000"), QStringLiteral("37.508333")}}),
              QStringLiteral("(typeof DrawCurrent === 'function') ? "
                             "DrawCurrent(\"127.000000\",\"37.508333\") : undefined"));
    // Quotes, backslashes and line breaks stay inside their string.
    EXPECT_EQ(ui::scriptOf({QStringLiteral("F"),
                            {QStringLiteral("a\"b"), QStringLiteral("c\\"), QStringLiteral("\n")}}),
              QStringLiteral("(typeof F === 'function') ? F(\"a\\\"b\",\"c\\\\\",\"\\n\") : "
                             "undefined"));
    for (const char* name : {"alert(1);x", "", "1abc", "a b", "a.b"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(ui::scriptOf({QString::fromLatin1(name), {}}).isEmpty());
    }
}

TEST(MapScript, RouteTextHoldsThePlaceablePointsExactly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<RoutePoint> route = {
        {127.0, 37.508333333333333, 0},
        {nan, 37.5, 1000},
        {126.97666666666667, 37.551666666666666, 2000},
        {127.0, inf, 3000},
        {190.0, 37.5, 4000},
        {127.0, -91.0, 5000},
        {-180.0, -90.0, 6000},
        {1e-7, 0.0, 4294967295u},
    };
    const QString json = ui::routeJson(route);
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    ASSERT_TRUE(document.isArray()) << json.toStdString();
    const QJsonArray points = document.array();
    const std::vector<RoutePoint> expected = {route[0], route[2], route[6], route[7]};
    ASSERT_EQ(points.size(), static_cast<qsizetype>(expected.size())) << json.toStdString();
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const QJsonArray point = points[static_cast<qsizetype>(k)].toArray();
        ASSERT_EQ(point.size(), 3);
        EXPECT_EQ(point[0].toDouble(), expected[k].latitude);
        EXPECT_EQ(point[1].toDouble(), expected[k].longitude);
        EXPECT_EQ(point[2].toDouble(), static_cast<double>(expected[k].timeMs));
    }
    EXPECT_EQ(ui::routeJson({}), QStringLiteral("[]"));
    EXPECT_EQ(ui::routeJson({{nan, nan, 0}}), QStringLiteral("[]"));
}

// Each incident stands at the drawable route point nearest its start in time, or nowhere when
// none is within 5 s.
TEST(MapScript, IncidentTextPlacesEachAtTheDrawablePointNearestInTime) {
    using events::IncidentKind;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<RoutePoint> route = {{127.0, 37.5, 0},      {nan, 37.6, 5000},
                                           {127.25, 37.75, 6000}, {200.0, 37.8, 20000},
                                           {127.5, -12.5, 22000}, {127.0, 91.0, 40000}};
    struct Case {
        IncidentKind kind;
        std::uint32_t startMs;
        const char* json;  // empty: left out
    };
    const Case cases[] = {
        {IncidentKind::HardBraking, 0, R"([37.5,127,"braking",0])"},
        // The point at 5 s cannot be placed: the one at 6 s is nearest.
        {IncidentKind::Impact, 5000, R"([37.75,127.25,"impact",5000])"},
        {IncidentKind::Swerve, 2000, R"([37.5,127,"swerve",2000])"},
        {IncidentKind::Impact, 3000, R"([37.5,127,"impact",3000])"},  // a tie: the earlier
        {IncidentKind::HardBraking, 21000, R"([-12.5,127.5,"braking",21000])"},
        {IncidentKind::Swerve, 40000, ""},  // the nearest drawable point is 18 s away
        {IncidentKind::Impact, 4294967295u, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startMs);
        const events::Incident incident{c.kind, c.startMs, c.startMs, 2.0, 30.0, 60.0, 40.0};
        const QString json = QString::fromLatin1(c.json);
        EXPECT_EQ(ui::incidentsJson(route, {incident}),
                  json.isEmpty() ? QStringLiteral("[]") : u'[' + json + u']');
    }
    EXPECT_EQ(ui::incidentsJson(route, {{IncidentKind::Swerve, 0, 0, 1, 1, -1, -1},
                                        {IncidentKind::Impact, 6000, 6000, 1, 1, -1, -1}}),
              QStringLiteral(R"([[37.5,127,"swerve",0],[37.75,127.25,"impact",6000]])"));
    // What the page reports of a click on a mark: a time in ms, nothing else.
    EXPECT_EQ(ui::parseIncidentClick(QStringLiteral("23000")), 23000u);
    EXPECT_EQ(ui::parseIncidentClick(QStringLiteral("4294967295")), 4294967295u);
    for (const char* report : {"", "4294967296", "-5", "1e3", " 12", "12\n", "[1]", "0x10"}) {
        EXPECT_FALSE(ui::parseIncidentClick(QString::fromLatin1(report)).has_value()) << report;
    }
}

// The trip's route: every placeable point with a finite speed, numbers that read back.
TEST(MapScript, TripRouteTextHoldsThePlaceablePointsWithTheirSpeeds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<ui::TripRoutePoint> route = {
        {37.5, 127.25, 0, 20.5},  {nan, 127.0, 1000, 20}, {37.5, 181, 2000, 20},
        {37.5, 127.0, 3000, nan}, {37.5, 127.0, -1, 20},  {-33.875, 151.5, 3600000, 0}};
    EXPECT_EQ(ui::tripRouteJson(route),
              QStringLiteral("[[37.5,127.25,0,20.5],[-33.875,151.5,3600000,0]]"));
    EXPECT_EQ(ui::tripRouteJson({}), QStringLiteral("[]"));
}

TEST(MapScript, RouteClickReportsAreCheckedBeforeUse) {
    struct Case {
        QString report;
        std::optional<std::pair<double, double>> expected;
    };
    const Case cases[] = {
        {QStringLiteral("[37.5, 127.25]"), std::pair(37.5, 127.25)},
        {QStringLiteral("[-33.86,151.2]"), std::pair(-33.86, 151.2)},
        {QStringLiteral("[90, -180]"), std::pair(90.0, -180.0)},
        {QString(), std::nullopt},
        {QStringLiteral("garbage"), std::nullopt},
        {QStringLiteral("[37.5]"), std::nullopt},
        {QStringLiteral("[37.5, 127, 3]"), std::nullopt},
        {QStringLiteral("[\"37.5\", 127]"), std::nullopt},
        {QStringLiteral("{\"lat\": 37.5, \"lon\": 127}"), std::nullopt},
        {QStringLiteral("[NaN, 127]"), std::nullopt},
        {QStringLiteral("[1e999, 127]"), std::nullopt},
        {QStringLiteral("[37.5, -1e999]"), std::nullopt},
        {QStringLiteral("[90.5, 0]"), std::nullopt},
        {QStringLiteral("[0, 180.0001]"), std::nullopt},
        {QStringLiteral("[null, 1]"), std::nullopt},
        {QStringLiteral("[37.5, 127] trailing"), std::nullopt},
        {QStringLiteral("[37.5, 127") + QString(300, u' ') + u']', std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report.left(60).toStdString());
        const std::optional<ClickedPoint> click = ui::parseRouteClick(c.report);
        ASSERT_EQ(click.has_value(), c.expected.has_value());
        if (click) {
            EXPECT_EQ(click->latitude, c.expected->first);
            EXPECT_EQ(click->longitude, c.expected->second);
        }
    }
}

TEST(MapScript, NearestRoutePointIsChosenOnTheGround) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Three fixes a few hundred metres apart going east along 60 degrees north, where a degree
    // of longitude is half a degree of latitude long.
    const std::vector<RoutePoint> route = {
        {10.000, 60.000, 0},    {10.010, 60.000, 1000},  {nan, 60.0, 1500},
        {10.020, 60.000, 2000}, {10.020, 60.0098, 3000},
    };
    struct Case {
        ClickedPoint click;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {{60.0001, 10.0004}, 0},
        {{59.999, 10.0098}, 1000},
        {{60.004, 10.021}, 2000},
        // On the ground the fix 0.008 degrees of longitude (0.004) east and 0.0038 north is
        // nearer than the one 0.002 (0.001) west and 0.006 south; in plain degrees it is not.
        {{60.006, 10.012}, 3000},
        {{61.0, 10.02}, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.click.latitude) + " " + std::to_string(c.click.longitude));
        EXPECT_EQ(ui::nearestRouteTime(route, c.click), c.expected);
    }
    // Halfway between two fixes: the earlier one.
    EXPECT_EQ(ui::nearestRouteTime({{10.0, 60.0, 0}, {10.5, 60.0, 1000}}, {60.0, 10.25}), 0u);
    EXPECT_EQ(ui::nearestRouteTime({}, {37.5, 127.0}), std::nullopt);
    EXPECT_EQ(ui::nearestRouteTime({{nan, nan, 5}}, {37.5, 127.0}), std::nullopt);
    // Across the date line 179.9 east is next to 179.9 west.
    EXPECT_EQ(ui::nearestRouteTime({{-179.9, 0.0, 1}, {170.0, 0.0, 2}}, {0.0, 179.9}), 1u);
}

TEST(MapScript, TileServerIsTheHostAndPortOfTheTileAddress) {
    struct Case {
        const char* url;
        std::optional<ui::TileServer> expected;
    };
    const Case cases[] = {
        {"https://tile.openstreetmap.org/{z}/{x}/{y}.png",
         ui::TileServer{QStringLiteral("tile.openstreetmap.org"), 443}},
        {"http://127.0.0.1:8080/{z}/{x}/{y}.png",
         ui::TileServer{QStringLiteral("127.0.0.1"), 8080}},
        {"HTTP://tiles.example.com/{z}/{x}/{y}.png",
         ui::TileServer{QStringLiteral("tiles.example.com"), 80}},
        {"https://{s}.tile.example.org/{z}/{x}/{y}.png",
         ui::TileServer{QStringLiteral("a.tile.example.org"), 443}},
        {"  http://[::1]:81/t/{z}/{x}/{y}.png ", ui::TileServer{QStringLiteral("::1"), 81}},
        {"ftp://tiles.example.com/{z}/{x}/{y}.png", std::nullopt},
        {"file:///srv/tiles/{z}/{x}/{y}.png", std::nullopt},
        {"tiles.example.com/{z}/{x}/{y}.png", std::nullopt},
        {"http://host:0/{z}/{x}/{y}.png", std::nullopt},
        {"http://host:70000/{z}/{x}/{y}.png", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(ui::tileServerOf(QString::fromLatin1(c.url)), c.expected);
    }
}

TEST(MapScript, TileAddressComesFromTheUserSettingWithOpenStreetMapAsDefault) {
    QTemporaryDir folder;
    QSettings settings(folder.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    EXPECT_EQ(ui::configuredTileUrl(settings),
              QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
    settings.setValue(QStringLiteral("Map/TileUrl"), QStringLiteral("  "));
    EXPECT_EQ(ui::configuredTileUrl(settings),
              QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
    settings.setValue(QStringLiteral("Map/TileUrl"),
                      QStringLiteral("http://tiles.intranet:8080/osm/{z}/{x}/{y}.png"));
    EXPECT_EQ(ui::configuredTileUrl(settings),
              QStringLiteral("http://tiles.intranet:8080/osm/{z}/{x}/{y}.png"));
}

}  // namespace
}  // namespace qelv::test

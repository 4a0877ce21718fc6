// The real map page in the real browser (Qt WebEngine, offscreen): the tiles come from the
// address the user set, DrawCurrent places the marker, the route is drawn clear of the map's
// controls, and a click on it seeks playback. Offline the route shows on a grid, tiles come
// once the server does, and tiles seen once show offline from the cache.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cmath>
#include <memory>
#include <optional>

#include "map_support.h"
#include "shell/viewer_context.h"
#include "shell/window_keys.h"
#include "telemetry/ui/map_view_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CMapViewDlg;

constexpr int kPageWaitMs = 60000;
// The route's colour on the page.
constexpr QColor kRouteColour{61, 143, 224};
constexpr QColor kGridLineColour{74, 82, 101};

class MapPageTest : public MapTestBase {
protected:
    // A map window on the real browser, shown, with its tiles from `tileUrl`.
    void open(const QString& tileUrl) {
        map = new CMapViewDlg(main.get(), *context, services(tileUrl, ui::createWebMapSurface));
        map->show();
    }

    // Pixels of the map picture (in `area`, default all) within `tolerance` of `colour`.
    int pixelsLike(QColor colour, int tolerance = 0, QRect area = {}) {
        const QImage image = map->mapImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += (area.isNull() || area.contains(x, y)) &&
                     std::max({std::abs(c.red() - colour.red()),
                               std::abs(c.green() - colour.green()),
                               std::abs(c.blue() - colour.blue())}) <= tolerance;
            }
        }
        return n;
    }
    int tilePixels() { return pixelsLike(LocalTileServer::kTileColour); }
    int routePixels() { return pixelsLike(kRouteColour, 24); }
    // The tiles of the view are painted and none is still coming.
    bool tilesSettled() {
        return tilePixels() > 8000 &&
               !evaluate(QStringLiteral("tiles.isLoading()")).value_or(true).toBool();
    }

    // Sets a route (lon, lat, time) and waits until the page has drawn all of its points.
    bool showRoute(std::vector<core::RoutePoint> points) {
        core::TelemetryState& telemetry = context->telemetry();
        const int count = static_cast<int>(points.size());
        telemetry.setRoute(std::move(points), telemetry.epoch());
        return waitFor(
            [this, count] {
                return evaluate(QStringLiteral("route.getLatLngs().length")).value_or(0).toInt() ==
                       count;
            },
            kPageWaitMs);
    }
    // A U from the top-left corner of its bounds down, across and up to the top-right one:
    // fitted with a bare margin, it would run under the zoom buttons and the scale bar.
    const std::vector<core::RoutePoint> cornerRoute{
        {126.99, 37.51, 0}, {126.99, 37.50, 1000}, {127.01, 37.50, 2000}, {127.01, 37.51, 3000}};

    // The value of `expression` on the page, or nothing when it did not answer in time.
    std::optional<QVariant> evaluate(const QString& expression) {
        auto* view = qobject_cast<QWebEngineView*>(map->surface()->widget());
        if (view == nullptr) {
            return std::nullopt;
        }
        auto answer = std::make_shared<std::optional<QVariant>>();
        view->page()->runJavaScript(expression,
                                    [answer](const QVariant& value) { *answer = value; });
        waitFor([answer] { return answer->has_value(); }, kPageWaitMs);
        return *answer;
    }
    bool waitForPage() {
        return waitFor([this] { return map->surface() != nullptr && map->surface()->ready(); },
                       kPageWaitMs);
    }

    CMapViewDlg* map = nullptr;
};

TEST_F(MapPageTest, PageDrawsThePositionAndTheRouteAndAClickSeeks) {
    RecordingWindow bar(ui::kKeyControlBar);
    // The "+" reaches the tile server as it is.
    open(tiles.tileUrl() + QStringLiteral("?key=a+b"));
    ASSERT_TRUE(waitForPage()) << "the map page did not load";
    EXPECT_EQ(map->pageLoaded(), 1);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(evaluate(QStringLiteral("typeof DrawCurrent")), QVariant(QStringLiteral("function")));

    core::TelemetryState& telemetry = context->telemetry();
    for (std::uint32_t k = 0; k < 3; ++k) {
        ASSERT_EQ(telemetry.ParseTextRecord(gpsRecord("3730.5", "N", "12700.0", "E"), k * 1000), 0);
    }
    telemetry.setRoute({{126.99, 37.50, 0}, {127.00, 37.5083333, 1000}, {127.01, 37.51, 2000}},
                       telemetry.epoch());
    state = 0;
    // The half-second timer draws the fix and sends the route.
    const auto marker = [this] {
        return evaluate(QStringLiteral(
                            "marker === null ? '' : marker.getLatLng().lng.toFixed(6) + ' ' + "
                            "marker.getLatLng().lat.toFixed(6)"))
            .value_or(QVariant())
            .toString();
    };
    ASSERT_TRUE(
        waitFor([&] { return marker() == QStringLiteral("127.000000 37.508333"); }, kPageWaitMs))
        << marker().toStdString();
    ASSERT_TRUE(waitFor(
        [this] {
            return evaluate(QStringLiteral("route.getLatLngs().length")).value_or(0).toInt() == 3;
        },
        kPageWaitMs));
    EXPECT_EQ(evaluate(QStringLiteral("route.getLatLngs()[2].lng")).value_or(0).toDouble(), 127.01);
    // The tiles came from the address the user set, asked for by the program by name.
    ASSERT_TRUE(waitFor([this] { return !tiles.paths.empty(); }, kPageWaitMs));
    EXPECT_TRUE(tiles.paths.front().startsWith(QStringLiteral("/tiles/")))
        << tiles.paths.front().toStdString();
    EXPECT_TRUE(tiles.paths.front().endsWith(QStringLiteral(".png?key=a+b")))
        << tiles.paths.front().toStdString();
    ASSERT_FALSE(tiles.userAgents.empty());
    EXPECT_TRUE(tiles.userAgents.front().startsWith("QELV Viewer/1."))
        << tiles.userAgents.front().toStdString();

    // The report's map picture holds the tiles the browser drew (the server's green).
    EXPECT_TRUE(waitFor([&] { return tilePixels() > 2000; }, kPageWaitMs)) << tilePixels();

    // Values the page cannot place are ignored, the marker stays.
    EXPECT_EQ(evaluate(QStringLiteral("DrawCurrent('abc', '37.5')")),
              QVariant(QStringLiteral("ignored")));
    EXPECT_EQ(evaluate(QStringLiteral("DrawCurrent('200.0', '37.5')")),
              QVariant(QStringLiteral("ignored")));
    EXPECT_EQ(marker(), QStringLiteral("127.000000 37.508333"));

    // A click near the last fix seeks playback to it.
    evaluate(QStringLiteral("routeHit.fire('click', {latlng: L.latLng(37.5101, 127.0099)}); 1"));
    ASSERT_TRUE(waitFor([&bar] { return !bar.received.empty(); }, kPageWaitMs));
    EXPECT_EQ(bar.received.front(), (Received{ui::kMsgSeek, 1000, ui::kSeekToTarget}));

    // A route emptied with the store is removed from the map.
    telemetry.clear();
    EXPECT_TRUE(waitFor(
        [this] {
            return evaluate(QStringLiteral("route.getLatLngs().length")).value_or(-1).toInt() == 0;
        },
        kPageWaitMs));
}

// The incidents of the recording playing stand on its route, over it and under the vehicle; a
// click on one seeks there, and they go with the recording.
TEST_F(MapPageTest, IncidentsAreMarkedOnTheRouteAndAClickOnOneSeeks) {
    RecordingWindow bar(ui::kKeyControlBar);
    tiles.stop();  // the grid only: nothing else of the braking's colour
    open(tiles.tileUrl());
    ASSERT_TRUE(waitForPage());
    core::TelemetryState& telemetry = context->telemetry();
    // 60 km/h (32.4 knots) until 3 s, then 40: hard braking in the second from 3 s.
    for (std::uint32_t k = 0; k < 6; ++k) {
        telemetry.ParseTextRecord(
            gpsRecord("3730.5", "N", "12700.0", "E", k <= 3 ? "32.4" : "21.6"), k * 1000);
    }
    state = 1;
    ASSERT_TRUE(showRoute(cornerRoute));
    const auto marks = [this] {
        return evaluate(QStringLiteral("incidentMarks.getLayers().length")).value_or(-1).toInt();
    };
    ASSERT_TRUE(waitFor([&] { return marks() == 1; }, kPageWaitMs));
    EXPECT_EQ(
        evaluate(QStringLiteral("incidentMarks.getLayers()[0].getTooltip().getContent() + ' ' + "
                                "incidentMarks.getLayers()[0].getLatLng().lng")),
        QVariant(QStringLiteral("Hard braking 0:03 127.01")));
    // Its pixels stand around the route's last point, and only there.
    const int at = evaluate(QStringLiteral("(function () { var p = map.latLngToContainerPoint("
                                           "[37.51, 127.01]).round(); return p.x * 10000 + p.y; "
                                           "})()"))
                       .value_or(0)
                       .toInt();
    const QRect around(at / 10000 - 8, at % 10000 - 8, 17, 17);
    const QColor braking(255, 64, 160);
    EXPECT_TRUE(waitFor([&] { return pixelsLike(braking, 12, around) > 20; }, kPageWaitMs));
    EXPECT_EQ(pixelsLike(braking, 12), pixelsLike(braking, 12, around));

    evaluate(QStringLiteral("incidentMarks.getLayers()[0].fire('click'); 1"));
    ASSERT_TRUE(waitFor([&bar] { return !bar.received.empty(); }, kPageWaitMs));
    EXPECT_EQ(bar.received.front(), (Received{ui::kMsgSeek, 2000, ui::kSeekToTarget}));
    telemetry.clear();
    EXPECT_TRUE(waitFor([&] { return marks() == 0 && pixelsLike(braking, 12) == 0; }, kPageWaitMs));
}

// While a trip plays: its whole route in the speed bands' colours, its incident, a legend;
// a click on the incident reports the trip time; an empty trip takes it all away.
TEST_F(MapPageTest, ATripsWholeRouteShowsInItsSpeedsColoursAndAClickReportsTheTripTime) {
    tiles.stop();  // the grid only
    open(tiles.tileUrl());
    ASSERT_TRUE(waitForPage());
    QSignalSpy clicked(map, &CMapViewDlg::tripClicked);
    // 20 km/h (green) for the first minute, then 100 km/h (deep orange); a hostile point left out.
    map->setTripRoute({{37.50, 127.00, 0, 20},
                       {37.50, 127.01, 60000, 20},
                       {std::nan(""), 127.0, 61000, 20},
                       {37.51, 127.02, 120000, 100}},
                      {{events::IncidentKind::Impact, 120000, 120000, 2, 3, 100, 90}});
    const auto points = [this] {
        return evaluate(QStringLiteral("tripPoints.length")).value_or(-1).toInt();
    };
    ASSERT_TRUE(waitFor([&] { return points() == 3; }, kPageWaitMs)) << points();
    EXPECT_TRUE(
        waitFor([&] { return pixelsLike(QColor(0x4c, 0xaf, 0x50), 12) > 30; }, kPageWaitMs));
    EXPECT_TRUE(
        waitFor([&] { return pixelsLike(QColor(0xff, 0x57, 0x22), 12) > 30; }, kPageWaitMs));
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.trip-legend').length")),
              QVariant(1));
    evaluate(
        QStringLiteral("tripLayer.getLayers().filter(function (l) { return l.getTooltip "
                       "&& l.getTooltip(); })[0].fire('click'); 1"));
    ASSERT_TRUE(waitFor([&] { return clicked.count() == 1; }, kPageWaitMs));
    EXPECT_EQ(clicked.takeFirst()[0].toLongLong(), 120000);
    map->setTripRoute({}, {});
    EXPECT_TRUE(waitFor([&] { return points() == 0; }, kPageWaitMs));
    EXPECT_EQ(evaluate(QStringLiteral("document.querySelectorAll('.trip-legend').length")),
              QVariant(0));
}

// Offline at start: one box, and the route on the grid, clear of the map's controls, with the
// scale bar; once the server is up (checked again every 30 s) tiles come, without another box.
TEST_F(MapPageTest, OfflineMapShowsTheRouteOnAGridAndTilesComeOnceTheServerIs) {
    tiles.stop();
    open(tiles.tileUrl());
    ASSERT_TRUE(waitFor([this] { return !boxes.boxes.empty(); }, kPageWaitMs));
    EXPECT_EQ(boxes.boxes.front().text, QStringLiteral("Please check your Internet connection."));
    ASSERT_TRUE(waitForPage()) << "the map page did not load offline";
    ASSERT_TRUE(showRoute(cornerRoute));
    EXPECT_TRUE(waitFor([this] { return routePixels() > 100; }, kPageWaitMs)) << routePixels();
    EXPECT_TRUE(waitFor([this] { return pixelsLike(kGridLineColour, 3) > 200; }, kPageWaitMs));
    EXPECT_EQ(tilePixels(), 0);
    // The grid's coordinates: the labels' blue-grey, not the controls' neutral greys.
    EXPECT_GT(pixelsLike(QColor(160, 168, 186), 8), 10) << "no coordinate on the grid";
    // 3 px around every route point (4 px wide) is clear of every control and inside the map.
    const QString covered = evaluate(QStringLiteral(R"((function () {
        var outer = map.getContainer().getBoundingClientRect(), size = map.getSize(), hits = [];
        route.getLatLngs().forEach(function (point, k) {
            var at = map.latLngToContainerPoint(point);
            if (at.x < 3 || at.y < 3 || at.x > size.x - 3 || at.y > size.y - 3) hits.push(k);
            document.querySelectorAll(".leaflet-control").forEach(function (control) {
                var box = control.getBoundingClientRect();
                if (at.x + 3 >= box.left - outer.left && at.x - 3 <= box.right - outer.left &&
                    at.y + 3 >= box.top - outer.top && at.y - 3 <= box.bottom - outer.top)
                    hits.push(k + " under " + control.className);
            });
        });
        return hits.join("; ");
    })())"))
                                .value_or(QStringLiteral("no answer"))
                                .toString();
    EXPECT_EQ(covered, QString());
    // The scale bar: a length in metres, its light text painted in its place.
    const QStringList scale =
        evaluate(
            QStringLiteral("(function () { var line = document.querySelector("
                           "'.leaflet-control-scale-line'), box = line.getBoundingClientRect();"
                           " return [line.textContent, box.left, box.top, box.width, "
                           "box.height].join('|'); })()"))
            .value_or(QString())
            .toString()
            .split(u'|');
    ASSERT_EQ(scale.size(), 5);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+ k?m$")).match(scale[0]).hasMatch());
    const QRect scaleBox =
        QRectF(scale[1].toDouble(), scale[2].toDouble(), scale[3].toDouble(), scale[4].toDouble())
            .toRect();
    EXPECT_GT(pixelsLike(QColor(230, 232, 238), 30, scaleBox), 10) << "no scale bar drawn";

    ASSERT_TRUE(tiles.restart());
    EXPECT_TRUE(waitFor([this] { return !tiles.paths.empty(); }, 35000)) << "no tile in 35 s";
    EXPECT_TRUE(waitFor([this] { return tilePixels() > 8000; }, kPageWaitMs)) << tilePixels();
    EXPECT_GT(routePixels(), 100);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

qint64 folderBytes(const QString& folder) {
    qint64 total = 0;
    for (QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories); files.hasNext();) {
        total += files.nextFileInfo().size();
    }
    return total;
}

// Tiles seen once show in a later pane with the server down, from a cache that keeps to its
// limit (less than the tiles visited) and keeps the tiles shown last.
TEST_F(MapPageTest, TilesSeenOnceShowOfflineFromACacheWithinItsLimit) {
    tileCacheBytes = 12 * tiles.pngSize();
    open(tiles.tileUrl());
    ASSERT_TRUE(waitForPage());
    for (const double latitude : {35.1, 33.4, 36.3, 37.5}) {
        const std::size_t before = tiles.paths.size();
        evaluate(QStringLiteral("map.setView([%1, 127], 16); 1").arg(latitude));
        ASSERT_TRUE(waitFor([&] { return tiles.paths.size() >= before + 4; }, kPageWaitMs));
        ASSERT_TRUE(waitFor([this] { return tilesSettled(); }, kPageWaitMs));
        EXPECT_LE(folderBytes(tileCache.path()), tileCacheBytes);
    }
    const int onlinePixels = tilePixels();
    delete map;
    tiles.stop();

    open(tiles.tileUrl());
    ASSERT_TRUE(waitForPage());
    evaluate(QStringLiteral("map.setView([37.5, 127], 16); 1"));  // the place shown last
    EXPECT_TRUE(waitFor([&] { return tilesSettled() && tilePixels() >= onlinePixels * 9 / 10; },
                        kPageWaitMs))
        << tilePixels() << " of " << onlinePixels;
}

}  // namespace
}  // namespace qelv::test

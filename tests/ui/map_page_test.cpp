// The real map page in the real browser (Qt WebEngine, offscreen): the tiles come from the
// address the viewer hands over, DrawCurrent places the marker, the route is drawn, and a
// click on it seeks playback.
#include <gtest/gtest.h>

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

class MapPageTest : public MapTestBase {
protected:
    void SetUp() override {
        MapTestBase::SetUp();
        map = new CMapViewDlg(main.get(), *context,
                              services(tiles.tileUrl(), ui::createWebMapSurface));
        map->show();
    }

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
    // The tiles came from the address the viewer handed over.
    ASSERT_TRUE(waitFor([this] { return !tiles.paths.empty(); }, kPageWaitMs));
    EXPECT_TRUE(tiles.paths.front().startsWith(QStringLiteral("/tiles/")))
        << tiles.paths.front().toStdString();
    EXPECT_TRUE(tiles.paths.front().endsWith(QStringLiteral(".png")));

    // The report's map picture holds the tiles the browser drew (the server's green).
    const auto greenPixels = [this] {
        const QImage image = map->mapImage();
        int n = 0;
        for (int y = 0; y < image.height(); y += 4) {
            for (int x = 0; x < image.width(); x += 4) {
                n += image.pixelColor(x, y) == QColor(90, 160, 90) ? 1 : 0;
            }
        }
        return n;
    };
    EXPECT_TRUE(waitFor([&] { return greenPixels() > 500; }, kPageWaitMs)) << greenPixels();

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

}  // namespace
}  // namespace qelv::test

// The map pane with a browser stand-in: the tile server check, the half-second position
// update, the route and its clicks, and the pane's geometry, buttons and layouts.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <memory>

#include "map_support.h"
#include "shell/viewer_context.h"
#include "shell/window_keys.h"
#include "skin/skin_bitmaps.h"
#include "telemetry/ui/map_script.h"
#include "telemetry/ui/map_view_dlg.h"
#include "telemetry/ui/tile_source.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CMapViewDlg;

constexpr int kWaitMs = 20000;
const QString kOffline = QStringLiteral("Please check your Internet connection.");

class MapViewTest : public MapTestBase {
protected:
    void SetUp() override {
        MapTestBase::SetUp();
        main->move(100, 50);
    }

    CMapViewDlg::Services services(const QString& tileUrl) {
        return MapTestBase::services(tileUrl, [](QWidget* parent, const QUrl&) {
            return std::make_unique<FakeMapSurface>(parent);
        });
    }

    // A map window owned by the main window.
    CMapViewDlg* makeMap(CMapViewDlg::Services withServices) {
        return new CMapViewDlg(main.get(), *context, std::move(withServices));
    }
    // A map whose page was loaded from the local tile server.
    CMapViewDlg* loadedMap() {
        CMapViewDlg* map = makeMap(services(tiles.tileUrl()));
        EXPECT_TRUE(waitFor([map] { return map->pageLoaded() != -1; }, kWaitMs));
        EXPECT_EQ(map->pageLoaded(), 1);
        return map;
    }
    FakeMapSurface* fake(CMapViewDlg* map) { return dynamic_cast<FakeMapSurface*>(map->surface()); }

    // A tile address on this machine where nothing listens.
    QString closedTileUrl() {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const quint16 port = closed.serverPort();
        closed.close();
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port);
    }

    // Fixes one second apart: (latitude, longitude) fields as the recorder writes them.
    void addFixes(const std::vector<std::pair<std::string, std::string>>& fixes) {
        std::uint32_t timeMs = 0;
        for (const auto& [latitude, longitude] : fixes) {
            ASSERT_EQ(context->telemetry().ParseTextRecord(gpsRecord(latitude, "N", longitude, "E"),
                                                           timeMs),
                      0);
            timeMs += 1000;
        }
    }
    std::int32_t currentFlag() { return context->telemetry().currentFix().second; }
};

TEST_F(MapViewTest, ReachableTileServerLoadsThePageBesideTheProgramAndStartsTheTimer) {
    CMapViewDlg* map = makeMap(services(tiles.tileUrl()));
    // The check answers later and the browser starts later, never inside the constructor.
    EXPECT_EQ(map->pageLoaded(), -1);
    EXPECT_EQ(map->online(), -1);
    EXPECT_EQ(map->surface(), nullptr);
    ASSERT_TRUE(waitFor([map] { return map->online() != -1; }, kWaitMs));
    EXPECT_EQ(map->pageLoaded(), 1);
    EXPECT_EQ(map->online(), 1);
    EXPECT_GE(tiles.connections, 1);
    EXPECT_TRUE(boxes.boxes.empty());
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(surface->loaded.size(), 1u);
    const QUrl page = surface->loaded.front();
    EXPECT_EQ(page.adjusted(QUrl::RemoveQuery),
              QUrl::fromLocalFile(QStringLiteral(QELV_BIN_DIR "/mapView.htm")));
    // The page asks the viewer for its tiles, which fetches or keeps them.
    EXPECT_EQ(QUrlQuery(page).queryItemValue(QStringLiteral("tiles"), QUrl::FullyDecoded),
              QStringLiteral("qelv-tile:{z}/{x}/{y}"));
    // The page covers the browser area.
    EXPECT_EQ(surface->widget()->parentWidget(), map->browserArea());
    EXPECT_EQ(surface->widget()->geometry(), QRect(0, 0, 299, 290));
    EXPECT_TRUE(map->positionTimerActive());

    // The timer alone draws the fix of a playing recording.
    addFixes({{"3730.5", "12700.0"}, {"3730.5", "12700.0"}});
    state = 0;
    ASSERT_TRUE(waitFor(
        [surface] {
            return !surface->scripts.empty() && surface->scripts.back().contains(u"DrawCurrent");
        },
        kWaitMs));
    EXPECT_EQ(map->lastCall(), QStringLiteral("javascript:DrawCurrent('127.000000', '37.508333')"));
}

TEST_F(MapViewTest, UnreachableTileServerSaysSoOnceAndTheMapComesBackWithANewRecording) {
    tiles.stop();
    CMapViewDlg* map = makeMap(services(tiles.tileUrl()));
    ASSERT_TRUE(waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs));
    EXPECT_EQ(boxes.boxes.front().text, kOffline);
    EXPECT_EQ(map->online(), 0);
    // The page is a file beside the program: it shows the route and the vehicle offline too.
    ASSERT_TRUE(waitFor([map] { return map->pageLoaded() == 1; }, kWaitMs));
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    addFixes({{"3730.5", "12700.0"}, {"3730.5", "12700.0"}});
    state = 0;
    map->updatePosition();
    EXPECT_EQ(map->lastCall(), QStringLiteral("javascript:DrawCurrent('127.000000', '37.508333')"));
    state = 2;

    // A new recording has the server checked again; still unreachable, nothing more is said.
    core::TelemetryState& telemetry = context->telemetry();
    telemetry.setRoute({{127.0, 37.5, 0}, {127.001, 37.5005, 1000}}, telemetry.epoch());
    map->updatePosition();
    ASSERT_TRUE(map->checking());
    ASSERT_TRUE(waitFor([map] { return !map->checking(); }, kWaitMs));
    EXPECT_EQ(map->online(), 0);
    EXPECT_EQ(boxes.boxes.size(), 1u);

    // The next recording finds the server up: the page asks again for its tiles, unasked.
    tiles.restart();
    telemetry.setRoute({{127.0, 37.5, 0}, {127.002, 37.501, 1000}}, telemetry.epoch());
    map->updatePosition();
    ASSERT_TRUE(waitFor([map] { return map->online() == 1; }, kWaitMs));
    surface->scripts.clear();
    map->updatePosition();
    ASSERT_EQ(surface->scripts.size(), 1u);
    EXPECT_TRUE(surface->scripts.front().contains(QStringLiteral("RetryTiles()")));
    map->updatePosition();
    EXPECT_EQ(surface->scripts.size(), 1u) << "asked again without a new failure";
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(MapViewTest, OfflineBoxLeavesTheOtherWindowsUsableAndComesOverThePane) {
    // The real box this time.
    const ui::MessageBoxHandler spy = ui::setMessageBoxHandler({});
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitFor(
        [&box] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<QMessageBox*>(window); found && found->isVisible()) {
                    box = found;
                }
            }
            return box != nullptr;
        },
        kWaitMs));
    ui::setMessageBoxHandler(spy);
    EXPECT_EQ(box->text(), kOffline);
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The pane shows after the answer (as at start, before the main window placed it).
    map->followMainWindow(main->pos());
    map->show();
    EXPECT_EQ(box->frameGeometry().center(), map->frameGeometry().center());
    QPointer<QMessageBox> closed(box);
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(waitFor([&closed] { return closed.isNull(); }, kWaitMs)) << "the box stayed";
}

TEST_F(MapViewTest, SilentTileServerIsGivenUpAfterTheTimeLimit) {
    // A listening socket whose one-place queue is full: the next connection attempt is never
    // answered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int k = 0; k < 3; ++k) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
    }
    waitFor([] { return false; }, 300);  // the fillers take the queue's places

    QElapsedTimer clock;
    clock.start();
    CMapViewDlg* map = makeMap(services(
        QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(ntohs(address.sin_port))));
    ASSERT_TRUE(waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs));
    const qint64 elapsedMs = clock.elapsed();
    ::close(listener);
    EXPECT_EQ(boxes.boxes.front().text, kOffline);
    EXPECT_EQ(map->online(), 0);
    // Given up by the time limit (a timer may fire a little early), not by an error.
    EXPECT_GE(elapsedMs, CMapViewDlg::kProbeTimeoutMs * 9 / 10);
}

TEST_F(MapViewTest, MissingPageIsToldAndNothingIsLoaded) {
    QTemporaryDir empty;
    CMapViewDlg::Services withoutPage = services(tiles.tileUrl());
    withoutPage.pageFolder = empty.path();
    CMapViewDlg* map = makeMap(std::move(withoutPage));
    ASSERT_TRUE(waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs));
    EXPECT_EQ(boxes.boxes.front().text,
              QStringLiteral("The map page %1/mapView.htm is missing.").arg(empty.path()));
    EXPECT_EQ(map->pageLoaded(), 0);
    EXPECT_EQ(map->surface(), nullptr);
    EXPECT_TRUE(map->positionTimerActive());  // the panel's position values still follow
}

TEST_F(MapViewTest, TileAddressThatIsNoWebAddressIsTold) {
    CMapViewDlg* map = makeMap(services(QStringLiteral("ftp://tiles.example.com/{z}/{x}/{y}.png")));
    ASSERT_TRUE(waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs));
    EXPECT_EQ(boxes.boxes.front().text,
              QStringLiteral("The map's tile address \"ftp://tiles.example.com/{z}/{x}/{y}.png\" "
                             "is not a usable tile address."));
    EXPECT_EQ(map->online(), 0);
    // The route still shows, on the page's grid.
    ASSERT_TRUE(waitFor([map] { return map->pageLoaded() != -1; }, kWaitMs));
    EXPECT_EQ(map->pageLoaded(), 1);
}

TEST_F(MapViewTest, PositionUpdateDrawsTheFixAfterThePlaybackPosition) {
    CMapViewDlg* map = loadedMap();
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    // 37 + 30.5/60, 127 + 0/60; 37 + 33.1/60, 126 + 58.6/60; 37 + 36/60, 127 + 1.5/60.
    addFixes({{"3730.5", "12700.0"}, {"3733.1", "12658.6"}, {"3736.0", "12701.5"}});
    struct Case {
        int state;
        std::uint64_t positionMs;
        const char* script;  // nothing drawn when empty
    };
    const Case cases[] = {
        {0, 0, "DrawCurrent(\"126.976667\",\"37.551667\")"},
        {1, 1500, "DrawCurrent(\"127.025000\",\"37.600000\")"},
        {0, 999, "DrawCurrent(\"126.976667\",\"37.551667\")"},
        // At or past the last fix nothing changes; a position beyond 32 bits is the largest.
        {0, 2000, ""},
        {0, 1ULL << 40, ""},
        {3, 0, ""},
        {-1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.state) + " at " + std::to_string(c.positionMs));
        state = c.state;
        positionMs = c.positionMs;
        surface->scripts.clear();
        map->updatePosition();
        std::vector<QString> draws;
        for (const QString& script : surface->scripts) {
            if (script.contains(u"DrawCurrent")) {
                draws.push_back(script);
            }
        }
        if (*c.script == '\0') {
            EXPECT_TRUE(draws.empty());
        } else {
            ASSERT_EQ(draws.size(), 1u);
            EXPECT_TRUE(draws.front().contains(QString::fromLatin1(c.script)))
                << draws.front().toStdString();
        }
    }
}

TEST_F(MapViewTest, CollapsedBrowserClearsTheCurrentFix) {
    CMapViewDlg* map = loadedMap();
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    addFixes({{"3730.5", "12700.0"}, {"3733.1", "12658.6"}});
    state = 0;
    map->updatePosition();
    ASSERT_EQ(currentFlag(), 1);
    map->browserArea()->resize(0, 290);
    surface->scripts.clear();
    map->updatePosition();
    EXPECT_EQ(currentFlag(), 0);
    EXPECT_EQ(context->telemetry().currentFix().first.latitude, 0.0);
    EXPECT_TRUE(surface->scripts.empty());
    // Opened again, the next tick publishes and draws again.
    map->browserArea()->resize(299, 290);
    map->updatePosition();
    EXPECT_EQ(currentFlag(), 1);
    ASSERT_EQ(surface->scripts.size(), 1u);
}

TEST_F(MapViewTest, StoppedPlaybackLeavesTheLastMarkerOnTheMap) {
    CMapViewDlg* map = loadedMap();
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    addFixes({{"3730.5", "12700.0"}, {"3733.1", "12658.6"}});
    state = 0;
    map->updatePosition();
    const QString drawn = map->lastCall();
    ASSERT_FALSE(drawn.isEmpty());
    surface->scripts.clear();
    state = 2;
    map->updatePosition();
    map->updatePosition();
    // The page is not asked to move or remove the marker; only the published fix goes.
    EXPECT_TRUE(surface->scripts.empty());
    EXPECT_EQ(map->lastCall(), drawn);
    EXPECT_EQ(currentFlag(), 0);
}

// The [[lat, lon, timeMs], ...] handed to SetRoute in `script`.
QJsonArray routeOf(const QString& script) {
    const qsizetype open = script.indexOf(QStringLiteral("SetRoute(["));
    const qsizetype close = script.lastIndexOf(QStringLiteral("]) : 0"));
    if (open < 0 || close < 0) {
        return {};
    }
    const QString json = script.mid(open + 9, close + 1 - (open + 9));
    return QJsonDocument::fromJson(json.toUtf8()).array();
}

TEST_F(MapViewTest, RouteGoesToThePageWhenItChanges) {
    CMapViewDlg* map = loadedMap();
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    surface->pageReady = false;
    surface->scripts.clear();
    core::TelemetryState& telemetry = context->telemetry();
    telemetry.setRoute({{127.0, 37.5, 0}, {127.001, 37.5005, 1000}, {127.002, 37.501, 2000}},
                       telemetry.epoch());
    map->updatePosition();
    EXPECT_TRUE(surface->scripts.empty()) << "sent before the page had loaded";
    surface->pageReady = true;
    map->updatePosition();
    ASSERT_EQ(surface->scripts.size(), 1u);
    const QJsonArray route = routeOf(surface->scripts.front());
    ASSERT_EQ(route.size(), 3);
    EXPECT_EQ(route[1].toArray(), (QJsonArray{37.5005, 127.001, 1000}));
    map->updatePosition();
    EXPECT_EQ(surface->scripts.size(), 1u) << "sent again without a change";

    telemetry.clear();
    map->updatePosition();
    ASSERT_EQ(surface->scripts.size(), 2u);
    EXPECT_TRUE(surface->scripts.back().contains(QStringLiteral("SetRoute([])")));
}

TEST_F(MapViewTest, ClickOnTheRouteSeeksToTheNearestFix) {
    RecordingWindow bar(ui::kKeyControlBar);
    CMapViewDlg* map = loadedMap();
    FakeMapSurface* surface = fake(map);
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(surface->onRouteClick);
    core::TelemetryState& telemetry = context->telemetry();
    telemetry.setRoute(
        {{127.0, 37.5, 0}, {127.001, 37.5, 1000}, {127.002, 37.5, 2000}, {127.003, 37.5, 3000}},
        telemetry.epoch());
    struct Case {
        int state;
        QString report;
        qintptr seekMs;  // no seek when -1
    };
    const Case cases[] = {
        // A second before the fix: the map shows that fix from there on.
        {0, QStringLiteral("[37.5001, 127.0021]"), 1000},
        {1, QStringLiteral("[37.4999,127.0028]"), 2000},
        // The first fix is the recording's start.
        {0, QStringLiteral("[37.5, 126.9]"), 0},
        {2, QStringLiteral("[37.5001, 127.0021]"), -1},
        {0, QStringLiteral("[37.5001]"), -1},
        {0, QStringLiteral("alert(1)"), -1},
        {0, QStringLiteral("[1e400, 127.0]"), -1},
        {0, QStringLiteral("[37.5, 1e308]"), -1},
        {0, QStringLiteral("[\"37.5\", \"127\"]"), -1},
        {0, QStringLiteral("[") + QString(10000, u'9') + u']', -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report.left(40).toStdString());
        state = c.state;
        bar.received.clear();
        surface->onRouteClick(c.report);
        processPosted();
        if (c.seekMs < 0) {
            EXPECT_TRUE(bar.received.empty());
        } else {
            EXPECT_EQ(bar.received,
                      (std::vector<Received>{{ui::kMsgSeek, c.seekMs, ui::kSeekToTarget}}));
        }
    }
    // Without a route there is nothing to seek to.
    telemetry.clear();
    state = 0;
    bar.received.clear();
    surface->onRouteClick(QStringLiteral("[37.5, 127.0]"));
    processPosted();
    EXPECT_TRUE(bar.received.empty());
}

// The accident report prints the browser area as it is drawn: the area's ground before the
// page, the page once it shows.
TEST_F(MapViewTest, MapImageIsTheBrowserAreaAsDrawn) {
    CMapViewDlg* closed = makeMap(services(closedTileUrl()));
    const QImage ground = closed->mapImage();
    EXPECT_EQ(ground.size(), QSize(299, 290));
    EXPECT_EQ(ground.pixelColor(20, 200), QColor(28, 31, 40));

    CMapViewDlg* map = loadedMap();
    ASSERT_NE(fake(map), nullptr);
    QWidget* page = fake(map)->widget();
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, QColor(90, 160, 90));
    page->setPalette(palette);
    const QImage image = map->mapImage();
    EXPECT_EQ(image.size(), QSize(299, 290));
    EXPECT_EQ(meanColour(image, image.rect()), QColor(90, 160, 90));
}

TEST_F(MapViewTest, PaneHasItsSizeButtonsAndFrame) {
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    EXPECT_EQ(map->size(), QSize(315, 320));
    EXPECT_EQ(map->windowTitle(), QStringLiteral("Map Viewer"));
    EXPECT_EQ(map->browserArea()->geometry(), QRect(8, 24, 299, 290));
    EXPECT_EQ(map->button(CMapViewDlg::kCmdClose)->geometry(), QRect(285, 2, 20, 20));
    EXPECT_EQ(map->button(CMapViewDlg::kCmdFixed)->geometry(), QRect(265, 3, 20, 20));
    EXPECT_EQ(map->button(CMapViewDlg::kCmdClose)->toolTip(), QStringLiteral("Close"));
    EXPECT_EQ(map->button(CMapViewDlg::kCmdFixed)->toolTip(), QStringLiteral("Fixed window"));
    const QImage image = map->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 160), QColor(32, 33, 38));
    EXPECT_EQ(image.pixelColor(4, 160), QColor(16, 16, 16));
    EXPECT_EQ(image.pixelColor(20, 200), QColor(28, 31, 40));
    // The map corner sits in the browser area's top-right corner.
    const QImage corner = ui::skinBitmap(261).toImage();
    ASSERT_FALSE(corner.isNull());
    const QPoint cornerOrigin(8 + 299 - corner.width(), 24);
    EXPECT_EQ(image.pixelColor(cornerOrigin + QPoint(corner.width() / 2, corner.height() / 2)),
              corner.pixelColor(corner.width() / 2, corner.height() / 2));
    // The white caption lies in its rectangle.
    int white = 0;
    for (int y = 5; y <= 20; ++y) {
        for (int x = 10; x <= 100; ++x) {
            white += image.pixelColor(x, y).lightness() > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20);
    waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs);
}

TEST_F(MapViewTest, ToggleShowsAndHidesAndCloseHides) {
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    EXPECT_TRUE(map->shownByDefault());
    ui::postMessage(map, ui::kMsgPaneCommand, ui::kToggleMap);
    processPosted();
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(map->paneVisible());
    ui::postMessage(map, ui::kMsgPaneCommand, ui::kToggleMap);
    processPosted();
    EXPECT_FALSE(map->isVisible());
    EXPECT_FALSE(map->shownByDefault());
    ui::postMessage(map, ui::kMsgPaneCommand, ui::kToggleMap);
    processPosted();
    ASSERT_TRUE(map->isVisible());
    map->button(CMapViewDlg::kCmdClose)->click();
    EXPECT_FALSE(map->isVisible());
    EXPECT_FALSE(map->paneVisible());
    // Other pane commands are not the map's.
    EXPECT_EQ(ui::sendMessage(map, ui::kMsgPaneCommand, ui::kToggleFileList), -1);
    EXPECT_FALSE(map->isVisible());
    waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs);
}

TEST_F(MapViewTest, FixedWindowFollowsAFloatingOneIsDraggedAndSnapsBack) {
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    map->show();
    map->followMainWindow(main->pos());
    EXPECT_EQ(map->pos(), QPoint(910, 50));
    ui::CSkinButton* fixedButton = map->button(CMapViewDlg::kCmdFixed);
    const auto face = [fixedButton] { return fixedButton->grab().toImage(); };
    const QImage dockedFace = face();
    EXPECT_EQ(
        dockedFace,
        ui::skinBitmap(243).copy(0, 0, 20, 20).toImage().convertToFormat(dockedFace.format()));

    fixedButton->click();
    EXPECT_FALSE(map->fixed());
    const QImage floatingFace = face();
    EXPECT_EQ(
        floatingFace,
        ui::skinBitmap(244).copy(0, 0, 20, 20).toImage().convertToFormat(floatingFace.format()));
    map->followMainWindow(QPoint(0, 0));
    EXPECT_EQ(map->pos(), QPoint(910, 50));
    // Dragged by a point of its body.
    const QPoint from = map->mapToGlobal(QPoint(150, 10));
    const QPoint by(-40, 25);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(150, 10), QPointF(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(map, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(QPoint(150, 10) + by), QPointF(from + by),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(map, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(QPoint(150, 10) + by),
                        QPointF(from + by), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(map, &release);
    EXPECT_EQ(map->pos(), QPoint(910, 50) + by);

    main->move(200, 100);
    fixedButton->click();  // fixed again: it snaps back beside the main window
    EXPECT_TRUE(map->fixed());
    EXPECT_EQ(map->pos(), QPoint(1010, 100));
    EXPECT_EQ(face(), dockedFace);
    waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs);
}

// The tile server gets the address exactly as set: a "+" or "%20" in it is not decoded on the
// way; sub-domains are spread over the tiles, a retina mark is dropped.
TEST_F(MapViewTest, TilesAreAskedAtTheTileAddressExactlyAsSet) {
    for (const QString& query : {QStringLiteral("?key=a+b&c=1"), QStringLiteral("?path=t%20x")}) {
        EXPECT_EQ(ui::tileAddress(QStringLiteral("http://h:8080/t/{z}/{x}/{y}.png") + query,
                                  {12, 3493, 1583}),
                  QStringLiteral("http://h:8080/t/12/3493/1583.png") + query);
    }
    EXPECT_EQ(
        ui::tileAddress(QStringLiteral("https://{s}.t.example/{z}/{x}/{y}{r}.png"), {2, 3, 2}),
        QStringLiteral("https://c.t.example/2/3/2.png"));
}

TEST_F(MapViewTest, AFloatingMapKeepsItsPlaceThroughFullScreen) {
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    map->show();
    QTest::mouseClick(map->button(CMapViewDlg::kCmdFixed), Qt::LeftButton);
    ASSERT_FALSE(map->fixed());
    map->move(150, 95);
    context->setLayoutMode(ui::kLayoutFullScreen);
    map->takeLayoutMode(ui::kLayoutFullScreen, QSize(1600, 900));
    context->setLayoutMode(ui::kLayoutDefault);
    map->takeLayoutMode(ui::kLayoutDefault, QSize(1600, 900));
    EXPECT_TRUE(map->isVisible());
    EXPECT_EQ(map->pos(), QPoint(150, 95));
    waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs);
}

TEST_F(MapViewTest, FullScreenHidesTheMapOnTopAndTheDefaultLayoutDocksIt) {
    CMapViewDlg* map = makeMap(services(closedTileUrl()));
    map->show();
    context->setLayoutMode(ui::kLayoutFullScreen);
    map->takeLayoutMode(ui::kLayoutFullScreen, QSize(1600, 900));
    EXPECT_FALSE(map->isVisible());
    EXPECT_FALSE(map->paneVisible());
    EXPECT_TRUE(map->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(map->size(), QSize(315, 320));
    // In an enlarged layout it does not follow the main window.
    const QPoint where = map->pos();
    map->followMainWindow(QPoint(300, 300));
    EXPECT_EQ(map->pos(), where);

    context->setLayoutMode(ui::kLayoutDefault);
    map->takeLayoutMode(ui::kLayoutDefault, QSize(1600, 900));
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(map->paneVisible());
    EXPECT_FALSE(map->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(map->pos(), main->pos() + QPoint(810, 0));
    waitFor([this] { return !boxes.boxes.empty(); }, kWaitMs);
}

}  // namespace
}  // namespace qelv::test

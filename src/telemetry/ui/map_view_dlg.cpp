#include "telemetry/ui/map_view_dlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPainter>
#include <QTimerEvent>
#include <QUrlQuery>
#include <QWindow>
#include <algorithm>
#include <iostream>
#include <limits>

#include "common/data_files.h"
#include "events/ui/incident_settings.h"
#include "shell/window_keys.h"
#include "shell/window_registry.h"
#include "skin/message_box.h"
#include "skin/pane_frame.h"
#include "skin/skin_bitmaps.h"
#include "telemetry/ui/map_script.h"

namespace qelv::ui {

namespace {
constexpr QPoint kOffset{810, 0};
constexpr QSize kSize{315, 320};
constexpr QRect kBrowserRect{8, 24, 299, 290};
constexpr QColor kBrowserGround{28, 31, 40};

// What shows where the page is not (yet): the browser's own ground with the map corner.
class MapBrowserArea : public QWidget {
public:
    explicit MapBrowserArea(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("mapBrowser"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), kBrowserGround);
        const QPixmap corner = skinBitmap(261);
        if (!corner.isNull()) {
            painter.drawPixmap(width() - corner.width(), 0, corner);
        }
    }

    void resizeEvent(QResizeEvent*) override {
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            child->setGeometry(rect());
        }
    }
};
}  // namespace

CMapViewDlg::Services CMapViewDlg::defaultServices(ViewerContext& context) {
    Services services;
    media::PlaybackEngine* engine = &context.engine();
    services.playbackState = [engine] { return static_cast<int>(engine->state()); };
    services.positionMs = [engine] { return engine->positionMs(); };
    services.pageFolder =
        QString::fromStdString(core::dataFile("mapView.htm").parent_path().string());
    services.tileUrl = configuredTileUrl(QSettings());
    services.tileCacheFolder = defaultTileCacheFolder();
    services.tileCacheBytes = configuredTileCacheBytes(QSettings());
    services.makeSurface = createWebMapSurface;
    return services;
}

CMapViewDlg::CMapViewDlg(QWidget* mainWindow, ViewerContext& context, Services services)
    : DockedPane(mainWindow, kKeyMap, kOffset, kSize, kToggleMap, context),
      m_context(context),
      m_services(std::move(services)),
      m_browser(new MapBrowserArea(this)),
      m_close(CSkinButton::createImageButton(20, 2, this, QStringLiteral("Close"), kCmdClose, 285,
                                             20, 219, 219, 218)),
      m_fixedButton(CSkinButton::createImageButton(20, 3, this, QStringLiteral("Fixed window"),
                                                   kCmdFixed, 265, 20, 243, 243, 244)),
      m_probe(this),
      m_tiles(m_services.tileUrl, TileCache(m_services.tileCacheFolder, m_services.tileUrl,
                                            m_services.tileCacheBytes)) {
    setWindowTitle(QStringLiteral("Map Viewer"));
    setFixedButton(m_fixedButton);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_browser->setGeometry(kBrowserRect);

    // A tile that cannot be fetched has the server checked (the network may have gone).
    m_tiles.onUnreachable = [this] {
        if (m_online != 0) {
            probe();
        }
    };
    // The browser starts once the viewer's windows are up.
    QMetaObject::invokeMethod(
        this, [this] { loadPage(); }, Qt::QueuedConnection);
    if (!tileServerOf(m_services.tileUrl)) {
        m_online = 0;
        m_tiles.setOffline(true);
        // Told from the event loop, as a probe's answer would be.
        QMetaObject::invokeMethod(
            this,
            [this] {
                tell(QStringLiteral("The map's tile address \"%1\" is not a usable tile address.")
                         .arg(m_services.tileUrl));
            },
            Qt::QueuedConnection);
        return;
    }
    probe();
}

CMapViewDlg::~CMapViewDlg() {
    m_positionTimer.stop();
}

QImage CMapViewDlg::mapImage() const {
    // Rendered, not read from the screen: whatever lies over the pane is not in it.
    return m_browser->grab().toImage();
}

CSkinButton* CMapViewDlg::button(int command) const {
    return command == kCmdClose ? m_close : command == kCmdFixed ? m_fixedButton : nullptr;
}

void CMapViewDlg::probe() {
    const std::optional<TileServer> server = tileServerOf(m_services.tileUrl);
    if (server && !m_probe.running()) {
        m_probe.start(*server, kProbeTimeoutMs,
                      [this](bool reachable) { probeAnswered(reachable); });
    }
}

void CMapViewDlg::probeAnswered(bool reachable) {
    const bool wasOffline = m_online == 0;
    m_online = reachable ? 1 : 0;
    m_tiles.setOffline(!reachable);
    if (reachable) {
        m_retryTimer.stop();
        m_retryTiles = m_retryTiles || wasOffline;
        return;
    }
    m_retryTimer.start(kRetryPeriodMs, this);
    if (!m_toldOffline) {
        m_toldOffline = true;
        tell(QStringLiteral("Please check your Internet connection."));
    }
}

void CMapViewDlg::loadPage() {
    const QString path = m_services.pageFolder + QStringLiteral("/mapView.htm");
    if (!QFileInfo(path).isFile()) {
        notLoaded(QStringLiteral("The map page %1 is missing.").arg(path));
        return;
    }
    QUrl page = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    QUrlQuery query;
    // The page asks the tile source, which keeps what it fetched and fills in the address.
    query.addQueryItem(
        QStringLiteral("tiles"),
        QString::fromLatin1(QUrl::toPercentEncoding(QLatin1StringView(kPageTileTemplate))));
    page.setQuery(query);
    if (m_services.makeSurface) {
        m_surface = m_services.makeSurface(m_browser, page);
    }
    if (!m_surface) {
        notLoaded(QStringLiteral("The map cannot be shown."));
        return;
    }
    m_surface->onRouteClick = [this](const QString& report) { routeClicked(report); };
    m_surface->onIncidentClick = [this](const QString& report) { incidentClicked(report); };
    m_surface->onTripClick = [this](const QString& report) {
        // Untrusted: a time within the trip shown, or nothing.
        const std::optional<std::uint32_t> tripMs = parseIncidentClick(report);
        if (tripMs && static_cast<std::int64_t>(*tripMs) <= m_tripEndMs) {
            emit tripClicked(static_cast<qint64>(*tripMs));
        }
    };
    // The pane's own menu instead of the browser's.
    m_surface->widget()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_surface->widget(), &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, m_surface->widget()->mapToGlobal(at));
        contextMenuEvent(&event);
    });
    m_surface->serveTiles(&m_tiles);
    m_surface->widget()->setGeometry(m_browser->rect());
    m_surface->widget()->show();
    m_surface->load(page);
    m_pageLoaded = 1;
    m_positionTimer.start(kPositionPeriodMs, this);
}

void CMapViewDlg::notLoaded(const QString& text) {
    m_pageLoaded = 0;
    m_positionTimer.start(kPositionPeriodMs, this);
    tell(text);
}

void CMapViewDlg::tell(const QString& text) {
    std::cerr << "map: " << text.toStdString() << '\n';
    // The check answers while the user may already be working in the viewer: the box must not
    // hold up the other windows.
    m_box = showMessageBoxWithoutWaiting(this, text, MessageIcon::Information);
    if (m_box && isVisible()) {
        m_box->move(frameGeometry().center() - (m_box->frameGeometry().center() - m_box->pos()));
    }
}

void CMapViewDlg::raiseBox() {
    if (m_box && m_box->isVisible()) {
        m_box->raise();
    }
}

void CMapViewDlg::showEvent(QShowEvent* event) {
    DockedPane::showEvent(event);
    // The check may answer before the main window has placed and shown its panes.
    if (m_box) {
        m_box->move(frameGeometry().center() - (m_box->frameGeometry().center() - m_box->pos()));
        raiseBox();
    }
    // The window system maps the pane only after this event, which puts the pane over the box
    // again where no window manager keeps a dialog over its parent: the box is raised once
    // more when the pane's window is exposed.
    if (QWindow* window = windowHandle()) {
        window->removeEventFilter(this);
        window->installEventFilter(this);
    }
}

bool CMapViewDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && m_box &&
        windowHandle()->isExposed()) {
        raiseBox();
    }
    return DockedPane::eventFilter(watched, event);
}

qintptr CMapViewDlg::onMessage(unsigned message, qintptr wParam, qintptr lParam) {
    const qintptr result = DockedPane::onMessage(message, wParam, lParam);
    // The toggle raises the pane: the box stays over it.
    if (message == kMsgPaneCommand && wParam == kToggleMap) {
        raiseBox();
    }
    return result;
}

bool CMapViewDlg::playing() const {
    const int state = m_services.playbackState ? m_services.playbackState() : -1;
    return state == 0 || state == 1;
}

void CMapViewDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_retryTimer.timerId()) {
        probe();
        return;
    }
    if (event->timerId() != m_positionTimer.timerId()) {
        DockedPane::timerEvent(event);
        return;
    }
    updatePosition();
}

void CMapViewDlg::updatePosition() {
    core::TelemetryState& telemetry = m_context.telemetry();
    // Without its page (no connection to the tile server, no page file) the pane still picks
    // the fix of the position: the sensor panel shows that fix's position and speed, which a
    // driver needs offline too.
    if (m_browser->width() > 0 && m_pageLoaded != -1 && playing()) {
        const std::uint64_t position = m_services.positionMs ? m_services.positionMs() : 0;
        const auto positionMs = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(position, std::numeric_limits<std::uint32_t>::max()));
        const std::optional<core::MapPosition> at = telemetry.SelectCurrentFix(positionMs);
        if (at && m_pageLoaded == 1) {
            drawCurrent(at->longitude, at->latitude);
        }
    } else if (telemetry.currentFix().second != 0) {
        // The map cannot show a position now; the marker on the page stays where it was.
        telemetry.clearCurrentFix();
    }
    if (m_surface && m_surface->ready() &&
        (!m_routeShown || m_shownRoute != telemetry.routeRevision())) {
        sendRoute();
        // A new recording: is the tile server there (again, or still)?
        if (!telemetry.route().empty()) {
            probe();
        }
    }
    if (m_surface && m_surface->ready()) {
        sendIncidents();
        if (m_trip != m_shownTrip) {
            m_shownTrip = m_trip;
            m_surface->runScript(
                QStringLiteral("(typeof SetTripRoute === 'function') ? SetTripRoute(%1) : 0")
                    .arg(m_trip.isEmpty() ? QStringLiteral("[], []") : m_trip));
        }
    }
    if (m_surface && m_surface->ready() && m_retryTiles) {
        m_retryTiles = false;
        m_surface->runScript(
            QStringLiteral("(typeof RetryTiles === 'function') ? RetryTiles() : 0"));
    }
}

void CMapViewDlg::drawCurrent(double longitude, double latitude) {
    m_lastCall = drawCurrentText(longitude, latitude);
    const std::optional<ScriptCall> call = takeApartScriptCall(m_lastCall);
    if (call && m_surface) {
        m_surface->runScript(scriptOf(*call));
    }
}

void CMapViewDlg::sendRoute() {
    const core::TelemetryState& telemetry = m_context.telemetry();
    // The revision first: a route set meanwhile is sent on the next tick.
    m_shownRoute = telemetry.routeRevision();
    m_routeShown = true;
    m_surface->runScript(QStringLiteral("(typeof SetRoute === 'function') ? SetRoute(%1) : 0")
                             .arg(routeJson(telemetry.route())));
    // The page drops the last route's marks with it.
    m_shownIncidents = QStringLiteral("[]");
    m_placeIncidents = true;
}

void CMapViewDlg::sendIncidents() {
    const core::TelemetryState& telemetry = m_context.telemetry();
    const StoreVersion version = storeVersion(telemetry);
    if (version != m_incidentsStore) {
        m_incidents = storeIncidents(telemetry, incidentThresholds(QSettings()));
        m_incidentsStore = version;
        m_placeIncidents = true;
    }
    if (!m_placeIncidents && m_incidentsRoute == telemetry.routeRevision()) {
        return;
    }
    m_placeIncidents = false;
    m_incidentsRoute = telemetry.routeRevision();
    const QString json = incidentsJson(telemetry.route(), m_incidents);
    if (json == m_shownIncidents) {
        return;
    }
    m_shownIncidents = json;
    m_surface->runScript(
        QStringLiteral("(typeof SetIncidents === 'function') ? SetIncidents(%1) : 0").arg(json));
}

void CMapViewDlg::setTripRoute(const std::vector<TripRoutePoint>& route,
                               const std::vector<events::Incident>& incidents) {
    if (route.empty()) {
        m_trip.clear();
        m_tripEndMs = -1;
        return;
    }
    // The incidents are placed on the route as a recording's are, on the trip's clock.
    std::vector<core::RoutePoint> placed;
    placed.reserve(route.size());
    m_tripEndMs = 0;
    for (const TripRoutePoint& p : route) {
        placed.push_back(
            {p.longitude, p.latitude,
             static_cast<std::uint32_t>(std::clamp<std::int64_t>(p.tripMs, 0, UINT32_MAX))});
        m_tripEndMs = std::max(m_tripEndMs, p.tripMs);
    }
    m_trip = tripRouteJson(route) + QStringLiteral(", ") + incidentsJson(placed, incidents);
}

void CMapViewDlg::routeClicked(const QString& report) {
    const std::optional<ClickedPoint> click = parseRouteClick(report);
    if (!click || !playing()) {
        return;
    }
    const std::optional<std::uint32_t> timeMs =
        nearestRouteTime(m_context.telemetry().route(), *click);
    if (!timeMs) {
        return;
    }
    seekToFix(*timeMs);
}

void CMapViewDlg::incidentClicked(const QString& report) {
    const std::optional<std::uint32_t> timeMs = parseIncidentClick(report);
    if (!timeMs || !playing() ||
        std::none_of(m_incidents.begin(), m_incidents.end(), [&](const events::Incident& incident) {
            return incident.startMs == *timeMs;
        })) {
        return;
    }
    seekToFix(*timeMs);
}

void CMapViewDlg::seekToFix(std::uint32_t timeMs) {
    // The map shows the fix stamped T for the positions from T - 1 s up to T: seeking there
    // puts the marker on the point that was clicked.
    const std::uint32_t target = timeMs >= 1000 ? timeMs - 1000 : 0;
    WindowRegistry::instance().post(kKeyControlBar, kMsgSeek, static_cast<qintptr>(target),
                                    kSeekToTarget);
}

QMenu* CMapViewDlg::makeMenu() {
    auto* menu = new QMenu(this);
    m_routeSaving.addEntries(*menu, this);
    return menu;
}

void CMapViewDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CMapViewDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPaneFrame(painter, rect(), QColor(16, 16, 16), QStringLiteral("Map Viewer"),
                   QRect(QPoint(10, 5), QPoint(100, 20)), 8);
}

}  // namespace qelv::ui

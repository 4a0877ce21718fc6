#include "telemetry/ui/map_surface.h"

#include <QColor>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "telemetry/ui/map_script.h"
#include "telemetry/ui/tile_source.h"

namespace qelv::ui {

namespace {
class WebMapSurface : public MapSurface {
public:
    WebMapSurface(QWidget* parent, const QUrl& page)
        : m_profile(std::make_unique<QWebEngineProfile>()),
          m_view(new QWebEngineView(parent)),
          m_page(new MapPage(page, m_profile.get(), m_view)) {
        m_page->setBackgroundColor(QColor(28, 31, 40));
        // The page and Leaflet lie in the program's folder and the tiles come through the
        // tile scheme: the page itself reaches nothing on the network.
        m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls,
                                         false);
        m_page->onRouteClick = [this](const QString& report) {
            if (onRouteClick) {
                onRouteClick(report);
            }
        };
        m_page->onIncidentClick = [this](const QString& report) {
            if (onIncidentClick) {
                onIncidentClick(report);
            }
        };
        m_page->onTripClick = [this](const QString& report) {
            if (onTripClick) {
                onTripClick(report);
            }
        };
        m_view->setPage(m_page);
        // The browser's own menu (reload, back, save page) has nothing to offer here, and a
        // reload would drop the route the viewer sent.
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(m_page, &QWebEnginePage::loadFinished, m_view,
                         [this](bool ok) { m_ready = ok; });
    }
    // The page goes before its profile.
    ~WebMapSurface() override { delete m_view.data(); }

    QWidget* widget() override { return m_view; }
    void load(const QUrl& page) override {
        m_ready = false;
        m_page->load(page);
    }
    void serveTiles(QWebEngineUrlSchemeHandler* tiles) override {
        m_profile->removeUrlScheme(kTileScheme);
        if (tiles != nullptr) {
            m_profile->installUrlSchemeHandler(kTileScheme, tiles);
        }
    }
    bool ready() const override { return m_ready; }
    void runScript(const QString& script) override {
        if (m_ready && !script.isEmpty()) {
            m_page->runJavaScript(script);
        }
    }

private:
    // A profile of the map's own, kept in memory: the tile scheme is answered here only.
    std::unique_ptr<QWebEngineProfile> m_profile;
    // The map window may go first and take its children with it.
    QPointer<QWebEngineView> m_view;
    MapPage* m_page;
    bool m_ready = false;
};
}  // namespace

MapPage::MapPage(const QUrl& page, QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_page(page) {}

void MapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                       const QString&) {
    const QLatin1StringView route(kRouteClickPrefix);
    const QLatin1StringView incident(kIncidentClickPrefix);
    if (onRouteClick && message.startsWith(route)) {
        onRouteClick(message.mid(route.size()));
    } else if (onIncidentClick && message.startsWith(incident)) {
        onIncidentClick(message.mid(incident.size()));
    } else if (const QLatin1StringView trip(kTripClickPrefix);
               onTripClick && message.startsWith(trip)) {
        onTripClick(message.mid(trip.size()));
    }
}

bool MapPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    // Only the map page itself (any query) shows in the main frame.
    return !isMainFrame || url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment) ==
                               m_page.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
}

std::unique_ptr<MapSurface> createWebMapSurface(QWidget* parent, const QUrl& page) {
    return std::make_unique<WebMapSurface>(parent, page);
}

}  // namespace qelv::ui

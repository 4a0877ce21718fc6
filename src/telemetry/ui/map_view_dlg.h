// The "Map Viewer" pane beside the main window: the map page with the vehicle's position at
// the playback position and the recording's route. Every half second while a recording plays
// or is paused it picks the current fix for the playback position and has the page draw it; a
// click on the route seeks playback to the nearest fix. The recording's incidents are marked on
// the route; a click on a mark seeks to the incident.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "events/ui/store_incidents.h"
#include "shell/docked_pane.h"
#include "shell/viewer_context.h"
#include "skin/skin_button.h"
#include "telemetry/ui/map_script.h"
#include "telemetry/ui/map_surface.h"
#include "telemetry/ui/route_saving.h"
#include "telemetry/ui/tile_server_probe.h"
#include "telemetry/ui/tile_source.h"

namespace qelv::ui {

class CMapViewDlg : public DockedPane {
    Q_OBJECT
public:
    static constexpr int kPositionPeriodMs = 500;
    static constexpr int kProbeTimeoutMs = 3000;
    // While the tile server cannot be reached it is tried again this often.
    static constexpr int kRetryPeriodMs = 30000;

    // How the pane reaches playback, the page and the browser; the defaults are the engine,
    // the folder of the program, the user's tile setting and Qt WebEngine.
    struct Services {
        // Playback state (0 running, 1 paused, 2 stopped, 3 created, -1 none) and position.
        std::function<int()> playbackState;
        std::function<std::uint64_t()> positionMs;
        // The folder that holds mapView.htm.
        QString pageFolder;
        QString tileUrl;
        // Where tiles once shown are kept (empty: nowhere), and how much they may take.
        QString tileCacheFolder;
        qint64 tileCacheBytes = 0;
        std::function<std::unique_ptr<MapSurface>(QWidget* parent, const QUrl& page)> makeSurface;
    };
    static Services defaultServices(ViewerContext& context);

    // Starts the tile server check at once and loads the page from the event loop: the page and
    // Leaflet are files, so the route shows on the page's grid whether or not the tile server
    // answers; tiles come once it does.
    CMapViewDlg(QWidget* mainWindow, ViewerContext& context, Services services);
    ~CMapViewDlg() override;

    // 1 once the page was loaded, 0 when the page is missing or cannot be shown; -1 before.
    int pageLoaded() const { return m_pageLoaded; }
    // 1 when the last tile server check reached it, 0 when it did not (checked again every
    // kRetryPeriodMs), -1 before the first answer.
    int online() const { return m_online; }
    // A tile server check is under way.
    bool checking() const { return m_probe.running(); }
    bool positionTimerActive() const { return m_positionTimer.isActive(); }
    // The last position call text ("javascript:DrawCurrent('...', '...')"), empty before one.
    const QString& lastCall() const { return m_lastCall; }
    // The end of the whole trip's route shown (ms from the trip's start); -1 without one.
    std::int64_t tripEndMs() const { return m_tripEndMs; }
    QWidget* browserArea() const { return m_browser; }
    // What the browser area shows now, 299 × 290 (more pixels on a high-density screen): the
    // page as the browser last drew it, or the area's own ground while there is no page.
    QImage mapImage() const;
    MapSurface* surface() const { return m_surface.get(); }
    CSkinButton* button(int command) const;
    // The right-click menu of the map and its frame: "Save route as GPX..." and "Save
    // route as KML..." (while a recording is open). The caller owns it.
    QMenu* makeMenu();
    RouteSaving& routeSaving() { return m_routeSaving; }

    // One position update, as the half-second timer runs it.
    void updatePosition();
    // The page reported a click on the route at `report` ("[lat, lon]"): seeks playback to
    // the nearest fix of the route. Anything else is ignored.
    void routeClicked(const QString& report);
    // The page reported a click on an incident's mark at `report` (its time in ms): seeks
    // playback as a click on the route there does. A time that is no incident's is ignored.
    void incidentClicked(const QString& report);
    // The last incidents text sent to the page ("[]" while it marks none).
    const QString& shownIncidents() const { return m_shownIncidents; }

    // While a trip plays: its whole route coloured by speed (with a legend) and its incidents
    // (their startMs counted from the trip's start), under the recording's own route; empty
    // lists take it away. Sent once the page is loaded.
    void setTripRoute(const std::vector<TripRoutePoint>& route,
                      const std::vector<events::Incident>& incidents);
    // The last trip text sent to the page ("" while none).
    const QString& shownTrip() const { return m_shownTrip; }

signals:
    // A click on the trip's route or one of its incidents: the trip time there (ms).
    void tripClicked(qint64 tripMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    qintptr onMessage(unsigned message, qintptr wParam, qintptr lParam) override;

private:
    void probe();
    void probeAnswered(bool reachable);
    void loadPage();
    void notLoaded(const QString& text);
    void tell(const QString& text);
    void raiseBox();
    void drawCurrent(double longitude, double latitude);
    void sendRoute();
    // Sends the incidents when the store or the route changed and the marks differ.
    void sendIncidents();
    void seekToFix(std::uint32_t timeMs);
    bool playing() const;

    ViewerContext& m_context;
    RouteSaving m_routeSaving{m_context};
    Services m_services;
    QWidget* m_browser;
    CSkinButton* m_close;
    CSkinButton* m_fixedButton;
    TileServerProbe m_probe;
    // Answers the page's tiles; outlives the surface, whose browser asks it.
    MapTileSource m_tiles;
    std::unique_ptr<MapSurface> m_surface;
    QBasicTimer m_positionTimer;
    QBasicTimer m_retryTimer;
    int m_pageLoaded = -1;
    int m_online = -1;
    // "Please check your Internet connection." is said once in the viewer's life.
    bool m_toldOffline = false;
    // The tile server answers again: the page asks again for the tiles it could not have.
    bool m_retryTiles = false;
    QString m_lastCall;
    // The "not loaded" box while it is open: it comes over the pane once the pane shows.
    QPointer<QWidget> m_box;
    // The route revision the page shows; the route is sent again whenever the store's differs.
    std::uint64_t m_shownRoute = 0;
    bool m_routeShown = false;
    // The incidents of the store version they were found in, and whether the page's marks
    // must be placed again (a new route, a changed store).
    std::vector<events::Incident> m_incidents;
    StoreVersion m_incidentsStore;
    std::uint64_t m_incidentsRoute = 0;
    bool m_placeIncidents = true;
    QString m_shownIncidents = QStringLiteral("[]");
    // The trip's script arguments ("route, marks"), and what the page has of them.
    QString m_trip;
    QString m_shownTrip;
    // The trip's times, to check the page's reports against.
    std::int64_t m_tripEndMs = -1;
};

}  // namespace qelv::ui

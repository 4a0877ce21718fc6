// Where the map page gets its tiles: the page asks for "qelv-tile:<z>/<x>/<y>", and this
// source answers from the tile cache or fetches the tile from the tile server the user set.
// All of the map's traffic to the tile server goes through here, named by the program's
// User-Agent and only for tiles the map shows. Interface thread only.
#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>
#include <functional>
#include <optional>

#include "telemetry/ui/tile_cache.h"

class QNetworkReply;
class QWebEngineUrlRequestJob;

namespace qelv::ui {

// The page's tile address template.
inline constexpr char kTileScheme[] = "qelv-tile";
inline constexpr char kPageTileTemplate[] = "qelv-tile:{z}/{x}/{y}";

// Makes the tile scheme known to the browser: once, before the application object exists.
void registerMapTileScheme();

// The tile a "qelv-tile:<z>/<x>/<y>" address asks for: zoom 0 to 24, x and y on the map at
// that zoom; nothing for anything else.
std::optional<TileKey> tileKeyOf(const QUrl& url);

// The tile server's address of `key` from the template: {z} {x} {y} filled in, {s} one of the
// sub-domains a, b and c (spread over the tiles as Leaflet does), {r} empty.
QString tileAddress(const QString& tileUrl, const TileKey& key);

// "QELV Viewer/<version> (+<project address>)".
QByteArray tileUserAgent();

class MapTileSource : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    // A kept tile younger than this is shown without asking the server.
    static constexpr qint64 kFreshSeconds = 7 * 24 * 3600;
    static constexpr int kTransferTimeoutMs = 15000;

    MapTileSource(QString tileUrl, TileCache cache, QObject* parent = nullptr);
    ~MapTileSource() override;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

    // While offline, tiles come from the cache only (however old); a tile not kept fails at
    // once, and the map's grid shows in its place.
    void setOffline(bool offline) { m_offline = offline; }
    // Told when a fetch failed for want of a connection (not for an answer of the server).
    std::function<void()> onUnreachable;

private:
    void fetch(QWebEngineUrlRequestJob* job, const TileKey& key,
               std::optional<TileCache::Tile> kept);
    void fetched(QNetworkReply* reply, QPointer<QWebEngineUrlRequestJob> job, const TileKey& key,
                 const std::optional<TileCache::Tile>& kept);

    QString m_tileUrl;
    TileCache m_cache;
    QNetworkAccessManager m_network;
    bool m_offline = false;
    bool m_toldStoreError = false;
};

}  // namespace qelv::ui

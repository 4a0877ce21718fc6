// The map tiles kept on disk, so that a route seen once online shows its tiles offline too.
// One file per tile, <root>/<template key>/<z>/<x>/<y>.tile, written whole or not at all; the
// template key is a hash of the tile address template, so that tiles of another server never
// stand in for this one's. A tile file's modification time is when the tile server last handed
// it out (or confirmed it), its access time when the map last showed it. Over the size limit
// the tiles shown longest ago go first. Interface thread only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSettings>
#include <QString>
#include <optional>

namespace qelv::ui {

// The setting that holds the cache's size limit in megabytes (0 keeps no tiles), and its
// default.
inline constexpr char kTileCacheKey[] = "Map/TileCacheMB";
inline constexpr qint64 kDefaultTileCacheMB = 200;
// The largest tile the map takes from the server or the cache.
inline constexpr qint64 kLargestTileBytes = 1024 * 1024;

// The size limit the user set, in bytes: the default for a missing or unreadable value, 0 for
// 0 or less.
qint64 configuredTileCacheBytes(const QSettings& settings);
// The user's tile cache: the generic cache folder + "qelv-viewer/tiles".
QString defaultTileCacheFolder();

// The image type of a tile from its first bytes ("image/png", "image/jpeg", "image/gif",
// "image/webp"), empty for anything else.
QByteArray tileImageType(const QByteArray& bytes);

struct TileKey {
    int z;
    int x;
    int y;
};

class TileCache {
public:
    // `root`: the folder of the cache (every template's tiles; empty: nothing is kept);
    // `tileUrl`: the template whose tiles this cache keeps; `limitBytes`: the most that all
    // tiles under `root` may take together.
    TileCache(QString root, const QString& tileUrl, qint64 limitBytes);

    struct Tile {
        QByteArray bytes;
        QByteArray type;
        QDateTime fetched;
    };
    // The kept tile (marked as shown now), or nothing; what is no plain file of at most
    // kLargestTileBytes (a link, a pipe) is no tile, and with a limit of 0 nothing is.
    std::optional<Tile> find(const TileKey& key) const;
    // Keeps `bytes` as the tile at `key`, then drops the tiles shown longest ago while the
    // cache is over its limit. False, with `error` naming the file, when the bytes are no
    // image or the file cannot be written (the tile kept before, if any, stays). A link in
    // the tile's place is replaced, never written through; a linked folder is refused. With a
    // limit of 0 nothing is kept, and the first store drops what the root holds.
    bool store(const TileKey& key, const QByteArray& bytes, QString* error);
    // The tile server said the kept tile is still current.
    void markFetched(const TileKey& key) const;
    // What all tiles under the root take now, in bytes.
    qint64 sizeBytes() const;
    bool enabled() const { return !m_folder.isEmpty() && m_limitBytes > 0; }

private:
    QString pathOf(const TileKey& key) const;
    void trim();

    QString m_root;
    QString m_folder;
    qint64 m_limitBytes;
    // What the root holds, as counted at the first store and kept up since; -1 before.
    qint64 m_totalBytes = -1;
};

}  // namespace qelv::ui

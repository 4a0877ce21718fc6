#include "telemetry/ui/tile_cache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <vector>

namespace qelv::ui {

namespace {
// Far more than any sane limit; a larger value is taken as this.
constexpr qint64 kLargestLimitMB = 1024 * 1024;

// Sets one of the file's times; false when the file cannot be opened.
bool setTime(const QString& path, QFileDevice::FileTime which, const QDateTime& when) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(when, which);
}
}  // namespace

qint64 configuredTileCacheBytes(const QSettings& settings) {
    bool ok = false;
    qint64 megabytes = settings.value(QLatin1StringView(kTileCacheKey)).toString().toLongLong(&ok);
    if (!ok) {
        megabytes = kDefaultTileCacheMB;
    }
    return std::clamp<qint64>(megabytes, 0, kLargestLimitMB) * 1024 * 1024;
}

QString defaultTileCacheFolder() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/qelv-viewer/tiles");
}

QByteArray tileImageType(const QByteArray& bytes) {
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        return "image/png";
    }
    if (bytes.startsWith("\xff\xd8\xff")) {
        return "image/jpeg";
    }
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) {
        return "image/gif";
    }
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP") {
        return "image/webp";
    }
    return {};
}

TileCache::TileCache(QString root, const QString& tileUrl, qint64 limitBytes)
    : m_root(std::move(root)), m_limitBytes(limitBytes) {
    if (!m_root.isEmpty()) {
        const QByteArray hash =
            QCryptographicHash::hash(tileUrl.toUtf8(), QCryptographicHash::Sha256).toHex();
        m_folder = m_root + u'/' + QString::fromLatin1(hash.left(16));
    }
}

QString TileCache::pathOf(const TileKey& key) const {
    return QStringLiteral("%1/%2/%3/%4.tile").arg(m_folder).arg(key.z).arg(key.x).arg(key.y);
}

std::optional<TileCache::Tile> TileCache::find(const TileKey& key) const {
    if (!enabled()) {
        return std::nullopt;
    }
    const QString path = pathOf(key);
    // Opening a pipe would wait for a writer, on the interface thread.
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() > kLargestTileBytes) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    Tile tile;
    tile.bytes = file.readAll();
    tile.type = tileImageType(tile.bytes);
    tile.fetched = file.fileTime(QFileDevice::FileModificationTime);
    if (tile.type.isEmpty()) {
        return std::nullopt;
    }
    // Shown now: the last to go when the cache is trimmed.
    file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileAccessTime);
    return tile;
}

bool TileCache::store(const TileKey& key, const QByteArray& bytes, QString* error) {
    if (!enabled()) {
        // A limit of 0 keeps nothing: what an earlier limit kept goes, once.
        if (!m_folder.isEmpty() && m_totalBytes < 0) {
            trim();
        }
        return true;
    }
    const QString path = pathOf(key);
    if (tileImageType(bytes).isEmpty()) {
        *error = QStringLiteral("%1: not an image").arg(path);
        return false;
    }
    if (m_totalBytes < 0) {
        m_totalBytes = sizeBytes();
    }
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("%1: the folder cannot be made").arg(path);
        return false;
    }
    // The tile goes into the cache itself: a file saved over a link is written where the link
    // points, and a folder that is a link leads out of the cache.
    const QString own =
        QFileInfo(m_root).canonicalFilePath() + u'/' + QFileInfo(m_folder).fileName();
    if (!QFileInfo(folder).canonicalFilePath().startsWith(own + u'/')) {
        *error = QStringLiteral("%1: its folder leads out of the cache").arg(path);
        return false;
    }
    QFileInfo target(path);
    if (target.isSymLink() && !QFile::remove(path)) {
        *error = QStringLiteral("%1: a link that cannot be removed").arg(path);
        return false;
    }
    target.refresh();
    const qint64 before = target.isFile() ? target.size() : 0;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    m_totalBytes += bytes.size() - before;
    if (m_totalBytes > m_limitBytes) {
        trim();
    }
    return true;
}

void TileCache::markFetched(const TileKey& key) const {
    if (!m_folder.isEmpty()) {
        setTime(pathOf(key), QFileDevice::FileModificationTime, QDateTime::currentDateTimeUtc());
    }
}

qint64 TileCache::sizeBytes() const {
    qint64 total = 0;
    QDirIterator files(m_root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        total += files.fileInfo().size();
    }
    return total;
}

void TileCache::trim() {
    struct Kept {
        QDateTime shown;
        qint64 size;
        QString path;
    };
    std::vector<Kept> kept;
    qint64 total = 0;
    QDirIterator files(m_root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        const QFileInfo info = files.fileInfo();
        kept.push_back({info.lastRead(), info.size(), info.filePath()});
        total += info.size();
    }
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return a.shown < b.shown; });
    // Down to nine tenths of the limit, so that the folder is not walked again at every tile.
    const qint64 target = m_limitBytes / 10 * 9;
    for (const Kept& file : kept) {
        if (total <= target) {
            break;
        }
        if (QFile::remove(file.path)) {
            total -= file.size;
        }
    }
    m_totalBytes = total;
}

}  // namespace qelv::ui

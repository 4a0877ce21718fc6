#include "telemetry/ui/tile_source.h"

#include <QBuffer>
#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <iostream>

namespace qelv::ui {

namespace {
constexpr int kLargestZoom = 24;
constexpr char kDropped[] = "qelv-dropped";
constexpr char kTooLarge[] = "qelv-too-large";

void answer(QWebEngineUrlRequestJob* job, const QByteArray& bytes, const QByteArray& type) {
    // The job owns the buffer, which must live as long as the job reads it.
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(type, buffer);
}

// An HTTP date, as If-Modified-Since takes it.
QByteArray httpDate(const QDateTime& when) {
    return QLocale::c()
        .toString(when.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// The connection failed, as against an answer of the server (or a transfer cut here).
bool unreachable(const QNetworkReply& reply) {
    const int error = reply.error();
    return error > 0 && error < 200 && !reply.property(kDropped).toBool() &&
           !reply.property(kTooLarge).toBool();
}
}  // namespace

void registerMapTileScheme() {
    // A local scheme: the map page, a file, may load from it while it may load nothing from
    // the network itself.
    QWebEngineUrlScheme scheme(kTileScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

std::optional<TileKey> tileKeyOf(const QUrl& url) {
    static const QRegularExpression path(
        QStringLiteral("^([0-9]{1,2})/([0-9]{1,8})/([0-9]{1,8})$"));
    if (url.scheme() != QLatin1StringView(kTileScheme)) {
        return std::nullopt;
    }
    const QRegularExpressionMatch match = path.match(url.path());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const TileKey key{match.captured(1).toInt(), match.captured(2).toInt(),
                      match.captured(3).toInt()};
    if (key.z > kLargestZoom || key.x >= (1 << key.z) || key.y >= (1 << key.z)) {
        return std::nullopt;
    }
    return key;
}

QString tileAddress(const QString& tileUrl, const TileKey& key) {
    static const char* const kSubdomains[] = {"a", "b", "c"};
    QString address = tileUrl.trimmed();
    address.replace(QStringLiteral("{s}"), QLatin1StringView(kSubdomains[(key.x + key.y) % 3]));
    address.replace(QStringLiteral("{z}"), QString::number(key.z));
    address.replace(QStringLiteral("{x}"), QString::number(key.x));
    address.replace(QStringLiteral("{y}"), QString::number(key.y));
    address.replace(QStringLiteral("{r}"), QString());
    return address;
}

QByteArray tileUserAgent() {
    return QByteArrayLiteral("QELV Viewer/" QELV_VERSION " (+https://github.com/qelv/qelv-viewer)");
}

MapTileSource::MapTileSource(QString tileUrl, TileCache cache, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_tileUrl(std::move(tileUrl)), m_cache(std::move(cache)) {
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

MapTileSource::~MapTileSource() {
    // Fetches still running end here, without telling anyone.
    for (QNetworkReply* reply : m_network.findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->setProperty(kDropped, true);
        reply->abort();
    }
}

void MapTileSource::requestStarted(QWebEngineUrlRequestJob* job) {
    const std::optional<TileKey> key = tileKeyOf(job->requestUrl());
    if (!key || job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    std::optional<TileCache::Tile> kept = m_cache.find(*key);
    const bool fresh = kept && kept->fetched.isValid() &&
                       kept->fetched.secsTo(QDateTime::currentDateTimeUtc()) < kFreshSeconds;
    if (kept && (fresh || m_offline)) {
        answer(job, kept->bytes, kept->type);
        return;
    }
    if (m_offline) {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return;
    }
    fetch(job, *key, std::move(kept));
}

void MapTileSource::fetch(QWebEngineUrlRequestJob* job, const TileKey& key,
                          std::optional<TileCache::Tile> kept) {
    QNetworkRequest request{QUrl(tileAddress(m_tileUrl, key))};
    request.setHeader(QNetworkRequest::UserAgentHeader, tileUserAgent());
    request.setRawHeader("Accept", "image/png,image/*;q=0.8");
    request.setTransferTimeout(kTransferTimeoutMs);
    if (kept) {
        // The server answers 304 and no tile when the kept one is still current.
        request.setRawHeader("If-Modified-Since", httpDate(kept->fetched));
    }
    QNetworkReply* reply = m_network.get(request);
    // A tile the map no longer shows (scrolled away, zoomed past) is not fetched on.
    connect(job, &QObject::destroyed, reply, [reply] {
        reply->setProperty(kDropped, true);
        reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kLargestTileBytes || total > kLargestTileBytes) {
            reply->setProperty(kTooLarge, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, job = QPointer<QWebEngineUrlRequestJob>(job), key, kept] {
                fetched(reply, job, key, kept);
            });
}

void MapTileSource::fetched(QNetworkReply* reply, QPointer<QWebEngineUrlRequestJob> job,
                            const TileKey& key, const std::optional<TileCache::Tile>& kept) {
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status == 304 && kept) {
        m_cache.markFetched(key);
        if (job) {
            answer(job, kept->bytes, kept->type);
        }
        return;
    }
    const QByteArray bytes = reply->error() == QNetworkReply::NoError ? reply->readAll() : "";
    const QByteArray type = tileImageType(bytes);
    const bool image = status == 200 && !type.isEmpty() &&
                       reply->header(QNetworkRequest::ContentTypeHeader)
                           .toString()
                           .startsWith(QStringLiteral("image/"));
    if (image) {
        QString error;
        if (!m_cache.store(key, bytes, &error) && !m_toldStoreError) {
            // Once: a full disk would say it for every tile.
            m_toldStoreError = true;
            std::cerr << "the map tile is not kept: " << error.toStdString() << '\n';
        }
        if (job) {
            answer(job, bytes, type);
        }
        return;
    }
    if (unreachable(*reply) && onUnreachable) {
        onUnreachable();
    }
    if (!job) {
        return;
    }
    if (kept) {
        // An old tile is better than none.
        answer(job, kept->bytes, kept->type);
    } else {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
    }
}

}  // namespace qelv::ui

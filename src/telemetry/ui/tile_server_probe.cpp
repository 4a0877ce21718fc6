#include "telemetry/ui/tile_server_probe.h"

#include <QUrl>

namespace qelv::ui {

QString configuredTileUrl(const QSettings& settings) {
    const QString url = settings.value(QLatin1StringView(kTileUrlKey)).toString().trimmed();
    return url.isEmpty() ? QString::fromLatin1(kDefaultTileUrl) : url;
}

std::optional<TileServer> tileServerOf(const QString& tileUrl) {
    QString address = tileUrl.trimmed();
    address.replace(QStringLiteral("{s}"), QStringLiteral("a"));
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))) {
        return std::nullopt;
    }
    const int port = url.port(scheme == QStringLiteral("https") ? 443 : 80);
    if (port <= 0 || port > 65535) {
        return std::nullopt;
    }
    return TileServer{url.host(), static_cast<quint16>(port)};
}

TileServerProbe::TileServerProbe(QObject* parent) : QObject(parent) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(false); });
}

void TileServerProbe::start(const TileServer& server, int timeoutMs,
                            std::function<void(bool)> done) {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_done = std::move(done);
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this] { finish(true); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { finish(false); });
    m_timeout.start(timeoutMs);
    // The name lookup runs off the interface thread; a lookup error comes back as a signal
    // from the event loop, never from inside this call.
    socket->connectToHost(server.host, server.port);
}

void TileServerProbe::finish(bool reachable) {
    if (!m_done) {
        return;
    }
    m_timeout.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    // A refused connection to this machine can fail inside connectToHost: the answer always
    // comes from the event loop.
    QMetaObject::invokeMethod(
        this, [done = std::move(m_done), reachable] { done(reachable); }, Qt::QueuedConnection);
    m_done = nullptr;
}

}  // namespace qelv::ui

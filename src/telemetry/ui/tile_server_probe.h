// Whether the map's tile server can be reached: one TCP connection attempt with a short time
// limit, answered on the interface thread without ever blocking it. The tile address comes
// from the user's settings, so that a company or offline tile server can stand in for
// OpenStreetMap.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <optional>

namespace qelv::ui {

// The setting that holds the tile address template, and its default.
inline constexpr char kTileUrlKey[] = "Map/TileUrl";
inline constexpr char kDefaultTileUrl[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";

// The tile address template the map uses: the setting, or the default when it is missing or
// empty.
QString configuredTileUrl(const QSettings& settings);

// The host and port the tile template points at ({s} sub-domains taken as "a"); nothing for a
// template that is not an http or https address with a host.
struct TileServer {
    QString host;
    quint16 port;
    bool operator==(const TileServer&) const = default;
};
std::optional<TileServer> tileServerOf(const QString& tileUrl);

class TileServerProbe : public QObject {
    Q_OBJECT
public:
    explicit TileServerProbe(QObject* parent = nullptr);

    // Tries to connect to `server`; `done` gets true once connected, false after a failure or
    // `timeoutMs`, exactly once and always later than this call returns. A second start
    // before the answer forgets the first.
    void start(const TileServer& server, int timeoutMs, std::function<void(bool)> done);
    bool running() const { return static_cast<bool>(m_done); }

private:
    void finish(bool reachable);

    QPointer<QTcpSocket> m_socket;
    QTimer m_timeout;
    std::function<void(bool)> m_done;
};

}  // namespace qelv::ui

// Helpers of the map tests: GPS records, a browser stand-in that writes down what the map
// window asks of the page, and a tile server on this machine.
#pragma once

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <array>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "shell/viewer_context.h"
#include "telemetry/telemetry_records.h"
#include "telemetry/ui/map_surface.h"
#include "telemetry/ui/map_view_dlg.h"
#include "ui_support.h"

// Readable texts in the failure messages of the map tests.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qelv::test {

// A GPS record as the recorder writes it, with the given position fields (and speed in knots).
inline std::array<std::uint8_t, core::kRecordBufferSize> gpsRecord(const std::string& latitude,
                                                                   const std::string& north,
                                                                   const std::string& longitude,
                                                                   const std::string& east,
                                                                   const std::string& knots = "1") {
    const std::string sentence = "G$GPRMC,120000.00,A," + latitude + "," + north + "," + longitude +
                                 "," + east + "," + knots + ",2,310124";
    std::array<std::uint8_t, core::kRecordBufferSize> buffer{};
    std::memcpy(buffer.data(), sentence.data(), sentence.size());
    return buffer;
}

// The browser stand-in: the pages it was told to load and the scripts it was told to run.
class FakeMapSurface : public ui::MapSurface {
public:
    explicit FakeMapSurface(QWidget* parent) : m_widget(new QWidget(parent)) {}
    QWidget* widget() override { return m_widget; }
    void load(const QUrl& page) override { loaded.push_back(page); }
    bool ready() const override { return pageReady; }
    void runScript(const QString& script) override { scripts.push_back(script); }

    std::vector<QUrl> loaded;
    std::vector<QString> scripts;
    bool pageReady = true;

private:
    QWidget* m_widget;  // owned by the map window
};

// Answers every HTTP request with a small PNG and writes down the requested paths and the
// User-Agent they came with. It can be taken down and put up again on its port.
class LocalTileServer : public QObject {
public:
    static constexpr QColor kTileColour{90, 160, 90};

    LocalTileServer() {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(kTileColour);
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        connect(&m_server, &QTcpServer::newConnection, this, [this] { take(); });
        m_server.listen(QHostAddress::LocalHost);
        m_port = m_server.serverPort();
    }
    quint16 port() const { return m_port; }
    QString tileUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(port());
    }
    // Refuses connections from now on.
    void stop() { m_server.close(); }
    bool restart() { return m_server.listen(QHostAddress::LocalHost, m_port); }
    qsizetype pngSize() const { return m_png.size(); }

    int connections = 0;
    std::vector<QString> paths;
    std::vector<QByteArray> userAgents;

private:
    void take() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++connections;
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }
    void answer(QTcpSocket* socket) {
        const QByteArray request = socket->readAll();
        const QList<QByteArray> words = request.split(' ');
        if (words.size() > 1) {
            paths.push_back(QString::fromLatin1(words[1]));
        }
        for (const QByteArray& line : request.split('\n')) {
            if (line.toLower().startsWith("user-agent:")) {
                userAgents.push_back(line.mid(11).trimmed());
            }
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                      QByteArray::number(m_png.size()) + "\r\nConnection: close\r\n\r\n" + m_png);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    quint16 m_port = 0;
    QByteArray m_png;
};

// What every map test starts from: the viewer's context on a settings file of its own, a main
// window for the map to follow, the tile server, and the playback state the map asks for.
class MapTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        main = std::make_unique<QWidget>();
    }
    void TearDown() override {
        main.reset();  // the map goes with it
        context.reset();
    }

    // The map's services with the page beside the program, the tiles from `tileUrl` and the
    // browser that `makeSurface` makes.
    ui::CMapViewDlg::Services services(
        const QString& tileUrl,
        std::function<std::unique_ptr<ui::MapSurface>(QWidget*, const QUrl&)> makeSurface) {
        ui::CMapViewDlg::Services result;
        result.playbackState = [this] { return state; };
        result.positionMs = [this] { return positionMs; };
        result.pageFolder = QStringLiteral(QELV_BIN_DIR);
        result.tileUrl = tileUrl;
        result.tileCacheFolder = tileCache.path();
        result.tileCacheBytes = tileCacheBytes;
        result.makeSurface = std::move(makeSurface);
        return result;
    }

    QTemporaryDir profile;
    QTemporaryDir tileCache;
    qint64 tileCacheBytes = 64 * 1024 * 1024;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<QWidget> main;
    LocalTileServer tiles;
    MessageBoxSpy boxes;
    int state = 2;
    std::uint64_t positionMs = 0;
};

}  // namespace qelv::test

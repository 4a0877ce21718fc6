#include "app/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace qelv::ui {

SingleInstance::SingleInstance(const QString& folder)
    : m_folder(folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                                : folder) {}

SingleInstance::~SingleInstance() {
    if (m_server) {
        m_server->close();
    }
}

bool SingleInstance::acquire() {
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/QELV Viewer.lock"));
    // A lock left by a viewer that died is taken over (QLockFile checks its process).
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    QLocalServer::removeServer(socketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::answer);
    // Without the socket the viewer still runs; later starts then just end.
    m_server->listen(socketPath());
    return true;
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray request = socket->readLine().trimmed();
            if (request == "raise") {
                emit raiseRequested();
                socket->write("ok\n");
            } else if (request == "state" && m_state) {
                socket->write(m_state() + '\n');
            } else if (request.startsWith("source ") && m_source) {
                socket->write(m_source(QString::fromUtf8(request.mid(7))) + '\n');
            } else {
                socket->write("unknown\n");
            }
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

std::optional<QByteArray> SingleInstance::ask(const QByteArray& request, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs)) {
        return std::nullopt;
    }
    socket.write(request + '\n');
    socket.flush();
    QByteArray reply;
    while (!reply.endsWith('\n')) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            break;
        }
        reply += socket.readAll();
    }
    if (reply.isEmpty()) {
        return std::nullopt;
    }
    return reply.trimmed();
}

}  // namespace qelv::ui

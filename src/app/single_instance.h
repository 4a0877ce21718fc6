// One viewer per user: a lock file in the user's runtime folder and a local socket named
// "QELV Viewer" beside it. A second start asks the first to bring its main window forward and
// ends; it can also hand it a folder to open, or ask for its state (windows and list rows) as
// one JSON line.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace qelv::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock and the socket (the runtime folder by default).
    explicit SingleInstance(const QString& folder = QString());
    ~SingleInstance() override;

    // True when this process is the first viewer: it then listens for later starts.
    bool acquire();
    // Sent by a later start: "raise" or "state". The answer ("ok", or the state's JSON line),
    // or nothing when no viewer answered within `timeoutMs`.
    std::optional<QByteArray> ask(const QByteArray& request, int timeoutMs = 1000) const;

    // What "state" answers.
    void setStateProvider(std::function<QByteArray()> provider) { m_state = std::move(provider); }
    // What "source DIR" does (a later start with --source): "ok" or why not.
    void setSourceHandler(std::function<QByteArray(const QString&)> handler) {
        m_source = std::move(handler);
    }

    QString socketPath() const { return m_folder + QStringLiteral("/QELV Viewer"); }

signals:
    void raiseRequested();

private:
    void answer();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<QByteArray()> m_state;
    std::function<QByteArray(const QString&)> m_source;
};

}  // namespace qelv::ui

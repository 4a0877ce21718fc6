// Tells when the machine's drives may have changed, so that lists of cards can be read again.
// A card with a FAT file system shows when it is mounted or unmounted: the kernel marks the
// mount table (`/proc/self/mountinfo`) for poll, which a socket notifier watches. A card that
// is never mounted (a WyFS card) shows only as a disk coming or going in `<sysfs>/block`,
// which is looked at every two seconds. Bursts (a card with several partitions) arrive as
// one `changed()`.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "platform/drive_discovery.h"

namespace qelv::platform {

class MountWatch : public QObject {
    Q_OBJECT
public:
    // Starts watching at once, on the calling (UI) thread.
    explicit MountWatch(const SystemPaths& paths, QObject* parent = nullptr);
    ~MountWatch() override;

    // False when the mount table could not be opened as a regular file: only disks are watched
    // then.
    bool watchesMountTable() const { return m_notifier != nullptr; }

signals:
    void changed();

private:
    void mountTableMarked();
    void lookAtDisks();
    QStringList disks() const;

    SystemPaths m_paths;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QStringList m_disks;
    QTimer m_diskTimer;
    QTimer m_burst;
};

}  // namespace qelv::platform

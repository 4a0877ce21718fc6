// Formats a card's partition (or a card without partitions) as FAT32 through udisks2 over
// D-Bus, the way the desktop's own disk tools do: unmount if mounted, then Block.Format
// ("vfat"). polkit may ask the user for a password on the way; nothing here blocks the
// caller's thread while it does, or while the card is being written.
#pragma once

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "platform/system_paths.h"

namespace qelv::platform {

struct FormatResult {
    enum class Status {
        Formatted,      // udisks2 reported the new file system written
        Refused,        // not started: the system uses the device's disk, or it is no card
        NotAuthorized,  // polkit said no (or there was no one to ask)
        Cancelled,      // the user dismissed the password prompt, or udisks2 cancelled the job
        Failed,         // anything else, udisks2 not running included
    };
    Status status = Status::Failed;
    QString message;  // for the user: udisks2's own message on failure; why on refusal
};

// One run at a time, on the thread the object lives in (the dialog's). A run: the system-disk
// check (no D-Bus call when it refuses), Manager.ResolveDevice, Filesystem.Unmount when the
// file system is mounted, Block.Format. Every step is an asynchronous call; the object
// reacts to the answers from its thread's event loop. Destroyed during a run, it drops the
// answer that is still to come (udisks2 finishes the job all the same) and emits nothing.
class CardFormatter : public QObject {
    Q_OBJECT
public:
    // `bus`: the system bus in the viewer, a private bus in tests. `paths` for the check of
    // the disks the system uses (the drive list's paths), made afresh at every start and
    // again just before the format.
    CardFormatter(QDBusConnection bus, SystemPaths paths, QObject* parent = nullptr);

    // Starts formatting `device` (a partition such as "/dev/sdb1", or a card without
    // partitions such as "/dev/sdb") as FAT32. A device on a disk the system uses, on a fixed
    // disk, or one that is no block device of this machine, is refused. false when a run is already
    // going (nothing else happens then); true otherwise, and `finished` follows.
    bool start(const QString& device);
    bool running() const { return m_running; }

signals:
    // The step under way, for a status line: "Unmounting /dev/sdb1...",
    // "Formatting /dev/sdb1 (FAT32)...".
    void stepChanged(const QString& text);
    // Exactly once per started run, always from the event loop (never from inside start());
    // running() is false again when it is emitted.
    void finished(const qelv::platform::FormatResult& result);

private:
    QString refusalOf(const QString& device) const;
    static std::optional<std::array<std::uint64_t, 3>> nodeIdentity(const QString& device);
    void resolve();
    void onResolved(QDBusPendingCallWatcher* call);
    void onMountPoints(QDBusPendingCallWatcher* call);
    void unmount();
    void onUnmounted(QDBusPendingCallWatcher* call);
    void format();
    void onFormatted(QDBusPendingCallWatcher* call);
    // Sends `message` with `timeoutMs` (-1: the bus's default) and calls `then` with the answer.
    void send(const QDBusMessage& message, int timeoutMs,
              void (CardFormatter::*then)(QDBusPendingCallWatcher*));
    void finish(FormatResult::Status status, const QString& message);
    void finishWithError(const QDBusError& error);

    QDBusConnection m_bus;
    SystemPaths m_paths;
    bool m_running = false;
    QString m_device;
    QString m_object;  // the block object udisks2 resolved m_device to
    std::optional<std::array<std::uint64_t, 3>> m_identity;  // the node at start
};

}  // namespace qelv::platform

Q_DECLARE_METATYPE(qelv::platform::FormatResult)

#include "platform/card_formatter.h"

#include <sys/stat.h>

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QVariantMap>

#include "platform/disk_lookup.h"
#include "platform/disk_use.h"

namespace qelv::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kErrorPrefix = QStringLiteral("org.freedesktop.UDisks2.Error.");

// Writing the file system takes seconds, but polkit's password prompt waits for the user and
// a slow card may first have to flush what is still cached for it; the bus's default 25 s
// would report a failure while udisks2 goes on working.
constexpr int kUnmountTimeoutMs = 30 * 60 * 1000;
constexpr int kFormatTimeoutMs = 4 * 60 * 60 * 1000;

// MountPoints is "aay": each mount point as bytes with a closing NUL.
bool anyMountPoint(const QDBusVariant& value) {
    const QVariant variant = value.variant();
    if (variant.metaType() != QMetaType::fromType<QDBusArgument>()) {
        return false;
    }
    const auto argument = variant.value<QDBusArgument>();
    if (argument.currentSignature() != QStringLiteral("aay")) {
        return false;
    }
    bool mounted = false;
    argument.beginArray();
    while (!argument.atEnd()) {
        QByteArray point;
        argument >> point;
        mounted = mounted || (!point.isEmpty() && point != QByteArray(1, '\0'));
    }
    argument.endArray();
    return mounted;
}

// The answers of a Properties.Get for an interface the object does not have.
bool isMissingInterface(const QDBusError& error) {
    return error.type() == QDBusError::InvalidArgs ||
           error.type() == QDBusError::UnknownInterface ||
           error.type() == QDBusError::UnknownProperty;
}

}  // namespace

CardFormatter::CardFormatter(QDBusConnection bus, SystemPaths paths, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_paths(std::move(paths)) {
    qRegisterMetaType<FormatResult>();
}

bool CardFormatter::start(const QString& device) {
    if (m_running) {
        return false;
    }
    m_running = true;
    m_device = device;
    m_object.clear();
    m_identity = nodeIdentity(device);
    // Even a refusal is reported from the event loop, so that the caller sees one order.
    if (const QString refusal = refusalOf(device); !refusal.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, refusal] { finish(FormatResult::Status::Refused, refusal); },
            Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(this, &CardFormatter::resolve, Qt::QueuedConnection);
    }
    return true;
}

// What a device node is: its device number and inode, or nothing when it is not there.
std::optional<std::array<std::uint64_t, 3>> CardFormatter::nodeIdentity(const QString& device) {
    struct stat info {};
    if (::stat(device.toLocal8Bit().constData(), &info) != 0) {
        return std::nullopt;
    }
    return std::array<std::uint64_t, 3>{info.st_rdev, info.st_dev, info.st_ino};
}

// Made afresh at each start: the card may have been swapped since the list was built. The
// same rule as the drive list's, on the same paths.
QString CardFormatter::refusalOf(const QString& device) const {
    const std::string node = device.toStdString();
    const std::string disk = diskOfDevice(m_paths, node);
    if (disk.empty()) {
        return tr("%1 is not a disk of this computer, so it is not a card.").arg(device);
    }
    const CardVerdict verdict = cardVerdict(m_paths, DiskUse::read(m_paths), disk);
    switch (verdict.kind) {
        case CardVerdict::Kind::Card:
            return {};
        case CardVerdict::Kind::Unknown:
            // Without the mount table nothing tells where the running system lives.
            return tr("%1 is not formatted: the disks in use cannot be read.").arg(device);
        case CardVerdict::Kind::InUse:
            return tr("%1 is on a disk the running system uses (%2: %3); it is not a card.")
                .arg(device, QString::fromStdString(disk), QString::fromStdString(verdict.use));
        case CardVerdict::Kind::Fixed:
            break;
    }
    return tr("%1 is on a fixed disk (%2); only removable cards are formatted here.")
        .arg(device, QString::fromStdString(disk));
}

void CardFormatter::resolve() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface,
                                                       QStringLiteral("ResolveDevice"));
    call << QVariantMap{{QStringLiteral("path"), m_device}} << QVariantMap{};
    send(call, -1, &CardFormatter::onResolved);
}

void CardFormatter::onResolved(QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<QList<QDBusObjectPath>> reply = *call;
    if (reply.isError()) {
        finishWithError(reply.error());
        return;
    }
    const QList<QDBusObjectPath> objects = reply.value();
    if (objects.isEmpty()) {
        finish(FormatResult::Status::Failed,
               tr("udisks2 knows no device %1; is the card still inserted?").arg(m_device));
        return;
    }
    m_object = objects.first().path();
    QDBusMessage get = QDBusMessage::createMethodCall(kService, m_object, kPropertiesInterface,
                                                      QStringLiteral("Get"));
    get << kFilesystemInterface << QStringLiteral("MountPoints");
    send(get, -1, &CardFormatter::onMountPoints);
}

// udisks2 refuses to format a mounted file system, so a mounted card is unmounted first.
void CardFormatter::onMountPoints(QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<QDBusVariant> reply = *call;
    if (reply.isError() && !isMissingInterface(reply.error())) {
        finishWithError(reply.error());
    } else if (!reply.isError() && anyMountPoint(reply.value())) {
        unmount();
    } else {
        format();  // no file system on it (a blank card, a WyFS one), or one not mounted
    }
}

void CardFormatter::unmount() {
    emit stepChanged(tr("Unmounting %1...").arg(m_device));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, m_object, kFilesystemInterface,
                                                       QStringLiteral("Unmount"));
    call << QVariantMap{};
    send(call, kUnmountTimeoutMs, &CardFormatter::onUnmounted);
}

void CardFormatter::onUnmounted(QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<> reply = *call;
    if (reply.isError()) {
        finishWithError(reply.error());
        return;
    }
    format();
}

void CardFormatter::format() {
    // The last look before the card is written: unmounting may have taken long (polkit asks
    // the user), and a card swapped meanwhile may have taken the same name.
    if (const QString refusal = refusalOf(m_device); !refusal.isEmpty()) {
        finish(FormatResult::Status::Refused, refusal);
        return;
    }
    if (nodeIdentity(m_device) != m_identity) {
        finish(FormatResult::Status::Refused,
               tr("%1 changed while it was being prepared; nothing was formatted.").arg(m_device));
        return;
    }
    emit stepChanged(tr("Formatting %1 (FAT32)...").arg(m_device));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, m_object, kBlockInterface,
                                                       QStringLiteral("Format"));
    // A partition's table entry is set to FAT32 as well, so that the recorder and other
    // machines see the type they expect; polkit may ask the user.
    const QVariantMap options{{QStringLiteral("update-partition-type"), true},
                              {QStringLiteral("auth.no_user_interaction"), false}};
    call << QStringLiteral("vfat") << options;
    send(call, kFormatTimeoutMs, &CardFormatter::onFormatted);
}

void CardFormatter::onFormatted(QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<> reply = *call;
    if (reply.isError()) {
        finishWithError(reply.error());
        return;
    }
    finish(FormatResult::Status::Formatted, tr("%1 formatted (FAT32).").arg(m_device));
}

void CardFormatter::send(const QDBusMessage& message, int timeoutMs,
                         void (CardFormatter::*then)(QDBusPendingCallWatcher*)) {
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, then] {
        watcher->deleteLater();
        (this->*then)(watcher);
    });
}

void CardFormatter::finish(FormatResult::Status status, const QString& message) {
    m_running = false;  // before the signal: a receiver may start the next run
    emit finished(FormatResult{status, message});
}

void CardFormatter::finishWithError(const QDBusError& error) {
    using Status = FormatResult::Status;
    const QString name = error.name();
    const QString text = error.message().isEmpty() ? name : error.message();
    if (name == kErrorPrefix + QStringLiteral("NotAuthorizedDismissed") ||
        name == kErrorPrefix + QStringLiteral("Cancelled")) {
        finish(Status::Cancelled, text);
    } else if (name.startsWith(kErrorPrefix + QStringLiteral("NotAuthorized"))) {
        finish(Status::NotAuthorized, text);
    } else if (error.type() == QDBusError::ServiceUnknown ||
               name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        finish(Status::Failed, tr("udisks2 is not running (%1).").arg(text));
    } else if (error.type() == QDBusError::Disconnected) {
        finish(Status::Failed, tr("No connection to the system bus (%1).").arg(text));
    } else {
        finish(Status::Failed, text);
    }
}

}  // namespace qelv::platform

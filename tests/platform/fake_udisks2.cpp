// fake_udisks2: a stand-in for the udisks2 daemon on a private bus, for the card formatter's
// tests. It owns "org.freedesktop.UDisks2" on the session bus named by DBUS_SESSION_BUS_ADDRESS
// and answers like the daemon for the devices given on its command line, each with a scripted
// outcome; it never touches a disk. Every call it receives is appended to the log file as one
// line: method, object path, arguments ("Format /org/.../block_devices/sdb1 vfat {k=v, ...}").
//
//   fake_udisks2 --log FILE [--device DEVICE]...
//   DEVICE: PATH[,mounted][,nofs][,unmount-busy][,OUTCOME][,delay=MS][,message=TEXT]
//   OUTCOME of Block.Format: ok (default), not-authorized, dismissed, cancelled, fail
//
// "mounted" gives the file system a mount point (Unmount clears it; Format refuses while it is
// there, as the daemon does); "nofs" leaves the Filesystem interface out (a blank card);
// "unmount-busy" makes Unmount fail; "delay" holds the Format answer back for MS
// milliseconds; "message" (the rest of DEVICE, commas included) is the text of a failure.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kBlockPrefix = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kError = QStringLiteral("org.freedesktop.UDisks2.Error.");

struct ScriptedDevice {
    QString path;  // "/dev/sdb1"
    QString object;
    QString outcome = QStringLiteral("ok");
    QString message;
    bool mounted = false;
    bool hasFilesystem = true;
    bool unmountBusy = false;
    int delayMs = 0;
};

class CallLog {
public:
    explicit CallLog(const QString& fileName) : m_file(fileName) {}
    bool open() { return m_file.open(QIODevice::Append | QIODevice::Text); }
    void add(const QDBusMessage& call) {
        QStringList words{call.member(), call.path()};
        for (const QVariant& argument : call.arguments()) {
            words << describe(argument);
        }
        m_file.write(words.join(QLatin1Char(' ')).toUtf8() + '\n');
        m_file.flush();  // the tests read it while the service runs
    }

private:
    static QString describe(const QVariant& value) {
        if (value.metaType() != QMetaType::fromType<QDBusArgument>()) {
            return value.toString();
        }
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != QStringLiteral("a{sv}")) {
            return QStringLiteral("<%1>").arg(argument.currentSignature());
        }
        const auto map = qdbus_cast<QVariantMap>(argument);
        QStringList pairs;
        for (auto it = map.begin(); it != map.end(); ++it) {
            pairs << it.key() + QLatin1Char('=') + it.value().toString();
        }
        return QLatin1Char('{') + pairs.join(QStringLiteral(", ")) + QLatin1Char('}');
    }

    QFile m_file;
};

QString introspectMethod(const QString& name, const QString& arguments) {
    return QStringLiteral("<method name=\"%1\">%2</method>").arg(name, arguments);
}

QString argumentXml(const char* name, const char* type, const char* direction) {
    return QStringLiteral("<arg name=\"%1\" type=\"%2\" direction=\"%3\"/>")
        .arg(QLatin1String(name), QLatin1String(type), QLatin1String(direction));
}

// org.freedesktop.UDisks2.Manager: ResolveDevice({"path": ...}, options) -> the block objects.
class ManagerObject : public QDBusVirtualObject {
public:
    ManagerObject(const std::vector<ScriptedDevice>& devices, CallLog& log)
        : m_devices(devices), m_log(log) {}

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"org.freedesktop.UDisks2.Manager\">") +
               introspectMethod(QStringLiteral("ResolveDevice"),
                                argumentXml("devspec", "a{sv}", "in") +
                                    argumentXml("options", "a{sv}", "in") +
                                    argumentXml("devices", "ao", "out")) +
               QStringLiteral("</interface>");
    }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        m_log.add(call);
        if (call.member() != QStringLiteral("ResolveDevice") || call.arguments().size() != 2) {
            bus.send(call.createErrorReply(QDBusError::UnknownMethod, call.member()));
            return true;
        }
        const auto wanted = qdbus_cast<QVariantMap>(call.arguments().at(0));
        QList<QDBusObjectPath> found;
        for (const ScriptedDevice& device : m_devices) {
            if (device.path == wanted.value(QStringLiteral("path")).toString()) {
                found << QDBusObjectPath(device.object);
            }
        }
        bus.send(call.createReply(QVariant::fromValue(found)));
        return true;
    }

private:
    const std::vector<ScriptedDevice>& m_devices;
    CallLog& m_log;
};

// One block device with Block, Filesystem (unless "nofs") and Properties.
class BlockObject : public QDBusVirtualObject {
public:
    BlockObject(ScriptedDevice& device, CallLog& log) : m_device(device), m_log(log) {}

    QString introspect(const QString&) const override {
        QString xml =
            QStringLiteral("<interface name=\"%1\">").arg(kBlock) +
            introspectMethod(QStringLiteral("Format"), argumentXml("type", "s", "in") +
                                                           argumentXml("options", "a{sv}", "in")) +
            QStringLiteral("<property name=\"Device\" type=\"ay\" access=\"read\"/>") +
            QStringLiteral("</interface>");
        if (m_device.hasFilesystem) {
            xml +=
                QStringLiteral("<interface name=\"%1\">").arg(kFilesystem) +
                introspectMethod(QStringLiteral("Unmount"), argumentXml("options", "a{sv}", "in")) +
                QStringLiteral(
                    "<property name=\"MountPoints\" type=\"aay\" "
                    "access=\"read\"/></interface>");
        }
        return xml;
    }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        m_log.add(call);
        const QString method = call.interface() + QLatin1Char('.') + call.member();
        if (call.interface() == kProperties) {
            bus.send(properties(call));
        } else if (method == kBlock + QStringLiteral(".Format")) {
            format(call, bus);
        } else if (method == kFilesystem + QStringLiteral(".Unmount") && m_device.hasFilesystem) {
            bus.send(unmount(call));
        } else {
            bus.send(call.createErrorReply(QDBusError::UnknownMethod, method));
        }
        return true;
    }

private:
    QVariantMap interfaceProperties(const QString& interface) const {
        if (interface == kBlock) {
            return {{QStringLiteral("Device"), m_device.path.toUtf8() + '\0'}};
        }
        QByteArrayList points;
        if (m_device.mounted) {
            points << QByteArrayLiteral("/media/CARD") + '\0';
        }
        return {{QStringLiteral("MountPoints"), QVariant::fromValue(points)}};
    }

    QDBusMessage properties(const QDBusMessage& call) const {
        const QVariantList arguments = call.arguments();
        const QString interface = arguments.value(0).toString();
        if (interface != kBlock && !(interface == kFilesystem && m_device.hasFilesystem)) {
            return call.createErrorReply(QDBusError::InvalidArgs,
                                         QStringLiteral("No such interface '%1'").arg(interface));
        }
        const QVariantMap all = interfaceProperties(interface);
        if (call.member() == QStringLiteral("GetAll")) {
            return call.createReply(all);
        }
        const QString name = arguments.value(1).toString();
        if (call.member() != QStringLiteral("Get") || !all.contains(name)) {
            return call.createErrorReply(QDBusError::InvalidArgs, name);
        }
        return call.createReply(QVariant::fromValue(QDBusVariant(all.value(name))));
    }

    QDBusMessage unmount(const QDBusMessage& call) {
        if (!m_device.mounted) {
            return call.createErrorReply(
                kError + QStringLiteral("NotMounted"),
                QStringLiteral("Device %1 is not mounted").arg(m_device.path));
        }
        if (m_device.unmountBusy) {
            return call.createErrorReply(
                kError + QStringLiteral("DeviceBusy"),
                QStringLiteral("Error unmounting %1: target is busy").arg(m_device.path));
        }
        m_device.mounted = false;
        return call.createReply();
    }

    void format(const QDBusMessage& call, const QDBusConnection& bus) {
        QDBusMessage reply = call.createReply();
        const QString& outcome = m_device.outcome;
        if (m_device.mounted) {
            reply = call.createErrorReply(
                kError + QStringLiteral("DeviceBusy"),
                QStringLiteral("Error formatting: %1 is mounted").arg(m_device.path));
        } else if (outcome == QStringLiteral("not-authorized")) {
            reply = call.createErrorReply(kError + QStringLiteral("NotAuthorizedCanObtain"),
                                          QStringLiteral("Not authorized to perform operation"));
        } else if (outcome == QStringLiteral("dismissed")) {
            reply = call.createErrorReply(kError + QStringLiteral("NotAuthorizedDismissed"),
                                          QStringLiteral("The authentication dialog was closed"));
        } else if (outcome == QStringLiteral("cancelled")) {
            reply = call.createErrorReply(kError + QStringLiteral("Cancelled"),
                                          QStringLiteral("The operation was cancelled"));
        } else if (outcome == QStringLiteral("fail")) {
            reply = call.createErrorReply(kError + QStringLiteral("Failed"), m_device.message);
        }
        QTimer::singleShot(m_device.delayMs, [bus, reply] { bus.send(reply); });
    }

    ScriptedDevice& m_device;
    CallLog& m_log;
};

bool parseDevice(const QString& text, ScriptedDevice& device) {
    const qsizetype messageAt = text.indexOf(QStringLiteral(",message="));
    if (messageAt >= 0) {
        device.message = text.mid(messageAt + 9);
    }
    const QStringList words = text.left(messageAt).split(QLatin1Char(','));
    device.path = words.value(0);
    if (!device.path.startsWith(QLatin1Char('/'))) {
        return false;
    }
    QString name = device.path.section(QLatin1Char('/'), -1);
    for (QChar& c : name) {
        c = c.isLetterOrNumber() && c.unicode() < 128 ? c : QLatin1Char('_');
    }
    device.object = kBlockPrefix + name;
    const QStringList outcomes{QStringLiteral("ok"), QStringLiteral("not-authorized"),
                               QStringLiteral("dismissed"), QStringLiteral("cancelled"),
                               QStringLiteral("fail")};
    for (const QString& word : words.mid(1)) {
        bool ok = true;
        if (word == QStringLiteral("mounted")) {
            device.mounted = true;
        } else if (word == QStringLiteral("nofs")) {
            device.hasFilesystem = false;
        } else if (word == QStringLiteral("unmount-busy")) {
            device.unmountBusy = true;
        } else if (outcomes.contains(word)) {
            device.outcome = word;
        } else if (word.startsWith(QStringLiteral("delay="))) {
            device.delayMs = word.mid(6).toInt(&ok);
        } else {
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

int usage(const char* why) {
    std::fprintf(stderr,
                 "fake_udisks2: %s\nusage: fake_udisks2 --log FILE "
                 "[--device PATH[,mounted][,nofs][,unmount-busy][,OUTCOME][,delay=MS]"
                 "[,message=TEXT]]...\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QByteArrayList>();
    QString logName;
    std::vector<ScriptedDevice> devices;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (i + 1 >= arguments.size()) {
            return usage("an option without its value");
        }
        const QString& value = arguments.at(++i);
        if (arguments.at(i - 1) == QStringLiteral("--log")) {
            logName = value;
        } else if (arguments.at(i - 1) == QStringLiteral("--device")) {
            devices.emplace_back();
            if (!parseDevice(value, devices.back())) {
                return usage("a device that cannot be read");
            }
        } else {
            return usage("an unknown option");
        }
    }
    if (logName.isEmpty()) {
        return usage("no log file");
    }
    CallLog log(logName);
    if (!log.open()) {
        return usage("the log file cannot be written");
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return usage("no bus at DBUS_SESSION_BUS_ADDRESS");
    }
    // The bus going away ends the service.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), &app,
                SLOT(quit()));
    ManagerObject manager(devices, log);
    std::vector<std::unique_ptr<BlockObject>> blocks;
    bool registered = bus.registerVirtualObject(kManagerPath, &manager);
    for (ScriptedDevice& device : devices) {
        blocks.push_back(std::make_unique<BlockObject>(device, log));
        registered = registered && bus.registerVirtualObject(device.object, blocks.back().get());
    }
    // The name comes last: whoever sees it may call at once.
    if (!registered || !bus.registerService(kService)) {
        return usage("the objects or the name cannot be registered");
    }
    return QCoreApplication::exec();
}

// The card formatter against the project's fake udisks2 (fake_udisks2.cpp) on a private
// dbus-daemon: the calls it makes, in which order, and what it reports. The machine it checks
// for the system disk is a fake sysfs, so no test can reach a real disk.
#include "platform/card_formatter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <functional>

#include "platform/drive_discovery.h"
#include "platform/fake_system.h"

namespace qelv::platform {
namespace {

namespace fs = std::filesystem;
using Status = FormatResult::Status;

constexpr int kWaitMs = 20000;  // CI shares two cores with other builds

// Children end with the test program even when it crashes: no daemon is left behind.
void endWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void stop(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kWaitMs);
    }
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

// The machine: sda an internal disk, sdb a card reader with one partition, sdc a card without
// partitions, sdd a USB stick with LVM on LUKS (dm-1 over dm-0 over sdd2), sde a second
// internal disk. Which of them holds "/" each test says through the mount table.
class CardFormatterTest : public ::testing::Test, public FakeSystem {
protected:
    void SetUp() override {
        disk("sda", false, {"sda1", "sda2"});
        disk("sdb", true, {"sdb1"}, "pci0000:00/usb1/1-1");
        disk("sdc", true, {}, "pci0000:00/usb1/1-2");
        disk("sdd", true, {"sdd1", "sdd2"}, "pci0000:00/usb1/1-3");
        disk("sde", false, {"sde1"});
        layer("dm-0", {"sdd2"});
        layer("dm-1", {"dm-0"});
        alias("mapper/vg-root", "dm-1");
        rootOn("sda2");
        startBus();
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(m_busName);
        stop(m_service);
        stop(m_daemon);
    }

    void rootOn(const std::string& node, const std::string& number = {}) {
        mounts(mountLine(1, node, "/", "ext4", number) +
               mountLine(2, "sdb1", mountPoint("CARD").string(), "vfat"));
    }

    void startBus() {
        const std::string config =
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=" +
            dir.path().string() +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n";
        const fs::path file = dir.write("bus.conf", config);
        endWithParent(m_daemon);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + QString::fromStdString(file.string()),
                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--nopidfile")});
        ASSERT_TRUE(m_daemon.waitForStarted(kWaitMs)) << "dbus-daemon does not start";
        QElapsedTimer clock;
        clock.start();
        while (!m_daemon.canReadLine() && clock.elapsed() < kWaitMs) {
            m_daemon.waitForReadyRead(100);
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        ASSERT_FALSE(m_address.isEmpty()) << m_daemon.readAllStandardError().toStdString();
        static std::atomic<int> count = 0;
        m_busName = QStringLiteral("qelv-format-test-%1").arg(++count);
        m_bus =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_busName));
        ASSERT_TRUE(m_bus->isConnected()) << m_bus->lastError().message().toStdString();
    }

    // Starts the fake udisks2 knowing `devices` (see fake_udisks2.cpp) and waits for its name.
    void startService(const QStringList& devices) {
        QStringList arguments{QStringLiteral("--log"), logFile()};
        for (const QString& device : devices) {
            arguments << QStringLiteral("--device") << device;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_service.setProcessEnvironment(environment);
        m_service.setProcessChannelMode(QProcess::ForwardedChannels);
        endWithParent(m_service);
        m_service.start(QStringLiteral(QELV_FAKE_UDISKS2), arguments);
        ASSERT_TRUE(m_service.waitForStarted(kWaitMs));
        QElapsedTimer clock;
        clock.start();
        while (
            !m_bus->interface()->isServiceRegistered(QStringLiteral("org.freedesktop.UDisks2"))) {
            ASSERT_EQ(m_service.state(), QProcess::Running) << "the fake udisks2 ended early";
            ASSERT_LT(clock.elapsed(), kWaitMs) << "the fake udisks2 never took its name";
            QTest::qWait(50);
        }
    }

    QString logFile() const { return QString::fromStdString((dir.path() / "calls.log").string()); }
    std::vector<std::string> calls() const {
        return lines(test::readFile(dir.path() / "calls.log"));
    }
    // The method of each call, in order.
    std::vector<std::string> methods() const {
        std::vector<std::string> out;
        for (const std::string& line : calls()) {
            out.push_back(line.substr(0, line.find(' ')));
        }
        return out;
    }

    struct Run {
        FormatResult result;
        QStringList steps;
    };
    // One run to its end; checks that `finished` comes once and never from inside start().
    Run run(CardFormatter& formatter, const QString& device) {
        QSignalSpy finished(&formatter, &CardFormatter::finished);
        QSignalSpy steps(&formatter, &CardFormatter::stepChanged);
        EXPECT_TRUE(formatter.start(device));
        EXPECT_TRUE(formatter.running());
        EXPECT_EQ(finished.count(), 0) << "finished from inside start()";
        EXPECT_TRUE(finished.wait(kWaitMs)) << device.toStdString();
        QTest::qWait(100);  // room for a second, wrong signal
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(formatter.running());
        Run out;
        if (!finished.isEmpty()) {
            out.result = finished.at(0).at(0).value<FormatResult>();
        }
        for (const auto& step : steps) {
            out.steps << step.at(0).toString();
        }
        return out;
    }

    QProcess m_daemon;
    QProcess m_service;
    QString m_address;
    QString m_busName;
    std::unique_ptr<QDBusConnection> m_bus;
};

struct OutcomeCase {
    const char* name;
    const char* script;  // how the fake knows and answers the device
    const char* device;  // what the formatter is asked to format
    Status status;
    const char* message;  // a part of the message
    std::vector<std::string> methods;
};

const OutcomeCase kOutcomes[] = {
    {"mounted partition",
     "/dev/sdb1,mounted",
     "/dev/sdb1",
     Status::Formatted,
     "/dev/sdb1",
     {"ResolveDevice", "Get", "Unmount", "Format"}},
    {"partition not mounted",
     "/dev/sdb1",
     "/dev/sdb1",
     Status::Formatted,
     "/dev/sdb1",
     {"ResolveDevice", "Get", "Format"}},
    {"card without partitions or file system",
     "/dev/sdc,nofs",
     "/dev/sdc",
     Status::Formatted,
     "/dev/sdc",
     {"ResolveDevice", "Get", "Format"}},
    {"not authorised",
     "/dev/sdb1,mounted,not-authorized",
     "/dev/sdb1",
     Status::NotAuthorized,
     "Not authorized to perform operation",
     {"ResolveDevice", "Get", "Unmount", "Format"}},
    {"password prompt dismissed",
     "/dev/sdb1,dismissed",
     "/dev/sdb1",
     Status::Cancelled,
     "The authentication dialog was closed",
     {"ResolveDevice", "Get", "Format"}},
    {"job cancelled",
     "/dev/sdb1,cancelled",
     "/dev/sdb1",
     Status::Cancelled,
     "The operation was cancelled",
     {"ResolveDevice", "Get", "Format"}},
    {"mkfs failed",
     "/dev/sdb1,mounted,fail,message=Error creating file system: mkfs, exit 1",
     "/dev/sdb1",
     Status::Failed,
     "Error creating file system: mkfs, exit 1",
     {"ResolveDevice", "Get", "Unmount", "Format"}},
    // A card still in use is not formatted from under its user.
    {"unmount refused",
     "/dev/sdb1,mounted,unmount-busy",
     "/dev/sdb1",
     Status::Failed,
     "target is busy",
     {"ResolveDevice", "Get", "Unmount"}},
    {"device unknown to udisks2",
     "/dev/sdc",
     "/dev/sdb1",
     Status::Failed,
     "/dev/sdb1",
     {"ResolveDevice"}},
};

TEST_F(CardFormatterTest, ReportsWhatUdisksAnswered) {
    for (const OutcomeCase& c : kOutcomes) {
        SCOPED_TRACE(c.name);
        stop(m_service);
        fs::remove(dir.path() / "calls.log");
        startService({QString::fromLatin1(c.script)});
        CardFormatter formatter(*m_bus, paths);
        const Run result = run(formatter, QString::fromLatin1(c.device));
        EXPECT_EQ(result.result.status, c.status);
        EXPECT_TRUE(result.result.message.contains(QString::fromLatin1(c.message)))
            << result.result.message.toStdString();
        EXPECT_EQ(methods(), c.methods);
    }
}

TEST_F(CardFormatterTest, FormatsAMountedCardAsFat32AfterUnmountingIt) {
    startService({QStringLiteral("/dev/sdb1,mounted")});
    CardFormatter formatter(*m_bus, paths);
    const Run result = run(formatter, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(result.result.status, Status::Formatted);
    EXPECT_EQ(result.steps, (QStringList{QStringLiteral("Unmounting /dev/sdb1..."),
                                         QStringLiteral("Formatting /dev/sdb1 (FAT32)...")}));
    const std::string object = "/org/freedesktop/UDisks2/block_devices/sdb1";
    EXPECT_EQ(calls(),
              (std::vector<std::string>{
                  "ResolveDevice /org/freedesktop/UDisks2/Manager {path=/dev/sdb1} {}",
                  "Get " + object + " org.freedesktop.UDisks2.Filesystem MountPoints",
                  "Unmount " + object + " {}",
                  "Format " + object +
                      " vfat {auth.no_user_interaction=false, update-partition-type=true}"}));
}

TEST_F(CardFormatterTest, WithoutUdisksTheRunFails) {
    CardFormatter formatter(*m_bus, paths);
    const Run result = run(formatter, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(result.result.status, Status::Failed);
    EXPECT_TRUE(result.result.message.contains(QStringLiteral("udisks2 is not running")))
        << result.result.message.toStdString();
}

// While a slow card is being written, a second start changes nothing; the first run still
// ends once, with its own result.
TEST_F(CardFormatterTest, ASecondStartWhileRunningIsRefused) {
    startService({QStringLiteral("/dev/sdb1,delay=3000"), QStringLiteral("/dev/sdc")});
    CardFormatter formatter(*m_bus, paths);
    QSignalSpy finished(&formatter, &CardFormatter::finished);
    QSignalSpy steps(&formatter, &CardFormatter::stepChanged);
    ASSERT_TRUE(formatter.start(QStringLiteral("/dev/sdb1")));
    ASSERT_TRUE(steps.wait(kWaitMs));  // "Formatting ...": the call is with the service
    EXPECT_FALSE(formatter.start(QStringLiteral("/dev/sdc")));
    EXPECT_TRUE(formatter.running());
    EXPECT_TRUE(finished.wait(kWaitMs));
    QTest::qWait(100);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).value<FormatResult>().status, Status::Formatted);
    EXPECT_EQ(methods(), (std::vector<std::string>{"ResolveDevice", "Get", "Format"}));
    // Once it has ended, the next run goes.
    EXPECT_EQ(run(formatter, QStringLiteral("/dev/sdc")).result.status, Status::Formatted);
}

// A card that becomes the system's disk while it is being unmounted (a swap that reuses the
// name while polkit asks the user) is not formatted: the check is made again just before.
TEST_F(CardFormatterTest, TheLastCheckIsMadeJustBeforeTheFormat) {
    startService({QStringLiteral("/dev/sdb1,mounted")});
    CardFormatter formatter(*m_bus, paths);
    QObject::connect(&formatter, &CardFormatter::stepChanged, [this](const QString& step) {
        if (step.startsWith(QStringLiteral("Unmounting"))) {
            rootOn("sdb1");
        }
    });
    const Run result = run(formatter, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(result.result.status, Status::Refused);
    EXPECT_TRUE(result.result.message.contains(QStringLiteral("running system")))
        << result.result.message.toStdString();
    EXPECT_EQ(methods(), (std::vector<std::string>{"ResolveDevice", "Get", "Unmount"}));
}

// The disk that holds "/", however it is reached, and anything that is no card, is refused
// before a single call: the service (which would format all of them) hears nothing.
TEST_F(CardFormatterTest, RefusesTheSystemDiskAndWhatIsNoCardWithoutACall) {
    struct Case {
        const char* root;  // the device of "/"
        const char* device;
        const char* why;
    };
    const Case cases[] = {
        {"sda2", "/dev/sda2", "running system"},
        {"sda2", "/dev/sda1", "running system"},
        {"sda2", "/dev/sda", "running system"},
        {"mapper/vg-root", "/dev/sdd1", "running system"},  // removable, but under "/"
        {"mapper/vg-root", "/dev/sdd", "running system"},
        {"mapper/vg-root", "/dev/mapper/vg-root", "running system"},
        {"mapper/vg-root", "/dev/dm-0", "running system"},
        {"sda2", "/dev/sde1", "fixed disk"},
        {"sda2", "/dev/sdz1", "not a disk"},
        {"sda2", "/dev/../sdb1", "not a disk"},
        {"sda2", "relative/sdb1", "not a disk"},
    };
    QStringList known;
    for (const char* device :
         {"/dev/sda", "/dev/sda1", "/dev/sda2", "/dev/sdd", "/dev/sdd1", "/dev/dm-0",
          "/dev/mapper/vg-root", "/dev/sde1", "/dev/sdz1", "/dev/../sdb1"}) {
        known << QString::fromLatin1(device);
    }
    startService(known);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " with / on " + c.root);
        rootOn(c.root, std::string(c.root) == "mapper/vg-root" ? numberOf("dm-1") : std::string());
        CardFormatter formatter(*m_bus, paths);
        const Run result = run(formatter, QString::fromLatin1(c.device));
        EXPECT_EQ(result.result.status, Status::Refused);
        EXPECT_TRUE(result.result.message.contains(QString::fromLatin1(c.device)));
        EXPECT_TRUE(result.result.message.contains(QString::fromLatin1(c.why)))
            << result.result.message.toStdString();
        EXPECT_TRUE(result.steps.isEmpty());
    }
    // Without a mount table nothing says where "/" is: refused too.
    paths.mountInfo = dir.path() / "no-mountinfo";
    CardFormatter formatter(*m_bus, paths);
    EXPECT_EQ(run(formatter, QStringLiteral("/dev/sdb1")).result.status, Status::Refused);
    EXPECT_EQ(calls(), std::vector<std::string>{});
}

// A disk the system uses in any way is neither listed nor formatted, whatever bus it is on:
// each machine has a card-like disk (the USB disk sdb, or the board's eMMC) in use beside a
// real card (sdc1, under the removable-media folder), which alone is listed.
struct UsedDiskCase {
    const char* name;
    std::vector<const char*> refused;  // asked of the formatter, refused before any call
    const char* why;                   // a part of each refusal
    std::function<std::string(FakeSystem&)> build;  // layers; mount lines besides the card's
};

std::string rootOnSda2(FakeSystem& m) {
    return m.mountLine(1, "sda2", "/", "ext4");
}
std::string emmc(FakeSystem& m) {
    m.disk("mmcblk0", false, {"mmcblk0p1", "mmcblk0p2"}, "platform/mmc0/mmc_host/mmc0/mmc0:1");
    m.mmcType("mmcblk0", "MMC");
    return rootOnSda2(m);
}

const UsedDiskCase kUsedDisks[] = {
    {"EFI partition of a USB disk",
     {"/dev/sdb1", "/dev/sdb"},
     "/boot/efi is mounted",
     [](FakeSystem& m) { return rootOnSda2(m) + m.mountLine(2, "sdb1", "/boot/efi", "vfat"); }},
    {"/home on exFAT over USB",
     {"/dev/sdb1", "/dev/sdb"},
     "/home is mounted",
     [](FakeSystem& m) { return rootOnSda2(m) + m.mountLine(2, "sdb1", "/home", "exfat"); }},
    {"eMMC holding EFI and /home",
     {"/dev/mmcblk0p1", "/dev/mmcblk0"},
     "/boot/efi is mounted",
     [](FakeSystem& m) {
         return emmc(m) + m.mountLine(2, "mmcblk0p1", "/boot/efi", "vfat") +
                m.mountLine(3, "mmcblk0p2", "/home", "ext4");
     }},
    {"eMMC with FAT under the media folder",
     {"/dev/mmcblk0p1"},
     "fixed disk",
     [](FakeSystem& m) {
         return emmc(m) + m.mountLine(2, "mmcblk0p1", m.mountPoint("EMMC").string(), "vfat");
     }},
    {"live system",
     {"/dev/sdb1", "/dev/sdb"},
     "/run/live/medium is mounted",
     [](FakeSystem& m) {
         m.loop("loop0", "/run/live/medium/live/filesystem.squashfs");
         return "1 0 0:30 / / rw - overlay overlay rw\n" +
                m.mountLine(2, "sdb1", "/run/live/medium", "vfat") +
                m.mountLine(3, "loop0", "/run/live/rootfs/filesystem.squashfs", "squashfs");
     }},
    {"/ on a loop image on FAT under the media folder",
     {"/dev/sdb1", "/dev/sdb"},
     "the image behind loop0",
     [](FakeSystem& m) {
         const fs::path usb = m.mountPoint("USB");
         m.loop("loop0", (usb / "root.img").string());
         return m.mountLine(1, "loop0", "/", "ext4") + m.mountLine(2, "sdb1", usb, "vfat");
     }},
    {"ZFS root without a device node, EFI over USB",
     {"/dev/sdb1", "/dev/sdb"},
     "/boot/efi",
     [](FakeSystem& m) {
         return "1 0 0:40 / / rw - zfs rpool/ROOT/debian rw\n" +
                m.mountLine(2, "sdb1", "/boot/efi", "vfat");
     }},
    // The mount table names only one of a btrfs file system's devices.
    {"second device of a btrfs /",
     {"/dev/sdb1", "/dev/sdb"},
     "/ is mounted",
     [](FakeSystem& m) {
         m.btrfs("0b1e6a4c-8f0e-4c52-9d1e-2f6b1d3c4a5e", {"sda2", "sdb1"});
         return m.mountLine(1, "sda2", "/", "btrfs", "0:31");
     }},
    {"second device of a bcachefs /home",
     {"/dev/sdb1", "/dev/sdb"},
     "/home is mounted",
     [](FakeSystem& m) {
         const std::string dev = m.paths.devices.string();
         return rootOnSda2(m) +
                m.mountLine(2, dev + "/sdb1:" + dev + "/sda1", "/home", "bcachefs", "0:32");
     }},
    {"FAT beside /home",
     {"/dev/sdb1", "/dev/sdb"},
     "/home is mounted",
     [](FakeSystem& m) {
         return rootOnSda2(m) + m.mountLine(2, "sdb1", m.mountPoint("USB"), "vfat") +
                m.mountLine(3, "sdb2", "/home", "ext4");
     }},
    {"FAT beside /home on LVM",
     {"/dev/sdb1", "/dev/sdb"},
     "/home is mounted",
     [](FakeSystem& m) {
         m.layer("dm-0", {"sdb2"});
         m.alias("mapper/vg-home", "dm-0");
         return rootOnSda2(m) + m.mountLine(2, "sdb1", m.mountPoint("USB"), "vfat") +
                m.mountLine(3, "mapper/vg-home", "/home", "ext4", m.numberOf("dm-0"));
     }},
    {"FAT beside active swap",
     {"/dev/sdb1", "/dev/sdb"},
     "active swap",
     [](FakeSystem& m) {
         m.swaps({"/dev/sdb2"});
         return rootOnSda2(m) + m.mountLine(2, "sdb1", m.mountPoint("USB"), "vfat");
     }},
    {"FAT beside a swap file",
     {"/dev/sdb1", "/dev/sdb"},
     "active swap",
     [](FakeSystem& m) {
         const fs::path data = m.mountPoint("DATA");
         m.swaps({(data / "swap\\040file").string()});
         return rootOnSda2(m) + m.mountLine(2, "sdb1", m.mountPoint("USB"), "vfat") +
                m.mountLine(3, "sdb2", data, "ext4");
     }},
    {"FAT beside an opened LUKS container",
     {"/dev/sdb1", "/dev/sdb"},
     "dm-0 is built on it",
     [](FakeSystem& m) {
         m.layer("dm-0", {"sdb2"});
         return rootOnSda2(m) + m.mountLine(2, "sdb1", m.mountPoint("USB"), "vfat");
     }},
};

TEST_F(CardFormatterTest, ADiskTheSystemUsesIsNeitherListedNorFormatted) {
    QStringList known;
    for (const UsedDiskCase& c : kUsedDisks) {
        for (const char* device : c.refused) {
            known << QString::fromLatin1(device);
        }
    }
    known.removeDuplicates();
    startService(known);
    for (const UsedDiskCase& c : kUsedDisks) {
        SCOPED_TRACE(c.name);
        FakeSystem machine;
        machine.disk("sda", false, {"sda1", "sda2"});
        machine.disk("sdb", true, {"sdb1", "sdb2"}, "pci0000:00/usb1/1-1");
        machine.disk("sdc", true, {"sdc1"}, "pci0000:00/usb1/1-2");
        const fs::path card = machine.mountPoint("CARD");
        machine.mounts(c.build(machine) + machine.mountLine(9, "sdc1", card, "vfat"));
        EXPECT_EQ(machine.labels(discoverDrives(machine.paths, "Folder")),
                  (std::vector<std::string>{card.string() + "/", "Folder"}));
        for (const char* device : c.refused) {
            CardFormatter formatter(*m_bus, machine.paths);
            const FormatResult result = run(formatter, QString::fromLatin1(device)).result;
            EXPECT_EQ(result.status, Status::Refused) << device;
            EXPECT_TRUE(result.message.contains(QString::fromLatin1(c.why)))
                << result.message.toStdString();
        }
    }
    EXPECT_EQ(calls(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qelv::platform

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

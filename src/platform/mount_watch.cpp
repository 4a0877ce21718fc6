#include "platform/mount_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <array>

namespace qelv::platform {

namespace {

constexpr int kDiskPeriodMs = 2000;
constexpr int kBurstMs = 300;
constexpr std::size_t kMaxTableBytes = 16u << 20;  // far more than any machine's mount table

}  // namespace

MountWatch::MountWatch(const SystemPaths& paths, QObject* parent)
    : QObject(parent), m_paths(paths), m_disks(disks()) {
    // Not blocking: a pipe in the table's place must not wait for a writer. Only a regular file
    // (the kernel's tables are) is watched; /dev/zero would be read to no end.
    m_fd = ::open(paths.mountInfo.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0) {
        // The kernel reports a changed mount table as an exceptional condition (POLLPRI).
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &MountWatch::mountTableMarked);
        mountTableMarked();  // reading to the end arms the mark
        m_burst.stop();
    }
    m_burst.setSingleShot(true);
    m_burst.setInterval(kBurstMs);
    connect(&m_burst, &QTimer::timeout, this, &MountWatch::changed);
    m_diskTimer.setInterval(kDiskPeriodMs);
    connect(&m_diskTimer, &QTimer::timeout, this, &MountWatch::lookAtDisks);
    m_diskTimer.start();
}

MountWatch::~MountWatch() {
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void MountWatch::mountTableMarked() {
    // The mark stays until the table is read again from the start.
    std::array<char, 4096> buffer{};
    ::lseek(m_fd, 0, SEEK_SET);
    for (std::size_t total = 0; total < kMaxTableBytes;) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    m_burst.start();
}

void MountWatch::lookAtDisks() {
    QStringList now = disks();
    if (now != m_disks) {
        m_disks = std::move(now);
        m_burst.start();
    }
}

QStringList MountWatch::disks() const {
    return QDir(QString::fromStdString((m_paths.sysfs / "block").string()))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

}  // namespace qelv::platform

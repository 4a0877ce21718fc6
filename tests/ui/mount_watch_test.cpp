// The watch that tells the storage dialog of cards coming and going: a file system mounted or
// unmounted, and a disk appearing in or leaving the block devices.
#include "platform/mount_watch.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QSignalSpy>

#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

// Waits until `spy` has more than `before` signals; then lets a burst settle.
bool changedAfter(QSignalSpy& spy, qsizetype before) {
    const bool seen = waitFor([&] { return spy.size() > before; }, 15000);
    waitFor([] { return false; }, 500);
    return seen;
}

TEST(MountWatch, ADiskComingAndGoing) {
    const TempDir sys;
    std::filesystem::create_directories(sys.path() / "block" / "sda");
    platform::SystemPaths paths;
    paths.sysfs = sys.path();
    paths.mountInfo = sys.path() / "no-mountinfo";
    platform::MountWatch watch(paths);
    EXPECT_FALSE(watch.watchesMountTable());
    QSignalSpy spy(&watch, &platform::MountWatch::changed);
    waitFor([] { return false; }, 2500);
    EXPECT_EQ(spy.size(), 0);  // nothing changed, nothing said

    std::filesystem::create_directories(sys.path() / "block" / "sdb");
    ASSERT_TRUE(changedAfter(spy, 0));
    EXPECT_EQ(spy.size(), 1);
    std::filesystem::remove(sys.path() / "block" / "sdb");
    EXPECT_TRUE(changedAfter(spy, 1));
}

// A mount table that is no regular file is not watched: opening a pipe would wait for a writer
// and /dev/zero would be read without end, either holding up the viewer's start.
TEST(MountWatch, AMountTableThatIsNoFileIsNotWatched) {
    const TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    for (const std::filesystem::path& table : {dir.path() / "fifo", dir.path(), {"/dev/zero"}}) {
        platform::SystemPaths paths;
        paths.sysfs = dir.path();
        paths.mountInfo = table;
        EXPECT_FALSE(platform::MountWatch(paths).watchesMountTable()) << table;
    }
}

TEST(MountWatch, AFileSystemMountedAndUnmounted) {
    const TempDir dir;
    const auto point = dir.path() / "card";
    std::filesystem::create_directories(point);
    platform::MountWatch watch(platform::SystemPaths{});
    ASSERT_TRUE(watch.watchesMountTable());
    QSignalSpy spy(&watch, &platform::MountWatch::changed);
    if (::mount("none", point.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "this user may not mount a file system: " << std::strerror(errno);
    }
    const bool mounted = changedAfter(spy, 0);
    const qsizetype seen = spy.size();
    ::umount(point.c_str());
    EXPECT_TRUE(mounted);
    EXPECT_TRUE(changedAfter(spy, seen));
}

}  // namespace
}  // namespace qelv::test

#include "config/ini_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using test::readFile;
using test::TempDir;

class IniStoreTest : public ::testing::Test {
protected:
    IniStoreTest() : store(diag) {
        store.registerKey("Resolution", 1, 3);
        store.registerKey("Volume", 3, 5);
        store.registerKey("TimeZone", 9, 24);
    }
    std::string currentOf(std::string_view key) const {
        return store.items()[*store.find(key)].currentValue;
    }

    TempDir dir;
    std::ostringstream diag;
    IniStore store;
};

TEST_F(IniStoreTest, LineShapesSetTheSameValues) {
    struct Case {
        const char* line;
        const char* volume;
    };
    const Case cases[] = {
        {"Volume=4", "4"},  {"Volume = 4", "4"},     {"  Volume\t=\t4  \r\n", "4"},
        {"Volume==4", "4"}, {"Volume 4 extra", "4"}, {"Volume=4=5", "4"},
        {"Volume", "3"},    {"Volume=", "3"},        {"", "3"},
        {"volume=4", "3"},  {"=Volume=4", "4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        IniStore fresh(diag);
        fresh.registerKey("Volume", 3, 5);
        fresh.parseLine(c.line);
        EXPECT_EQ(fresh.items()[0].loadedValue, c.volume);
    }
}

TEST_F(IniStoreTest, LoadAppliesFileAndDefaults) {
    const auto path = dir.write("setup.ini", "Volume=2\r\nUnknown=7\r\nVolume=5\r\n\r\n");
    ASSERT_TRUE(store.load(path));
    EXPECT_EQ(store.getInt("Volume"), 5);      // the later line wins
    EXPECT_EQ(store.getInt("Resolution"), 1);  // absent: registered default
    EXPECT_EQ(store.getInt("TimeZone"), 9);
    EXPECT_FALSE(store.getInt("Unknown"));
    EXPECT_EQ(diag.str(), "INI ITEM <Unknown> is not registered! Ignore it.\n");
}

// CR, LF and CR LF (and a mix) each end a line: no setting is lost to the line before it.
// Every kind of line end, and a byte-order mark before the first key.
TEST_F(IniStoreTest, EveryKindOfLineEndEndsALine) {
    for (const std::string e : {"\r", "\n", "\r\n", "\n\r"}) {
        SCOPED_TRACE(testing::PrintToString(e));
        IniStore fresh(diag);
        fresh.registerKey("Resolution", 1, 3);
        fresh.registerKey("Volume", 3, 5);
        const std::string mark = e == "\r\n" ? "\xEF\xBB\xBF" : "";
        ASSERT_TRUE(
            fresh.load(dir.write("setup.ini", mark + "Resolution=2" + e + e + "Volume=4" + e)));
        EXPECT_EQ(fresh.getInt("Resolution"), 2);
        EXPECT_EQ(fresh.getInt("Volume"), 4);
    }
}

TEST_F(IniStoreTest, FailedLoadLeavesValuesEmpty) {
    EXPECT_FALSE(store.load(dir.path() / "missing.ini"));
    EXPECT_FALSE(store.load(dir.path()));  // a folder is not a settings file
    EXPECT_FALSE(store.load(dir.write("big.ini", "Volume=4\r\n"), 9));  // over the limit
    EXPECT_EQ(store.getInt("Volume"), 0);
    const auto path = dir.path() / "setup.ini";
    ASSERT_TRUE(store.write(path));
    EXPECT_EQ(readFile(path), "Resolution=\r\nVolume=\r\nTimeZone=\r\n");
}

TEST_F(IniStoreTest, WriteUsesRegistrationOrderAndCrLf) {
    const auto path = dir.write("setup.ini", "TimeZone=3\nVolume=1\n");
    ASSERT_TRUE(store.load(path));
    ASSERT_TRUE(store.setInt(*store.find("Resolution"), -2));
    ASSERT_TRUE(store.write(path));
    EXPECT_EQ(readFile(path), "Resolution=-2\r\nVolume=1\r\nTimeZone=3\r\n");
    EXPECT_EQ(diag.str(), "Resolution=-2\nVolume=1\nTimeZone=3\n");
    // Nothing but the settings file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(IniStoreTest, RegistrationIgnoresEmptyAndRepeatedKeys) {
    store.registerKey("Volume", 8, 9);
    store.registerKey("", 1, 1);
    ASSERT_EQ(store.items().size(), 3u);
    EXPECT_EQ(store.items()[1].loadedValue, "3");
    EXPECT_EQ(store.items()[1].upper, 5);
    EXPECT_EQ(currentOf("Volume"), "");  // empty until a load
}

TEST_F(IniStoreTest, SettersCheckTheirArguments) {
    EXPECT_FALSE(store.setInt(3, 1));
    EXPECT_FALSE(store.remove(3));
    EXPECT_TRUE(store.setString(0, "720P"));
    EXPECT_EQ(store.getInt("Resolution"), 720);
    for (const char* bad : {"a b", "a=b", "a\r\nEvil=1", "tab\t"}) {
        EXPECT_FALSE(store.setString(0, bad)) << bad;
    }
    EXPECT_EQ(currentOf("Resolution"), "720P");
    EXPECT_TRUE(store.setString(0, "not-a-number"));
    EXPECT_EQ(store.getInt("Resolution"), 0);
    ASSERT_TRUE(store.remove(1));
    EXPECT_FALSE(store.find("Volume"));
    EXPECT_EQ(store.find("TimeZone"), 1u);
}

TEST_F(IniStoreTest, FailedWriteKeepsTheOldFile) {
    const std::string original = "Resolution=2\r\nVolume=4\r\nTimeZone=9\r\n";
    const auto path = dir.write("setup.ini", original);
    ASSERT_TRUE(store.load(path));
    store.setInt(0, 1);

    // A full card: the file-size limit makes every write past 8 bytes fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = store.write(path);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(IniStoreTest, WriteFailsWhereNoFileCanBe) {
    EXPECT_FALSE(store.write(dir.path() / "missing" / "setup.ini"));
    std::filesystem::create_directory(dir.path() / "setup.ini");
    EXPECT_FALSE(store.write(dir.path() / "setup.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "setup.ini"));
}

TEST_F(IniStoreTest, WriteKeepsThePermissions) {
    const auto path = dir.write("setup.ini", "Volume=1\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(store.write(path));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// Entries of a folder, to see that no temporary file is left behind.
std::size_t entriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST_F(IniStoreTest, ReadOnlySettingsFileIsLeftAlone) {
    // No write bit for anyone: read-only to the viewer, also when it runs as root (which
    // the file system would let write).
    const std::string original = "Resolution=2\r\nVolume=4\r\nTimeZone=9\r\n";
    for (const mode_t mode : {0444, 0400, 0000}) {
        SCOPED_TRACE(mode);
        const auto path = dir.write("setup.ini", original);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(store.setInt(0, 1));
        EXPECT_FALSE(store.write(path));
        EXPECT_EQ(readFile(path), original);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, mode);
        EXPECT_EQ(entriesIn(dir.path()), 1u);
        chmod(path.c_str(), 0644);
    }
}

TEST_F(IniStoreTest, WriteGoesThroughLinksToTheirTarget) {
    namespace fs = std::filesystem;
    const std::string written = "Resolution=\r\nVolume=\r\nTimeZone=\r\n";
    struct Case {
        const char* what;
        fs::path target;                                   // the file the link finally names
        std::vector<std::pair<fs::path, fs::path>> links;  // (link, what it points at)
        bool targetExists;
    };
    const fs::path card = dir.path() / "card";
    const fs::path store2 = dir.path() / "store";
    const Case cases[] = {
        {"absolute link", store2 / "a.ini", {{card / "setup.ini", store2 / "a.ini"}}, true},
        {"relative chain",
         store2 / "b.ini",
         {{card / "setup.ini", "hop.ini"}, {card / "hop.ini", "../store/b.ini"}},
         true},
        {"dangling link", store2 / "c.ini", {{card / "setup.ini", store2 / "c.ini"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(card);
        fs::remove_all(store2);
        fs::create_directories(card);
        fs::create_directories(store2);
        if (c.targetExists) {
            dir.write(fs::relative(c.target, dir.path()).string(), "Volume=1\r\n");
        }
        for (const auto& [link, pointsAt] : c.links) {
            fs::create_symlink(pointsAt, link);
        }
        ASSERT_TRUE(store.write(card / "setup.ini"));
        ASSERT_TRUE(fs::is_symlink(card / "setup.ini"));
        EXPECT_EQ(fs::read_symlink(card / "setup.ini"), c.links[0].second);
        EXPECT_EQ(readFile(c.target), written);
        EXPECT_EQ(entriesIn(card), c.links.size());
        EXPECT_EQ(entriesIn(store2), 1u);
    }
    // A link to a read-only file: nothing is written, the link stays.
    chmod((store2 / "c.ini").c_str(), 0444);
    EXPECT_FALSE(store.write(card / "setup.ini"));
    EXPECT_TRUE(fs::is_symlink(card / "setup.ini"));
    EXPECT_EQ(readFile(store2 / "c.ini"), written);
}

TEST_F(IniStoreTest, LoadRefusesWhatIsNoRegularFile) {
    // A FIFO named like the settings file must not hang the dialog. A writer that opens it as
    // soon as a reader waits lets a blocking load end (and pass) instead of hanging the test.
    const auto fifo = dir.path() / "setup.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const bool loaded = store.load(fifo);
    done = true;
    writer.join();
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(store.load("/dev/null"));  // a device
    EXPECT_EQ(currentOf("Volume"), "");     // nothing changed
}

TEST_F(IniStoreTest, NulByteEndsTheLine) {
    const auto path = dir.write(
        "setup.ini", std::string_view("Volume=4\0junk\r\nTimeZone=\0 7\r\nRes\0olution=2\r\n", 44));
    ASSERT_TRUE(store.load(path));
    EXPECT_EQ(diag.str(), "INI ITEM <Res> is not registered! Ignore it.\n");
    ASSERT_TRUE(store.write(path));
    // TimeZone has no value before its NUL and keeps its default.
    EXPECT_EQ(readFile(path), "Resolution=1\r\nVolume=4\r\nTimeZone=9\r\n");
}

}  // namespace
}  // namespace qelv::core

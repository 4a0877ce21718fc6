// The map's tile cache on disk: over its limit the tiles shown longest ago go first, and what
// is no image is not kept.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <future>

#include <sys/stat.h>

#include "telemetry/ui/tile_cache.h"

namespace qelv::test {
namespace {

// A tile of 1000 bytes that starts as a PNG does.
QByteArray pngTile(char mark) {
    return QByteArray("\x89PNG\r\n\x1a\n").append(QByteArray(992, mark));
}

TEST(TileCache, OverItsLimitTheTilesShownLongestAgoGoFirst) {
    QTemporaryDir root;
    ui::TileCache cache(root.path(), QStringLiteral("https://a.example/{z}/{x}/{y}.png"), 3500);
    QString error;
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(cache.store({10, k, 0}, pngTile(static_cast<char>('a' + k)), &error));
        // Shown three, two and one hours ago.
        QFile tile(root.filePath(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)[0] +
                                 QStringLiteral("/10/%1/0.tile").arg(k)));
        ASSERT_TRUE(tile.open(QIODevice::ReadOnly) &&
                    tile.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600 * (3 - k)),
                                     QFileDevice::FileAccessTime));
    }
    // Tile 0 is shown again: tile 1 is now the one shown longest ago, and goes for tile 3.
    ASSERT_EQ(cache.find({10, 0, 0})->bytes, pngTile('a'));
    ASSERT_TRUE(cache.store({10, 3, 0}, pngTile('d'), &error));
    EXPECT_LE(cache.sizeBytes(), 3500);
    EXPECT_FALSE(cache.find({10, 1, 0}));
    EXPECT_TRUE(cache.find({10, 0, 0}) && cache.find({10, 2, 0}) && cache.find({10, 3, 0}));

    // An error page (a captive portal's) is not kept, and is told with the tile's file.
    EXPECT_FALSE(cache.store({10, 0, 0}, QByteArray("<html>log in first</html>"), &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("/10/0/0.tile: not an image")));
    EXPECT_EQ(cache.find({10, 0, 0})->bytes, pngTile('a'));

    // The limit set to 0 keeps none: the tiles kept are no longer shown, and go.
    ui::TileCache none(root.path(), QStringLiteral("https://a.example/{z}/{x}/{y}.png"), 0);
    EXPECT_FALSE(none.find({10, 0, 0}));
    EXPECT_TRUE(none.store({10, 4, 0}, pngTile('e'), &error));
    EXPECT_EQ(none.sizeBytes(), 0);
}

// What is planted in the cache folder is no tile: a pipe is not waited on (the interface thread
// would be held for good), and a link has the tile written in the cache, not where it points.
TEST(TileCache, PlantedPipesAndLinksAreNoTiles) {
    QTemporaryDir root;
    QTemporaryDir elsewhere;
    ui::TileCache cache(root.path(), QStringLiteral("https://a.example/{z}/{x}/{y}.png"), 1 << 20);
    QString error;
    ASSERT_TRUE(cache.store({3, 0, 0}, pngTile('a'), &error));
    const QString folder =
        root.filePath(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)[0]);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/3/0/1.tile")).constData(), 0600),
              0);
    auto found = std::async(std::launch::async, [&cache] { return cache.find({3, 0, 1}); });
    if (found.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        QFile writer(folder + QStringLiteral("/3/0/1.tile"));  // lets the reader go
        ASSERT_TRUE(writer.open(QIODevice::WriteOnly));
        writer.close();
        FAIL() << "a pipe in the cache held up the lookup";
    }
    EXPECT_FALSE(found.get());

    // A link as the tile's file, and as the folder of a column of tiles.
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/3/0/2.tile")));
    ASSERT_TRUE(QFile::link(elsewhere.path(), folder + QStringLiteral("/3/1")));
    cache.store({3, 0, 2}, pngTile('b'), &error);
    cache.store({3, 1, 0}, pngTile('c'), &error);
    EXPECT_EQ(QFileInfo(victim).size(), 0);
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{QStringLiteral("victim")});
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("/3/0/2.tile")).isSymLink());
    EXPECT_EQ(cache.find({3, 0, 2}).value_or(ui::TileCache::Tile{}).bytes, pngTile('b'));
}

}  // namespace
}  // namespace qelv::test

// The map's tile cache on disk: over its limit the tiles shown longest ago go first, and what
// is no image is not kept.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
}

}  // namespace
}  // namespace qelv::test

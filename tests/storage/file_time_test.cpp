#include "storage/file_time.h"

#include <gtest/gtest.h>

#include <limits>

namespace qelv::core {
namespace {

TEST(FileTime, CardSeconds) {
    struct Case {
        std::int32_t seconds;
        FileTime fileTime;
    };
    const Case cases[] = {
        {0, 116444736000000000ull},
        {1, 116444736010000000ull},
        {1706745598, 133512191980000000ull},  // 2024-01-31 23:59:58 UTC
        {-1, 116444735990000000ull},
        {std::numeric_limits<std::int32_t>::min(), 94969899520000000ull},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileTimeFromCardSeconds(c.seconds), c.fileTime) << c.seconds;
        EXPECT_EQ(unixSecondsFromFileTime(c.fileTime), c.seconds);
    }
}

TEST(FileTime, UnixTimesKeepTheirTicksAndClamp) {
    EXPECT_EQ(fileTimeFromUnix(0, 123456789), 116444736001234567ull);
    EXPECT_EQ(fileTimeFromUnix(-11644473601, 0), 0u);
    EXPECT_EQ(fileTimeFromUnix(-11644473600, 0), 0u);
    EXPECT_GT(fileTimeFromUnix(std::numeric_limits<std::int64_t>::max(), 0), 0u);
}

TEST(FileTime, SizesRoundDown) {
    EXPECT_EQ(sizeKBFromBytes(1023), 0u);
    EXPECT_EQ(sizeKBFromBytes(1024), 1u);
    EXPECT_EQ(sizeKBFromBytes((std::uint64_t{1} << 32) + 2047), (std::uint64_t{1} << 22) + 1);
    EXPECT_EQ(sizeKBFromCardBytes(1023), 0u);
    EXPECT_EQ(sizeKBFromCardBytes(0xFFFFFFFFu), 4194303u);
}

}  // namespace
}  // namespace qelv::core

#include "storage/size_class.h"

#include <gtest/gtest.h>

namespace qelv::core {
namespace {

TEST(SizeClass, BoundariesPerCategory) {
    constexpr std::uint64_t MB = 1024;  // in KB
    struct Case {
        RecordingCategory category;
        std::uint64_t sizeKB;
        int sizeClass;
    };
    const Case cases[] = {
        {RecordingCategory::Normal, 0, 2},
        {RecordingCategory::Normal, 30 * MB - 1, 2},
        {RecordingCategory::Normal, 30 * MB, 1},
        {RecordingCategory::Normal, 50 * MB - 1, 1},
        {RecordingCategory::Normal, 50 * MB, 0},
        {RecordingCategory::Normal, 60 * MB - 1, 0},
        {RecordingCategory::Normal, 60 * MB, 3},
        {RecordingCategory::Event, 15 * MB - 1, 2},
        {RecordingCategory::Event, 15 * MB, 1},
        {RecordingCategory::Parking, 25 * MB, 0},
        {RecordingCategory::User, 29 * MB + 1023, 0},
        {RecordingCategory::User, 30 * MB, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sizeClassOf(c.category, c.sizeKB), c.sizeClass)
            << static_cast<int>(c.category) << " " << c.sizeKB;
    }
}

}  // namespace
}  // namespace qelv::core

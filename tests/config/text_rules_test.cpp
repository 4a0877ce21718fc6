#include "config/text_rules.h"

#include <gtest/gtest.h>

namespace qelv::core {
namespace {

TEST(TextRules, ParseDecimalReadsLikeC) {
    struct Case {
        std::string_view text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"  7", 7},
        {"+3", 3},
        {"-12", -12},
        {"12abc", 12},
        {"20240131", 20240131},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},  // clamped, not wrapped
        {"99999999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999999999999", -2147483647 - 1},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"-", std::nullopt},
        {" + 1", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseDecimal(c.text), c.value) << "'" << c.text << "'";
    }
}

TEST(TextRules, ReplaceAllScansOnce) {
    EXPECT_EQ(replaceAll("a_F_Fb", "_F", "_R1"), "a_R1_R1b");
    EXPECT_EQ(replaceAll("none", "_F", "_R1"), "none");
    EXPECT_EQ(replaceAll("xx", "", "y"), "xx");
    EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
}

TEST(TextRules, AsciiCaseOnlyTouchesLetters) {
    EXPECT_EQ(toUpperAscii("evt-1\xc3\xa9"), "EVT-1\xc3\xa9");
    EXPECT_EQ(toLowerAscii("MP4"), "mp4");
}

}  // namespace
}  // namespace qelv::core

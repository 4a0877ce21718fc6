#include "config/localized_strings.h"

#include <gtest/gtest.h>

#include <sstream>

#include "config/djb2_key.h"
#include "config/language_table.h"

namespace qelv::core {
namespace {

TEST(Djb2Key, HashesSignedBytes) {
    struct Case {
        std::string_view name;
        std::uint32_t hash;
    };
    const Case cases[] = {
        {"", 5381u},
        {"a", 5381u * 33u + 97u},
        // A byte above 0x7F counts as negative: 0xFF adds -1.
        {"\xff", 5381u * 33u - 1u},
        {"english", 0x6a95ed6fu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(djb2Hash(c.name), c.hash) << c.name;
    }
    EXPECT_EQ(makeTableKey("a", 7), (std::uint64_t{5381u * 33u + 97u} << 32) | 7u);
}

TEST(LanguageTable, Rows) {
    struct Case {
        const char* name;
        std::int32_t mode;
        std::int32_t index;
    };
    const Case cases[] = {
        {"english", 0, 0}, {"korean", 0, 1},  {"japanese", 0, 2}, {"chinese", 0, 3},
        {"chinese", 1, 4}, {"russian", 0, 5}, {"chinese", 2, 6},  {"english", 1, 6},
        {"German", 0, 6},  {"", 0, 6},        {"chinese", -1, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(languageIndexOf(c.name, c.mode), c.index) << c.name << " " << c.mode;
    }
}

TEST(LocalizedStrings, LineBreaksAndDuplicates) {
    LocalizedStrings strings;
    std::ostringstream diag;
    EXPECT_TRUE(strings.addTranslation(0, "ID", "english", "first\\nsecond\\\\nthird", diag));
    EXPECT_FALSE(strings.addTranslation(0, "ID", "english", "later", diag));
    EXPECT_EQ(diag.str(), "Duplicated LSID(ID) found, ignore it.\n");
    // "\\n" is a backslash followed by a line break once the pair is replaced.
    EXPECT_EQ(strings.lookup(0, "ID"), "first\nsecond\\\nthird");
    EXPECT_FALSE(strings.lookup(1, "ID"));
}

TEST(LocalizedStrings, UnknownLanguageIsStoredUnderSix) {
    LocalizedStrings strings;
    std::ostringstream diag;
    EXPECT_TRUE(strings.addTranslation(0, "ID", "klingon", "text", diag));
    EXPECT_EQ(strings.lookup(kNoLanguage, "ID"), "text");
    // english with mode 3 is not in the table either: the same key.
    EXPECT_FALSE(strings.addTranslation(3, "ID", "english", "also six", diag));
}

TEST(LocalizedStrings, IdentifiersWithEqualHashesAreOneIdentifier) {
    // "Ez" and "FY" have the same djb2 hash: 69 * 33 + 122 == 70 * 33 + 89.
    ASSERT_EQ(djb2Hash("Ez"), djb2Hash("FY"));
    LocalizedStrings strings;
    std::ostringstream diag;
    EXPECT_TRUE(strings.addTranslation(0, "Ez", "english", "first", diag));
    EXPECT_FALSE(strings.addTranslation(0, "FY", "english", "second", diag));
    EXPECT_EQ(diag.str(), "Duplicated LSID(FY) found, ignore it.\n");
    EXPECT_EQ(strings.lookup(0, "FY"), "first");
}

}  // namespace
}  // namespace qelv::core

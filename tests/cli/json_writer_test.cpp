#include "cli/json_writer.h"

#include <gtest/gtest.h>

namespace qelv::cli {
namespace {

TEST(JsonWriter, QuotesEscapesAndRepairsText) {
    struct Case {
        std::string_view text;
        const char* json;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nbreak\ttab\r", "\"line\\nbreak\\ttab\\r\""},
        {std::string_view("\x01\0", 2), "\"\\u0001\\u0000\""},
        {"폴더", "\"폴더\""},
        {"bad\xff", "\"bad\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong "/"
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
        {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // cut short
        // Longer texts go over eight bytes at a time: what needs care is found in any lane.
        {"/media/card/NOR/FRONT/20240131_235958_3CH_E_F.mp4",
         "\"/media/card/NOR/FRONT/20240131_235958_3CH_E_F.mp4\""},
        {"01234567\"9abcdef", "\"01234567\\\"9abcdef\""},
        {"0123456\\89abcdef", "\"0123456\\\\89abcdef\""},
        {"0123456789abcde\x1f", "\"0123456789abcde\\u001f\""},
        {"0123456789ab\x7f~ !", "\"0123456789ab\x7f~ !\""},  // DEL and the edges pass as they are
        {"01234\xC3\xA9"
         "789abcdef\xff",
         "\"01234\xC3\xA9"
         "789abcdef\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jsonQuote(c.text), c.json);
    }
}

TEST(JsonWriter, BuildsObjectsInOrder) {
    EXPECT_EQ(JsonObject().str(), "{}");
    EXPECT_EQ(JsonObject()
                  .add("s", "x")
                  .add("i", std::int32_t{-3})
                  .add("b", false)
                  .add("n", std::optional<std::int64_t>())
                  .addRaw("a", jsonArray({"1", "2"}))
                  .str(),
              "{\"s\": \"x\", \"i\": -3, \"b\": false, \"n\": null, \"a\": [1, 2]}");
}

}  // namespace
}  // namespace qelv::cli

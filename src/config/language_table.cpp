#include "config/language_table.h"

#include <array>
#include <utility>

#include "config/djb2_key.h"

namespace qelv::core {

namespace {

struct LanguageRow {
    std::string_view name;
    std::int32_t mode;
    Language index;
};

constexpr std::array<LanguageRow, 6> kLanguages{{
    {"english", 0, Language::English},
    {"korean", 0, Language::Korean},
    {"japanese", 0, Language::Japanese},
    {"chinese", 0, Language::Chinese},
    {"chinese", 1, Language::ChineseTraditional},
    {"russian", 0, Language::Russian},
}};

}  // namespace

std::int32_t languageIndexOf(std::string_view name, std::int32_t mode) {
    const std::uint64_t key = makeTableKey(name, static_cast<std::uint32_t>(mode));
    for (const LanguageRow& row : kLanguages) {
        if (makeTableKey(row.name, static_cast<std::uint32_t>(row.mode)) == key) {
            return static_cast<std::int32_t>(row.index);
        }
    }
    return kNoLanguage;
}

}  // namespace qelv::core

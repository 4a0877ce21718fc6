// The viewer's six interface languages, found by (name, mode).
#pragma once

#include <cstdint>
#include <string_view>

namespace qelv::core {

enum class Language : std::int32_t {
    English = 0,
    Korean = 1,
    Japanese = 2,
    Chinese = 3,             // "chinese", mode 0
    ChineseTraditional = 4,  // "chinese", mode 1
    Russian = 5,
};

// Index given to a (name, mode) pair that is not in the table.
inline constexpr std::int32_t kNoLanguage = 6;

// The table's row for (name, mode), or kNoLanguage. Names are compared through their djb2
// key only, exactly as the configuration file's tables do.
std::int32_t languageIndexOf(std::string_view name, std::int32_t mode);

}  // namespace qelv::core

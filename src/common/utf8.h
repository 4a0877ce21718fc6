// Reading UTF-8 text that may hold anything (names on a card are bytes, not text).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qelv::core {

struct Utf8Char {
    char32_t code;
    std::size_t length;  // bytes, 1 to 4
};

// The character at the start of `text`; nothing when the bytes there are no valid UTF-8
// (a stray continuation byte, an overlong form, a surrogate, a code above U+10FFFF, a
// sequence cut short) or `text` is empty.
std::optional<Utf8Char> decodeUtf8(std::string_view text);

// U+FFFD, the stand-in for what cannot be shown.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace qelv::core

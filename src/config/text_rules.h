// Small text rules shared by the configuration file and the INI store.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelv::core {

// A decimal integer as C's string-to-integer conversion reads it: leading white space, an
// optional sign, then digits up to the first non-digit. Values beyond the 32-bit range are
// clamped. No digit at all gives nothing.
std::optional<std::int32_t> parseDecimal(std::string_view text);

// The configuration's boolean attribute rule: "true", "yes", "1" are true and "false", "no",
// "0" are false, compared without regard to case; anything else gives nothing.
std::optional<bool> parseBoolean(std::string_view text);

// Equal when ASCII letters are compared without regard to case; other bytes as they are.
bool equalsNoCase(std::string_view a, std::string_view b);

std::string toUpperAscii(std::string_view text);
std::string toLowerAscii(std::string_view text);

// Replaces every `from` with `to`, scanning left to right once.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace qelv::core

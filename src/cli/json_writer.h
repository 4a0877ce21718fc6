// Minimal JSON output for the command-line tool: one object per line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::cli {

// A quoted JSON string. Bytes that are not valid UTF-8 (names on a card can hold anything)
// become U+FFFD so that the line stays valid JSON.
std::string jsonQuote(std::string_view text);
// The same, appended to `out`.
void appendQuoted(std::string& out, std::string_view text);

// A number with `decimals` digits after the point ("1.250"), or null when it is not finite
// (JSON has no infinity or NaN).
std::string jsonFixed(double value, int decimals);

// Joins already encoded JSON values into an array.
std::string jsonArray(const std::vector<std::string>& values);

// Builds an object member by member, in insertion order.
class JsonObject {
public:
    // Room for a typical line, so that adding members seldom moves it.
    JsonObject() { m_body.reserve(256); }

    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) {
        return add(key, std::string_view(value));
    }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, std::int32_t value) {
        return add(key, std::int64_t{value});
    }
    JsonObject& add(std::string_view key, bool value);
    JsonObject& add(std::string_view key, std::optional<std::int64_t> value);
    // `json` must already be encoded JSON (an array or an object).
    JsonObject& addRaw(std::string_view key, std::string_view json);

    std::string str() const { return "{" + m_body + "}"; }

private:
    void key(std::string_view name);
    std::string m_body;
};

}  // namespace qelv::cli

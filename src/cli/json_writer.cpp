#include "cli/json_writer.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/utf8.h"

namespace qelv::cli {

namespace {

// Whether none of the eight bytes of `word` needs escaping: each is printable ASCII (0x20 to
// 0x7F) and neither a quote nor a backslash. Bit tricks on the whole word: a byte below 0x20,
// or equal to a given value after an exclusive or, sets the top bit of its lane.
bool plainWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const auto hasBelow = [](std::uint64_t w, std::uint64_t n) {
        return ((w - kOnes * n) & ~w & kHigh) != 0;
    };
    return (word & kHigh) == 0 && !hasBelow(word, 0x20) && !hasBelow(word ^ (kOnes * '"'), 1) &&
           !hasBelow(word ^ (kOnes * '\\'), 1);
}

// The length of the run of bytes at the start of `text` that go over as they are.
std::size_t plainRun(std::string_view text) {
    std::size_t plain = 0;
    for (std::uint64_t word; plain + 8 <= text.size(); plain += 8) {
        std::memcpy(&word, text.data() + plain, 8);
        if (!plainWord(word)) {
            break;
        }
    }
    while (plain < text.size()) {
        const auto c = static_cast<unsigned char>(text[plain]);
        if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') {
            break;
        }
        ++plain;
    }
    return plain;
}

}  // namespace

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    while (!text.empty()) {
        // Printable ASCII without quote or backslash, most of any text, goes over in one piece.
        const std::size_t plain = plainRun(text);
        out.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty()) {
            break;
        }
        const auto decoded = core::decodeUtf8(text);
        if (!decoded) {
            out += core::kReplacementCharacter;
            text.remove_prefix(1);
            continue;
        }
        const std::size_t length = decoded->length;
        const char c = text[0];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned>(c));
            out += escaped.data();
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    out += '"';
}

std::string jsonQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    appendQuoted(out, text);
    return out;
}

std::string jsonArray(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += (i == 0 ? "" : ", ") + values[i];
    }
    return out + "]";
}

std::string jsonFixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.pop_back();
    return text;
}

void JsonObject::key(std::string_view name) {
    if (!m_body.empty()) {
        m_body += ", ";
    }
    appendQuoted(m_body, name);
    m_body += ": ";
}

JsonObject& JsonObject::add(std::string_view name, std::string_view value) {
    key(name);
    appendQuoted(m_body, value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::int64_t value) {
    key(name);
    m_body += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, bool value) {
    key(name);
    m_body += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::optional<std::int64_t> value) {
    key(name);
    m_body += value ? std::to_string(*value) : "null";
    return *this;
}

JsonObject& JsonObject::addRaw(std::string_view name, std::string_view json) {
    key(name);
    m_body += json;
    return *this;
}

}  // namespace qelv::cli

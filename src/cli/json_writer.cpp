#include "cli/json_writer.h"

#include <array>
#include <cstdio>

#include "common/utf8.h"

namespace qelv::cli {

std::string jsonQuote(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
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
    return out + "\"";
}

std::string jsonArray(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += (i == 0 ? "" : ", ") + values[i];
    }
    return out + "]";
}

void JsonObject::key(std::string_view name) {
    if (!m_body.empty()) {
        m_body += ", ";
    }
    m_body += jsonQuote(name) + ": ";
}

JsonObject& JsonObject::add(std::string_view name, std::string_view value) {
    key(name);
    m_body += jsonQuote(value);
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

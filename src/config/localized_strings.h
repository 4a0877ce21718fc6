// The localized string table: every translation of the configuration file, found by
// (identifier, language index).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qelv::core {

class LocalizedStrings {
public:
    struct Translation {
        std::string id;  // as written in the file; not used for lookups
        std::int32_t language;
        std::string text;  // UTF-8, "\n" sequences already turned into line feeds
    };

    // Stores `text` under (id, language index of (languageName, mode)). A key that is already
    // present keeps its earlier text and "Duplicated LSID(<id>) found, ignore it." goes to
    // `diag`. Returns whether the text was stored.
    bool addTranslation(std::int32_t mode, std::string_view id, std::string_view languageName,
                        std::string_view text, std::ostream& diag);

    // The text for (language, id); no fallback to another language.
    std::optional<std::string> lookup(std::int32_t language, std::string_view id) const;

    // Every stored translation in the order it was added.
    const std::vector<Translation>& translations() const { return m_translations; }

private:
    std::vector<Translation> m_translations;
    std::unordered_map<std::uint64_t, std::size_t> m_byKey;
};

}  // namespace qelv::core

#include "config/localized_strings.h"

#include "config/djb2_key.h"
#include "config/language_table.h"
#include "config/text_rules.h"

namespace qelv::core {

bool LocalizedStrings::addTranslation(std::int32_t mode, std::string_view id,
                                      std::string_view languageName, std::string_view text,
                                      std::ostream& diag) {
    const std::int32_t language = languageIndexOf(languageName, mode);
    // A backslash followed by "n" in the file stands for a line break. Replacing never forms
    // a new pair, so one pass leaves none.
    std::string prepared = replaceAll(text, "\\n", "\n");
    const std::uint64_t key = makeTableKey(id, static_cast<std::uint32_t>(language));
    if (m_byKey.contains(key)) {
        diag << "Duplicated LSID(" << id << ") found, ignore it.\n";
        return false;
    }
    m_byKey.emplace(key, m_translations.size());
    m_translations.push_back({std::string(id), language, std::move(prepared)});
    return true;
}

std::optional<std::string> LocalizedStrings::lookup(std::int32_t language,
                                                    std::string_view id) const {
    const auto it = m_byKey.find(makeTableKey(id, static_cast<std::uint32_t>(language)));
    if (it == m_byKey.end()) {
        return std::nullopt;
    }
    return m_translations[it->second].text;
}

}  // namespace qelv::core

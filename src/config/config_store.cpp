#include "config/config_store.h"

#include <tinyxml2.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <mutex>

#include "common/data_files.h"
#include "common/text_file.h"
#include "config/diagnostic.h"
#include "config/language_table.h"
#include "config/text_rules.h"

namespace qelv::core {

namespace {

using tinyxml2::XMLElement;

// An element's text is its first child node when that node is text: a comment before the
// text leaves the element without one, as the recorder's tools read the file. (tinyxml2's
// GetText() skips leading comments from version 9 on, so it is not used here.)
std::optional<std::string_view> textOf(const XMLElement& element) {
    const tinyxml2::XMLNode* first = element.FirstChild();
    const tinyxml2::XMLText* text = first != nullptr ? first->ToText() : nullptr;
    if (text == nullptr || text->Value() == nullptr) {
        return std::nullopt;
    }
    return std::string_view(text->Value());
}

std::optional<std::string_view> attributeOf(const XMLElement& element, const char* name) {
    const char* value = element.Attribute(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string_view(value);
}

std::optional<std::int32_t> intAttribute(const XMLElement& element, const char* name) {
    const auto value = attributeOf(element, name);
    return value ? parseDecimal(*value) : std::nullopt;
}

std::optional<FolderCategory> folderCategoryOf(std::string_view type) {
    static constexpr std::array<std::pair<std::string_view, FolderCategory>, 5> kTypes{{
        {"NOR", FolderCategory::Nor},
        {"EVT", FolderCategory::Evt},
        {"MOT", FolderCategory::Mot},
        {"USR", FolderCategory::Usr},
        {"PHOTO", FolderCategory::Photo},
    }};
    if (type.size() > 15) {
        return std::nullopt;
    }
    const std::string upper = toUpperAscii(type);
    for (const auto& [name, category] : kTypes) {
        if (upper == name) {
            return category;
        }
    }
    return std::nullopt;
}

// The whole file, or nothing when it is not a readable regular file of a sane size (a folder
// or a device given as the path must not be read as a configuration).
std::optional<std::string> readConfigFile(const std::filesystem::path& path) {
    constexpr std::size_t kMaxBytes = 64u << 20;
    return readTextFile(path, kMaxBytes);
}

}  // namespace

ConfigStore& ConfigStore::shared(const std::filesystem::path& path, std::ostream& diag) {
    static std::mutex lock;
    static std::unique_ptr<ConfigStore> store;
    const std::lock_guard guard(lock);
    if (!store) {
        store = std::make_unique<ConfigStore>();
        store->loadViewerConfiguration(path, diag, std::cerr);
    }
    return *store;
}

bool ConfigStore::loadViewerConfiguration(const std::filesystem::path& path, std::ostream& diag,
                                          std::ostream& warnings) {
    if (load(path, diag)) {
        return true;
    }
    const std::filesystem::path installed = dataFile("viewerconfig.cfg");
    std::error_code error;
    if (path == installed || std::filesystem::equivalent(path, installed, error) ||
        !std::filesystem::exists(installed, error)) {
        return false;
    }
    warnings << path.string()
             << ": cannot be read as the viewer's configuration; using the installed one, "
             << installed.string() << '\n';
    *this = ConfigStore();
    return load(installed, diag);
}

bool ConfigStore::load(const std::filesystem::path& path, std::ostream& diag) {
    const auto content = readConfigFile(path);
    if (!content) {
        writeDiagnostic(diag, "Can not configuration file");
        return false;
    }
    return loadFromText(*content, diag);
}

bool ConfigStore::loadFromText(std::string_view xml, std::ostream& diag) {
    // TinyXML's own default condenses white space in texts; the recorder's files rely on it.
    tinyxml2::XMLDocument document(true, tinyxml2::COLLAPSE_WHITESPACE);
    if (document.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) {
        writeDiagnostic(diag, "Can not configuration file");
        return false;
    }
    const XMLElement* root = document.FirstChildElement();
    if (root == nullptr) {
        writeDiagnostic(diag, "xml document has no root element");
        return false;
    }
    const XMLElement* configs = root->FirstChildElement("configs");
    if (configs == nullptr) {
        writeDiagnostic(diag, "xml document has no configs element");
        return false;
    }
    const XMLElement* lstrings = root->FirstChildElement("lstrings");
    if (lstrings == nullptr) {
        writeDiagnostic(diag, "xml document has no lstrings element");
        return false;
    }
    applyLanguage(*configs);
    applyDirs(*configs);
    applyExtensions(*configs);
    applySwitches(*configs);
    applyLstrings(*lstrings, diag);
    return true;
}

void ConfigStore::applyLanguage(const XMLElement& configs) {
    const XMLElement* language = configs.FirstChildElement("language");
    if (language == nullptr) {
        return;
    }
    const auto name = textOf(*language);
    if (!name) {
        return;
    }
    const std::int32_t mode = intAttribute(*language, "mode").value_or(0);
    const std::int32_t index = languageIndexOf(*name, mode);
    if (index != kNoLanguage) {
        m_language = index;
    }
}

void ConfigStore::applyDirs(const XMLElement& configs) {
    const XMLElement* dirs = configs.FirstChildElement("dirs");
    if (dirs == nullptr) {
        return;
    }
    // The recorder's tools write wyfsp on the first dir only: a dir without it inherits the
    // value read last.
    std::int32_t wyfsp = 0;
    for (const XMLElement* dir = dirs->FirstChildElement("dir"); dir != nullptr;
         dir = dir->NextSiblingElement("dir")) {
        const auto type = attributeOf(*dir, "type");
        const auto name = textOf(*dir);
        if (!type || !name) {
            continue;
        }
        const auto category = folderCategoryOf(*type);
        if (!category) {
            continue;
        }
        const bool taken = std::any_of(m_folders.begin(), m_folders.end(), [&](const auto& e) {
            return e.name == *name || e.category == *category;
        });
        if (taken) {
            continue;
        }
        wyfsp = intAttribute(*dir, "wyfsp").value_or(wyfsp);
        m_folders.push_back(
            {*category, std::string(*name), (wyfsp >= 0 && wyfsp < 100) ? wyfsp : 0});
    }
}

void ConfigStore::applyExtensions(const XMLElement& configs) {
    const XMLElement* extensions = configs.FirstChildElement("extensions");
    if (extensions == nullptr) {
        return;
    }
    for (const XMLElement* extension = extensions->FirstChildElement("extension");
         extension != nullptr; extension = extension->NextSiblingElement("extension")) {
        const auto text = textOf(*extension);
        if (!text) {
            continue;
        }
        if (std::find(m_extensions.begin(), m_extensions.end(), *text) == m_extensions.end()) {
            m_extensions.emplace_back(*text);
        }
    }
}

void ConfigStore::applySwitches(const XMLElement& configs) {
    auto setBit = [this](const XMLElement* element, const char* attribute, std::uint32_t bit) {
        if (element == nullptr) {
            return;
        }
        const auto value = attributeOf(*element, attribute);
        if (value && parseBoolean(*value).value_or(false)) {
            m_switches |= bit;
        }
    };
    const XMLElement* recursive = configs.FirstChildElement("recursive");
    setBit(recursive, "removal", kSwitchRemoval);
    setBit(recursive, "desktop", kSwitchDesktop);
    const XMLElement* capture = configs.FirstChildElement("capture");
    setBit(capture, "filetime", kSwitchFiletime);
    setBit(capture, "addpos", kSwitchAddpos);
}

void ConfigStore::applyLstrings(const XMLElement& lstrings, std::ostream& diag) {
    for (const XMLElement* lstring = lstrings.FirstChildElement("lstring"); lstring != nullptr;
         lstring = lstring->NextSiblingElement()) {
        const auto id = attributeOf(*lstring, "id");
        if (!id) {
            continue;
        }
        std::int32_t mode = 0;
        for (const XMLElement* language = lstring->FirstChildElement("language");
             language != nullptr; language = language->NextSiblingElement("language")) {
            const auto type = attributeOf(*language, "type");
            mode = intAttribute(*language, "mode").value_or(mode);
            const auto text = textOf(*language);
            if (type && text) {
                m_strings.addTranslation(mode, *id, *type, *text, diag);
            }
        }
    }
}

std::optional<FolderEntry> ConfigStore::folderAt(std::int64_t index) const {
    if (index < 0 || index >= static_cast<std::int64_t>(m_folders.size())) {
        return std::nullopt;
    }
    return m_folders[static_cast<std::size_t>(index)];
}

std::optional<std::string> ConfigStore::extensionAt(std::int64_t index) const {
    if (index < 0 || index >= static_cast<std::int64_t>(m_extensions.size())) {
        return std::nullopt;
    }
    return m_extensions[static_cast<std::size_t>(index)];
}

std::optional<std::string> ConfigStore::localizedString(std::string_view id) const {
    return m_strings.lookup(m_language, id);
}

}  // namespace qelv::core

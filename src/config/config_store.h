// The viewer's configuration: language, card folders, file extensions, switches and the
// localized strings, read once from "viewerconfig.cfg" beside the program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "config/localized_strings.h"

namespace tinyxml2 {
class XMLElement;
}

namespace qelv::core {

// Category of a configured card folder.
enum class FolderCategory : std::int32_t { Nor = 0, Evt = 1, Mot = 2, Usr = 3, Photo = 4 };

struct FolderEntry {
    FolderCategory category;
    std::string name;    // UTF-8, exactly as in the file
    std::int32_t wyfsp;  // 0 to 99; kept with the entry, not used by the viewer
};

// The configuration file's layout (every name compared exactly):
//
//   <anything>                          root: the document's first element
//     <configs>
//       <language mode="M">name</language>      first one only
//       <dirs><dir type="NOR|EVT|MOT|USR|PHOTO" wyfsp="N">folder</dir>...</dirs>
//       <extensions><extension>mp4</extension>...</extensions>
//       <recursive removal="bool" desktop="bool"/>
//       <capture filetime="bool" addpos="bool"/>
//     </configs>
//     <lstrings>
//       <lstring id="ID"><language type="english" mode="M">text</language>...</lstring>
//       ...every sibling after the first lstring counts as an lstring, whatever its name
//     </lstrings>
//   </anything>
class ConfigStore {
public:
    static constexpr std::uint32_t kSwitchRemoval = 1u << 0;
    static constexpr std::uint32_t kSwitchDesktop = 1u << 1;
    static constexpr std::uint32_t kSwitchFiletime = 1u << 2;
    static constexpr std::uint32_t kSwitchAddpos = 1u << 3;

    // The process-wide store: created under a lock on the first call, which also loads
    // `path`; later calls return the same store and ignore their arguments.
    static ConfigStore& shared(const std::filesystem::path& path, std::ostream& diag);
    // Loads the viewer's configuration from `path` (configurationFile()); when that is the
    // user's own file and it cannot be read, the installed one is loaded instead and
    // `warnings` says so, naming both files.
    bool loadViewerConfiguration(const std::filesystem::path& path, std::ostream& diag,
                                 std::ostream& warnings);

    // Reads and applies the file. True only when both configs and lstrings were found and
    // applied; on any earlier failure nothing is applied and a diagnostic line goes to `diag`.
    bool load(const std::filesystem::path& path, std::ostream& diag);
    // The same for the file's content.
    bool loadFromText(std::string_view xml, std::ostream& diag);

    std::int32_t language() const { return m_language; }
    const std::vector<FolderEntry>& folders() const { return m_folders; }
    std::optional<FolderEntry> folderAt(std::int64_t index) const;
    const std::vector<std::string>& extensions() const { return m_extensions; }
    std::optional<std::string> extensionAt(std::int64_t index) const;

    std::uint32_t switches() const { return m_switches; }
    bool removal() const { return (m_switches & kSwitchRemoval) != 0; }
    bool desktop() const { return (m_switches & kSwitchDesktop) != 0; }
    bool filetime() const { return (m_switches & kSwitchFiletime) != 0; }
    bool addpos() const { return (m_switches & kSwitchAddpos) != 0; }

    // The text of `id` in the current language, if the file has it.
    std::optional<std::string> localizedString(std::string_view id) const;
    const LocalizedStrings& strings() const { return m_strings; }

private:
    void applyLanguage(const tinyxml2::XMLElement& configs);
    void applyDirs(const tinyxml2::XMLElement& configs);
    void applyExtensions(const tinyxml2::XMLElement& configs);
    void applySwitches(const tinyxml2::XMLElement& configs);
    void applyLstrings(const tinyxml2::XMLElement& lstrings, std::ostream& diag);

    std::int32_t m_language = 0;
    std::vector<FolderEntry> m_folders;
    std::vector<std::string> m_extensions;
    std::uint32_t m_switches = 0;
    LocalizedStrings m_strings;
};

}  // namespace qelv::core

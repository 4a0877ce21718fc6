// Where the programs find the files they ship with (the skin, the configuration, the map page):
// beside the program in a build tree, else in the installed data folder, `share/qelv-viewer`
// under the install prefix (the program's folder's parent, so any prefix works). A user's own
// configuration in `$XDG_CONFIG_HOME/qelv-viewer/` (`~/.config/qelv-viewer/`) comes first.
#pragma once

#include <filesystem>
#include <string>

namespace qelv::core {

// The folder the running program lies in.
std::filesystem::path programFolder();

// The installed data folder: `<program folder>/../share/qelv-viewer`.
std::filesystem::path installedDataFolder();

// The first of: beside the program, the installed data folder, that holds `name`; the path
// beside the program when neither does (so that messages name the expected place).
std::filesystem::path dataFile(const std::string& name);

// The configuration to read: the user's own when there is one, else dataFile's.
std::filesystem::path configurationFile();

}  // namespace qelv::core

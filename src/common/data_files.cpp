#include "common/data_files.h"

#include <cstdlib>
#include <system_error>

namespace qelv::core {

namespace fs = std::filesystem;

fs::path programFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : self.parent_path();
}

fs::path installedDataFolder() {
    return programFolder().parent_path() / "share" / "qelv-viewer";
}

fs::path dataFile(const std::string& name) {
    std::error_code error;
    const fs::path beside = programFolder() / name;
    if (fs::exists(beside, error)) {
        return beside;
    }
    const fs::path installed = installedDataFolder() / name;
    return fs::exists(installed, error) ? installed : beside;
}

fs::path configurationFile() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    fs::path own;
    if (configHome != nullptr && *configHome == '/') {
        own = fs::path(configHome) / "qelv-viewer" / "viewerconfig.cfg";
    } else if (home != nullptr && *home == '/') {
        own = fs::path(home) / ".config" / "qelv-viewer" / "viewerconfig.cfg";
    }
    std::error_code error;
    if (!own.empty() && fs::is_regular_file(own, error)) {
        return own;
    }
    return dataFile("viewerconfig.cfg");
}

}  // namespace qelv::core

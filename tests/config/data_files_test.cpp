// Where the programs find their shipped files and the user's own configuration.
#include "common/data_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/temp_dir.h"

namespace qelv::core {
namespace {

TEST(DataFiles, TheUsersOwnConfigurationComesFirst) {
    const test::TempDir home;
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = before != nullptr ? before : "";
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    const auto shipped = configurationFile();
    EXPECT_NE(shipped.parent_path().filename(), "qelv-viewer") << shipped;  // none of the user's

    const auto own = home.path() / "qelv-viewer" / "viewerconfig.cfg";
    std::filesystem::create_directories(own.parent_path());
    std::ofstream(own) << "<config/>";
    EXPECT_EQ(configurationFile(), own);
    // A relative XDG_CONFIG_HOME is ignored, as the standard says.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(configurationFile().parent_path().filename() == "qelv-viewer",
              std::filesystem::exists(std::filesystem::path(std::getenv("HOME")) / ".config" /
                                      "qelv-viewer" / "viewerconfig.cfg"));
    if (before != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(DataFiles, BesideTheProgramThenUnderTheInstallPrefix) {
    EXPECT_EQ(installedDataFolder(), programFolder().parent_path() / "share" / "qelv-viewer");
    // Found nowhere: named beside the program, so that a message names the expected place.
    EXPECT_EQ(dataFile("qelv-no-such-file.rcc"), programFolder() / "qelv-no-such-file.rcc");
    // Installed only: found under the prefix; beside the program as well: that one.
    const auto installed = installedDataFolder() / "qelv-test-data.txt";
    std::filesystem::create_directories(installed.parent_path());
    std::ofstream(installed) << "installed";
    EXPECT_EQ(dataFile("qelv-test-data.txt"), installed);
    const auto beside = programFolder() / "qelv-test-data.txt";
    std::ofstream(beside) << "beside";
    EXPECT_EQ(dataFile("qelv-test-data.txt"), beside);
    std::filesystem::remove(beside);
    std::filesystem::remove(installed);
}

}  // namespace
}  // namespace qelv::core

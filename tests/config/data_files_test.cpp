// Where the programs find their shipped files and the user's own configuration.
#include "common/data_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/config_store.h"
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

// A broken file of the user's own (a typo while editing it) must not leave the viewer without
// its categories: the installed configuration is used and the user is told which file failed.
TEST(DataFiles, ABrokenOwnConfigurationFallsBackToTheInstalledOne) {
    const test::TempDir home;
    const auto own = home.path() / "viewerconfig.cfg";
    const auto installed = programFolder() / "viewerconfig.cfg";
    if (!std::filesystem::exists(installed)) {
        std::filesystem::copy_file(QELV_BUNDLED_CONFIG, installed);
    }
    for (const std::string& text : {std::string("<broken"), std::string()}) {
        std::ofstream(own) << text;
        ConfigStore store;
        std::ostringstream diag, warnings;
        EXPECT_TRUE(store.loadViewerConfiguration(own, diag, warnings)) << diag.str();
        EXPECT_FALSE(store.folders().empty());
        EXPECT_NE(warnings.str().find(own.string()), std::string::npos) << warnings.str();
        EXPECT_NE(warnings.str().find(installed.string()), std::string::npos);
    }
    // The installed one loads without a word.
    ConfigStore store;
    std::ostringstream diag, warnings;
    EXPECT_TRUE(store.loadViewerConfiguration(installed, diag, warnings));
    EXPECT_TRUE(warnings.str().empty());
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

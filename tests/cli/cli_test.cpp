// The `qelv` program as users and scripts run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

struct CliRun {
    int exitCode;
    std::string out;
};

// Runs `program` with `args` (already quoted for the shell); standard error is discarded.
CliRun runProgram(const std::string& program, const std::string& args) {
    const std::string command = program + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, {}};
    }
    std::string out;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

CliRun runQelv(const std::string& args) {
    return runProgram(QELV_BINARY, args);
}

TEST(QelvCli, HelpListsTheSubcommands) {
    const CliRun run = runQelv("--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("  config "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  name "), std::string::npos) << run.out;
    EXPECT_EQ(runQelv("").exitCode, 2);
    EXPECT_EQ(runQelv("frobnicate").exitCode, 2);
    EXPECT_EQ(runQelv("name").exitCode, 2);
}

// qelv starts without the media framework and hands "play" and "demo-card" to qelv-media.
TEST(QelvCli, MediaCommandsRunThroughQelvMedia) {
    for (const char* command : {"play", "demo-card"}) {
        const CliRun help = runQelv(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: qelv ") + command, 0), 0u) << help.out;
    }
    // Alone in a folder, qelv cannot run them and says so with a failure.
    qelv::test::TempDir alone;
    const auto copy = alone.path() / "qelv";
    std::filesystem::copy_file(QELV_BINARY, copy);
    EXPECT_EQ(runProgram(copy.string(), "play --help").exitCode, 1);
    EXPECT_EQ(runProgram(copy.string(), "name 20240131_235958_3CH_E_F.mp4").exitCode, 0);
}

TEST(QelvCli, ConfigDefaultsToTheBundledFile) {
    const CliRun run = runQelv("config");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind(
                  "{\"loaded\": true, \"language\": 0, \"dirs\": ["
                  "{\"category\": 0, \"name\": \"NOR\", \"wyfsp\": 0}, "
                  "{\"category\": 1, \"name\": \"EVT\", \"wyfsp\": 0}, "
                  "{\"category\": 2, \"name\": \"MOT\", \"wyfsp\": 0}, "
                  "{\"category\": 3, \"name\": \"USR\", \"wyfsp\": 0}], "
                  "\"extensions\": [\"mp4\"], \"removal\": true, \"desktop\": true, "
                  "\"filetime\": false, \"addpos\": true, \"strings\": ["
                  "{\"id\": \"COMM_SEL_FOLDER\", \"language\": 0, \"text\": \"Select Folder\"}, ",
                  0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("{\"id\": \"MAIN_MSG_NO_FILES\", \"language\": 0, \"text\": "
                           "\"No recordings were found.\\nChoose another drive or folder.\"}"),
              std::string::npos);
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);
}

TEST(QelvCli, ConfigOfABrokenFileStillPrintsDefaults) {
    qelv::test::TempDir dir;
    const auto path = dir.write("bad.cfg", "<viewer><configs><language>korean</language>");
    const CliRun run = runQelv("config '" + path.string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "{\"loaded\": false, \"language\": 0, \"dirs\": [], \"extensions\": [], "
              "\"removal\": false, \"desktop\": false, \"filetime\": false, \"addpos\": false, "
              "\"strings\": []}\n");
}

TEST(QelvCli, NamePrintsOneLinePerPath) {
    const CliRun run = runQelv(
        "name /media/card/NOR/FRONT/20240131_235958_3CH_E_F.mp4 20240131_000005_1CH_X_R1.mp4");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "{\"path\": \"/media/card/NOR/FRONT/20240131_235958_3CH_E_F.mp4\", "
              "\"date\": \"2024-01-31\", \"time\": \"23:59:58\", \"channels\": 3, "
              "\"category\": 1, \"listCategory\": 1, \"typeText\": \"EVT\", \"camera\": 1, "
              "\"companionPaths\": [\"/media/card/NOR/REAR/20240131_235958_3CH_E_R1.mp4\", "
              "\"/media/card/NOR/REAR/20240131_235958_3CH_E_R2.mp4\"]}\n"
              "{\"path\": \"20240131_000005_1CH_X_R1.mp4\", \"date\": \"2024-01-31\", "
              "\"time\": \"00:00:05\", \"channels\": 1, \"category\": null, "
              "\"listCategory\": null, \"typeText\": \"NONE\", \"camera\": 2, "
              "\"companionPaths\": [\"\", \"\"]}\n");
}

}  // namespace

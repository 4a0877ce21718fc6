// The `qelv` program as users and scripts run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_run.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"

namespace {

using qelv::test::CliRun;
using qelv::test::runProgram;
using qelv::test::runQelv;

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

TEST(QelvCli, RepairExitsWithOneWhenAnyFileFailed) {
    qelv::test::TempDir dir;
    const std::string unfinished =
        qelv::test::unfinishedFile(qelv::sim::RecordingLayout(qelv::test::frontSeconds(1)), 4096);
    const std::string front = "20240131_120000_1CH_N_F.mp4";
    const auto path = [&](const std::string& name) {
        return "'" + (dir.path() / name).string() + "'";
    };
    dir.write("good/" + front, unfinished);
    dir.write("again/" + front, unfinished);
    dir.write("text/" + front, "this is not a recording\n");
    dir.write("nocamera.mp4", unfinished);
    dir.write("20240131_120000_1CH_X_R1.mp4", unfinished);  // a rear file without category
    struct Case {
        const char* what;
        std::string args;
        int exitCode;
        int rebuilt;  // how many lines say "rebuilt"
    };
    const Case cases[] = {
        {"rebuilt", path("good/" + front), 0, 1},
        {"intact the second time", path("good/" + front), 0, 0},
        {"rebuilt and failed", path("again/" + front) + " " + path("text/" + front), 1, 1},
        {"failed: no recording", path("text/" + front), 1, 0},
        {"failed: missing", path("missing.mp4"), 1, 0},
        {"failed: the name says no camera", path("nocamera.mp4"), 1, 0},
        {"failed: a rear file with no size class", path("20240131_120000_1CH_X_R1.mp4"), 1, 0},
        {"usage: no file", "", 2, 0},
        {"usage: bad camera", "--camera middle " + path("good/" + front), 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun run = runQelv("repair " + c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
        int rebuilt = 0;
        for (std::size_t at = 0; (at = run.out.find("\"rebuilt\"", at)) != std::string::npos;
             ++at) {
            ++rebuilt;
        }
        EXPECT_EQ(rebuilt, c.rebuilt) << run.out;
    }
}

}  // namespace

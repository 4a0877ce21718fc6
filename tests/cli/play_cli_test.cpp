// `qelv play` as scripts run it: what it says and how it ends when files are damaged.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"

namespace {

using qelv::test::CliRun;
using qelv::test::runQelv;

class QelvPlay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new qelv::test::TempDir();
        const CliRun made = runQelv("demo-card '" + s_dir->path().string() +
                                    "/card' --recordings 1 --seconds 2 --channels 3 "
                                    "--categories N --scale 0.05");
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string file(const char* relative) {
        return "'" + (s_dir->path() / "card" / relative).string() + "'";
    }
    static qelv::test::TempDir* s_dir;
};

qelv::test::TempDir* QelvPlay::s_dir = nullptr;

TEST_F(QelvPlay, DamagedRearFileIsLeftOutWithANote) {
    const auto rear = s_dir->write("broken_R1.mp4",
                                   "RIFF\x04\x00\x00\x00"
                                   "AVI ");
    const CliRun run =
        runQelv("play --no-sync " + file("NOR/FRONT/20240131_120000_3CH_N_F.mp4") + " '" +
                rear.string() + "' " + file("NOR/REAR/20240131_120000_3CH_N_R2.mp4"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("left out " + rear.string() + ": "), std::string::npos) << run.err;
    // Every frame of the two good cameras was shown; the damaged one showed none.
    EXPECT_NE(run.out.find("\"shown\": [60, 0, 60]"), std::string::npos) << run.out;
}

TEST_F(QelvPlay, DamagedFrontFileFailsNamingIt) {
    const auto front = s_dir->write("broken_F.mp4", "not a recording");
    const CliRun run =
        runQelv("play '" + front.string() + "' " + file("NOR/REAR/20240131_120000_3CH_N_R1.mp4"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find("cannot play " + front.string() + ": "), std::string::npos) << run.err;
}

}  // namespace

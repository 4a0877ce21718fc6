// `qelv storage-info`: the figures of a card folder as JSON.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace qelv::test {
namespace {

TEST(QelvStorageInfo, CountsTheRecordingsOfEachCategory) {
    const TempDir card;
    for (const char* name :
         {"NOR/FRONT/20240131_120000_2CH_N_F.mp4", "NOR/FRONT/20240131_120100_2CH_N_F.mp4",
          "NOR/REAR/20240131_120000_2CH_N_R1.mp4", "MOT/FRONT/20240131_130000_2CH_P_F.mp4",
          "MOT/FRONT/notes.txt"}) {
        const auto path = card.path() / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "";
    }
    const CliRun run = runQelv("storage-info '" + card.path().string() + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"name\": \"NORMAL\", \"folder\": \"NOR\""), std::string::npos);
    EXPECT_NE(run.out.find("\"usedMB\": 176, \"frontFiles\": 2, \"rearFiles\": 1"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"usedMB\": 35, \"frontFiles\": 1, \"rearFiles\": 0"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(" GB)\""), std::string::npos);

    const CliRun missing = runQelv("storage-info '" + (card.path() / "gone").string() + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("is not a mounted card folder"), std::string::npos);
    EXPECT_EQ(runQelv("storage-info").exitCode, 2);
}

}  // namespace
}  // namespace qelv::test

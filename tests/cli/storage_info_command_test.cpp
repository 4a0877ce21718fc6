// `qelv storage-info`: the figures of a card folder as JSON.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

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

    // NOR/REAR locked (read as nobody when run as root) and a file where USR should be: the
    // figures without them, each folder named, exit 1.
    std::filesystem::permissions(card.path(), std::filesystem::perms::all);
    std::filesystem::permissions(card.path() / "NOR" / "REAR", std::filesystem::perms::none);
    std::ofstream(card.path() / "USR") << "";
    const CliRun unreadable =
        runProgram((geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") +
                       std::string(QELV_BINARY),
                   "storage-info '" + card.path().string() + "'");
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_NE(unreadable.err.find("cannot read NOR/REAR: Permission denied;"), std::string::npos);
    EXPECT_NE(unreadable.out.find("\"unreadable\": [\"NOR/REAR: Permission denied\", \"USR/FRONT: "
                                  "Not a directory\", \"USR/REAR: Not a directory\"]"),
              std::string::npos)
        << unreadable.out;

    const CliRun missing = runQelv("storage-info '" + (card.path() / "gone").string() + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("is neither a mounted card folder nor a readable WyFS card"),
              std::string::npos);
    EXPECT_EQ(runQelv("storage-info").exitCode, 2);
}

TEST(QelvStorageInfo, AWyfsCardCountsEachCameraOfItsRecordings) {
    const TempDir dir;
    const auto image = dir.path() / "card.img";
    wyfs::formatImage(image, 64u << 20);
    {
        const auto volume = wyfs::Volume::open(image, true);
        ASSERT_TRUE(volume);
        const std::vector<std::uint8_t> data(100, 1);
        volume->addFile("NOR", "20240131_120000_2CH_N_F.avi", data, 0);
        volume->addFile("NOR", "20240131_120100_3CH_N_F.avi", data, 0);
        volume->addFile("EVT", "20240131_120200_1CH_E_F.avi", data, 0);
    }
    const CliRun run = runQelv("storage-info '" + image.string() + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"wyfs\": true, \"capacityMB\": 64"), std::string::npos) << run.out;
    // Two recordings with three further cameras between them, and one with the front alone.
    EXPECT_NE(run.out.find("\"usedMB\": 248, \"frontFiles\": 2, \"rearFiles\": 3"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"usedMB\": 35, \"frontFiles\": 1, \"rearFiles\": 0"),
              std::string::npos)
        << run.out;

    // Garbage that is neither a folder nor a WyFS volume is refused, and left as it was.
    const auto garbage = dir.path() / "garbage.img";
    std::ofstream(garbage) << std::string(4096, 'x');
    const CliRun refused = runQelv("storage-info '" + garbage.string() + "'");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("nor a readable WyFS card"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(garbage), 4096u);
}

}  // namespace
}  // namespace qelv::test

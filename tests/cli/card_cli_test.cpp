// `qelv scan` and `qelv wyfs` meet sources they cannot read and targets they must not replace:
// a failure that says what and where, and never a half-written file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qelv::test::CliRun;
using qelv::test::readFile;
using qelv::test::runQelv;

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class CardCli : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(folder);
        ASSERT_EQ(runQelv("wyfs mkfs " + quoted(image) + " --size 2M").exitCode, 0);
        const fs::path clip = dir.write("clip.avi", "the recorder's bytes");
        ASSERT_EQ(runQelv("wyfs put " + quoted(image) + " NOR " + quoted(clip)).exitCode, 0);
    }

    // The names in the test's folder, so that a stray temporary file shows.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }

    qelv::test::TempDir dir;
    fs::path folder = dir.path() / "folder";
    fs::path plain = dir.write("plain.txt", "not a folder\n");
    fs::path image = dir.path() / "card.img";
};

// A card root or folder that is missing or no folder fails and is named, whichever option gave
// it, while an empty card is a card without recordings.
TEST_F(CardCli, ScanRefusesASourceThatIsNoFolder) {
    for (const char* option : {"--drive", "--folder"}) {
        for (const fs::path& source : {dir.path() / "missing", plain}) {
            const CliRun run =
                runQelv(std::string("scan --no-repair ") + option + " " + quoted(source));
            EXPECT_EQ(run.exitCode, 1) << option << ' ' << source;
            EXPECT_NE(run.err.find(source.string()), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
    const CliRun empty = runQelv("scan --no-repair --drive " + quoted(folder));
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(empty.out, "");
}

}  // namespace

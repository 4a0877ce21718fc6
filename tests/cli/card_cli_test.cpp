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

TEST_F(CardCli, WyfsGetWritesOnlyAWholeFileAndReplacesNoFolder) {
    dir.write("out.avi.partial", "the user's own file");
    const std::string imageBytes = readFile(image);
    const struct {
        fs::path target;
        int exitCode;
    } cases[] = {
        {folder, 1},
        {dir.path() / "missing" / "out.avi", 1},
        {image, 1},  // the card image itself
        {dir.path() / "out.avi", 0},
        {plain, 0},  // an existing file is replaced whole
    };
    for (const auto& c : cases) {
        const CliRun run =
            runQelv("wyfs get " + quoted(image) + " NOR clip.avi " + quoted(c.target));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.target;
        if (c.exitCode != 0) {
            EXPECT_NE(run.err.find(c.target.string()), std::string::npos) << run.err;
        }
    }
    EXPECT_EQ(readFile(dir.path() / "out.avi"), "the recorder's bytes");
    EXPECT_EQ(readFile(plain), "the recorder's bytes");
    EXPECT_EQ(readFile(dir.path() / "out.avi.partial"), "the user's own file");
    EXPECT_TRUE(readFile(image) == imageBytes) << "the card image changed";
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(names(), (std::set<std::string>{"card.img", "clip.avi", "folder", "out.avi",
                                              "out.avi.partial", "plain.txt"}));
}

// A source that cannot be read is named with the reason; a card name that would break a
// listing line or is no text is refused; the image is not touched by any of them.
TEST_F(CardCli, WyfsPutRefusesUnreadableSourcesAndBadNames) {
    const fs::path clip = dir.path() / "clip.avi";
    const fs::path newline = dir.write("two\nlines.avi", "bytes");
    const std::string imageBytes = readFile(image);
    const struct {
        std::string args;
        std::string said;
    } cases[] = {
        {"NOR " + quoted(folder), folder.string()},
        {"NOR " + quoted(dir.path() / "missing.avi"), (dir.path() / "missing.avi").string()},
        {"NOR " + quoted(newline), "name"},
        {"NOR " + quoted(clip) + " --name 'a\nb.avi'", "name"},
        {"NOR " + quoted(clip) + " --name '\xff\xfe.avi'", "name"},
        {"'N\tR' " + quoted(clip) + " --name c.avi", "name"},
    };
    for (const auto& c : cases) {
        const CliRun run = runQelv("wyfs put " + quoted(image) + " " + c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("basic_filebuf"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(readFile(image) == imageBytes) << "the card image changed";
}

}  // namespace

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
using qelv::test::readFile;
using qelv::test::runQelv;

TEST(CardCli, RefusesWhatItCannotReadOrMustNotReplace) {
    const qelv::test::TempDir dir;
    const auto at = [&](const std::string& name) {
        return "'" + (dir.path() / name).string() + "'";
    };
    fs::create_directory(dir.path() / "folder");
    dir.write("plain.txt", "not a folder\n");
    dir.write("clip.avi", "the recorder's bytes");
    dir.write("two\nlines.avi", "bytes");
    dir.write("out.avi.partial", "the user's own file");
    ASSERT_EQ(runQelv("wyfs mkfs " + at("card.img") + " --size 2M").exitCode, 0);
    ASSERT_EQ(runQelv("wyfs put " + at("card.img") + " NOR " + at("clip.avi")).exitCode, 0);
    const std::string image = readFile(dir.path() / "card.img");
    const std::string put = "wyfs put " + at("card.img") + " ";
    const std::string get = "wyfs get " + at("card.img") + " NOR clip.avi ";
    const struct {
        std::string args;
        int exitCode;
        std::string said;
    } cases[] = {
        // A card root or folder that is missing or no folder, whichever option gave it.
        {"scan --drive " + at("missing"), 1, "missing"},
        {"scan --drive " + at("plain.txt"), 1, "plain.txt"},
        {"scan --folder " + at("missing"), 1, "missing"},
        {"scan --folder " + at("plain.txt"), 1, "plain.txt"},
        {"scan --no-repair --drive " + at("folder"), 0, ""},  // an empty card is still a card
        // A mount table that never ends: refused at once, and no card is offered unknowing.
        {"drives --mountinfo /dev/zero", 1, "/dev/zero"},
        // Sources that cannot be read; card names that would break a listing line or are no text.
        {put + "NOR " + at("folder"), 1, "folder"},
        {put + "NOR " + at("missing.avi"), 1, "missing.avi"},
        {put + "NOR " + at("two\nlines.avi"), 1, "name"},
        {put + "NOR " + at("clip.avi") + " --name 'a\nb.avi'", 1, "name"},
        {put + "NOR " + at("clip.avi") + " --name '\xff\xfe.avi'", 1, "name"},
        {put + "'N\tR' " + at("clip.avi") + " --name c.avi", 1, "name"},
        // Targets a copy must not replace, a missing folder, then two good copies.
        {get + at("folder"), 1, "folder"},
        {get + at("card.img"), 1, "card.img"},
        {get + at("missing/out.avi"), 1, "out.avi"},
        {get + at("out.avi"), 0, ""},
        {get + at("plain.txt"), 0, ""},
    };
    for (const auto& c : cases) {
        const qelv::test::CliRun run = runQelv(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << '\n' << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("basic_filebuf"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(readFile(dir.path() / "card.img") == image) << "the card image changed";
    EXPECT_EQ(readFile(dir.path() / "out.avi"), "the recorder's bytes");
    EXPECT_EQ(readFile(dir.path() / "plain.txt"), "the recorder's bytes");
    EXPECT_EQ(readFile(dir.path() / "out.avi.partial"), "the user's own file");
    EXPECT_TRUE(fs::is_empty(dir.path() / "folder"));
    std::set<std::string> names;  // a stray temporary file shows here
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"card.img", "clip.avi", "folder", "out.avi",
                                            "out.avi.partial", "plain.txt", "two\nlines.avi"}));
}

}  // namespace

#include "storage/recording_scanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <sstream>

#include "config/config_store.h"
#include "storage/index_rebuild.h"
#include "storage/recording_listing.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::core {
namespace {

namespace fs = std::filesystem;

class Scanning : public ::testing::Test {
protected:
    Scanning() {
        std::ostringstream diag;
        config.loadFromText(
            "<v><configs><dirs><dir type=\"NOR\">NOR</dir><dir type=\"EVT\">EVT</dir>"
            "<dir type=\"USR\">USR</dir></dirs><extensions><extension>MP4</extension>"
            "<extension>avi</extension></extensions><recursive removal=\"no\" desktop=\"yes\"/>"
            "</configs><lstrings/></v>",
            diag);
        catalogue.applyConfiguration(config);
    }
    void file(const std::string& path, std::string_view bytes = "x") { dir.write(path, bytes); }
    bool select(const SourceDrive& drive, FolderChooser chooser = {}) {
        catalogue.setDrives({drive});
        return selectSource(catalogue, 0, chooser, console);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : catalogue.entries()) {
            out.push_back(e.fileName);
        }
        return out;
    }
    std::vector<std::string> listed(ListFilter filter, bool repair = true) {
        std::vector<std::string> out;
        for (const ListRow& row : listRecordings(catalogue, filter, {repair})) {
            out.push_back(row.number + " " + row.date + " " + row.time + " " + row.type + " " +
                          catalogue.entries()[row.entry].fileName);
        }
        return out;
    }

    test::TempDir dir;
    ConfigStore config;
    RecordingCatalogue catalogue;
    std::ostringstream console;
};

TEST_F(Scanning, FatCardFoldersInOrder) {
    file("NOR/FRONT/20240131_120100_2CH_N_F.mp4");
    file("NOR/REAR/20240131_120100_2CH_N_R1.mp4");
    file("NOR/20240131_115900_1CH_N_F.MP4");  // extension in capitals is accepted
    file("NOR/notes.txt");
    file("EVT/20240131_120000_1CH_E_F.avi");
    ASSERT_TRUE(select({0, dir.path().string() + "/", "", SourceKind::FatDrive}));
    // Without the removal recursion switch only the folders themselves are read.
    EXPECT_EQ(names(), (std::vector<std::string>{"20240131_115900_1CH_N_F.MP4",
                                                 "20240131_120000_1CH_E_F.avi"}));
    ASSERT_EQ(catalogue.folders().size(), 3u);
    EXPECT_EQ(catalogue.folders()[0].path, dir.path().string() + "/NOR/");
    EXPECT_EQ(catalogue.folders()[0].fileCount, 1);
    EXPECT_EQ(catalogue.folders()[2].fileCount, 0);  // USR is missing and still listed
    EXPECT_EQ(catalogue.entries()[1].folderIndex, 1);
    EXPECT_EQ(catalogue.entries()[1].cardFileId, -1);
    EXPECT_EQ(catalogue.selectedDriveIndex(), 0);
    EXPECT_EQ(catalogue.currentKind(), SourceKind::FatDrive);
}

TEST_F(Scanning, RecursionAndLinkLoops) {
    config.loadFromText("<v><configs><recursive removal=\"yes\"/></configs><lstrings/></v>",
                        console);
    catalogue.applyConfiguration(config);
    file("NOR/FRONT/deeper/20240131_120100_2CH_N_F.mp4");
    file("NOR/FRONT/20240131_120000_2CH_N_F.mp4");
    fs::create_directory_symlink(dir.path() / "NOR", dir.path() / "NOR/FRONT/loop");
    ASSERT_TRUE(select({0, dir.path().string(), "", SourceKind::FatDrive}));
    EXPECT_EQ(catalogue.entries().size(), 2u);
    // Two files, and one for each subfolder that could be read (FRONT, deeper).
    EXPECT_EQ(catalogue.folders()[0].fileCount, 4);
}

TEST_F(Scanning, SortKeysAndOrders) {
    file("NOR/20240131_120000_2CH_N_F.mp4");
    file("NOR/20240131_110000_2CH_N_F.mp4");
    file("EVT/20231231_235959_2CH_E_F.mp4");
    ASSERT_TRUE(select({0, dir.path().string(), "", SourceKind::FatDrive}));
    EXPECT_EQ(names(), (std::vector<std::string>{"20231231_235959_2CH_E_F.mp4",
                                                 "20240131_110000_2CH_N_F.mp4",
                                                 "20240131_120000_2CH_N_F.mp4"}));
    // Names only so far; the file's own times are read when the entry is needed.
    EXPECT_TRUE(catalogue.entries()[0].metadataPending);
    RecordingEntry first = catalogue.entries()[0];
    fillMetadata(first);
    EXPECT_FALSE(first.metadataPending);
    EXPECT_GT(first.creationTime, fileTimeFromUnix(1700000000, 0));

    // Equal name times: earlier creation first (later when descending); equal again, the
    // larger file first in both orders.
    RecordingEntry a, b;
    a.fileName = b.fileName = "20240131_120000_1CH_N_F.mp4";
    a.creationTime = b.creationTime = 5;
    a.sizeKB = 1;
    b.sizeKB = 9;
    RecordingEntry c = a;
    c.fileName = "20240131_130000_1CH_N_F.mp4";
    RecordingEntry early = a;
    early.creationTime = 1;
    early.sizeKB = 0;
    for (SortMode mode : {SortMode::Ascending, SortMode::Descending}) {
        catalogue.replaceSource(SourceKind::FatDrive, {}, {a, c, early, b});
        catalogue.setSortMode(mode);
        sortEntries(catalogue);
        std::vector<std::uint64_t> order;
        for (const auto& e : catalogue.entries()) {
            order.push_back(e.fileName == c.fileName ? 100 : e.sizeKB);
        }
        // sizes stand for the entries: early 0, a 1, b 9, c 100
        const std::vector<std::uint64_t> ascending{0, 9, 1, 100};
        const std::vector<std::uint64_t> descending{100, 9, 1, 0};
        EXPECT_EQ(order, mode == SortMode::Ascending ? ascending : descending);
    }
}

// Files renamed or copied by users among the recorder's own. The key is field 0 followed by
// field 1 (a plain split on "_"), compared byte by byte; ties go to the creation time, then
// to the larger file. The expected orders are worked out by hand from those rules.
TEST_F(Scanning, RenamedAndCopiedNamesSortByTheirFields) {
    struct Named {
        const char* name;
        FileTime created;
        std::uint64_t sizeKB;
    };
    // key "20240131120000": A, B, C tie; C and A tie on time too, C is larger.
    const Named A{"20240131_120000_2CH_N_F.mp4", 10, 5};
    const Named B{"20240131_120000_2CH_N_F - Copy.mp4", 20, 5};
    const Named C{"20240131_120000_2CH_N_F(1).mp4", 10, 7};
    const Named D{"20240131_115959_1CH_E_F.mp4", 50, 1};   // "20240131115959"
    const Named E{"20240131_1200_renamed.mp4", 1, 1};      // "202401311200": before A
    const Named F{"20240131120000.mp4", 1, 1};             // no "_": the whole name
    const Named G{"2024-01-31 12-00-00.mp4", 1, 1};        // "-" sorts before digits
    const Named H{"clip.mp4", 30, 1};                      // "clip.mp4"
    const Named I{"clip_.mp4", 30, 2};                     // "clip" + ".mp4": ties with H
    const Named J{"cl_ip.mp4", 25, 1};                     // "cl" + "ip.mp4": ties too
    const Named K{"Clip.mp4", 99, 1};                      // capitals before small letters
    const Named L{"trip_2024.mp4", 1, 1};                  // "trip2024.mp4"
    const Named M{"\xC3\xA9t\xC3\xA9_2024.mp4", 1, 1};     // "été": bytes above ASCII come last
    const Named R{"20240131_120000_2CH_N_R1.mp4", 15, 9};  // a rear file in A's tie
    struct Case {
        const char* what;
        std::vector<Named> given;
        std::vector<Named> ascending, descending;
    };
    const Case cases[] = {
        {"the recorder's names with copies that keep the digits",
         {A, B, D, C, R},
         {D, C, A, R, B},
         {B, R, C, A, D}},
        {"renamed names among the recorder's",
         {L, A, H, M, G, K, B, E, I, D, F, J, C},
         {G, D, E, C, A, B, F, K, J, I, H, L, M},
         {M, L, I, H, J, K, F, B, C, A, E, D, G}},
        {"only renamed names, given in order", {G, F, J, I, H}, {G, F, J, I, H}, {I, H, J, F, G}},
    };
    auto namesOf = [](const std::vector<Named>& list) {
        std::vector<std::string> out;
        for (const Named& n : list) {
            out.emplace_back(n.name);
        }
        return out;
    };
    for (const Case& c : cases) {
        for (SortMode mode : {SortMode::Ascending, SortMode::Descending}) {
            SCOPED_TRACE(std::string(c.what) + (mode == SortMode::Ascending ? " up" : " down"));
            std::vector<RecordingEntry> entries;
            for (const Named& n : c.given) {
                RecordingEntry e;
                e.fileName = e.path = n.name;
                e.creationTime = n.created;
                e.sizeKB = n.sizeKB;
                entries.push_back(e);
            }
            catalogue.replaceSource(SourceKind::PcFolder, {}, entries);
            catalogue.setSortMode(mode);
            sortEntries(catalogue);
            EXPECT_EQ(names(), namesOf(mode == SortMode::Ascending ? c.ascending : c.descending));
        }
    }
}

TEST_F(Scanning, PcFolderChoice) {
    file("clips/sub/20240131_120000_1CH_N_F.mp4");
    const SourceDrive folderLine{-1, "Find in My Computer", "", SourceKind::PcFolder};
    std::string askedTitle;
    ASSERT_TRUE(select(folderLine, [&](const std::string& title) {
        askedTitle = title;
        return std::optional((dir.path() / "clips").string());
    }));
    EXPECT_EQ(askedTitle, "Select Folder");
    EXPECT_EQ(catalogue.entries().size(), 1u);  // the desktop switch recurses
    EXPECT_EQ(catalogue.entries()[0].folderIndex, 0);
    // Cancelled, empty or no chooser at all: the selection fails and keeps the old drive.
    catalogue.setSelectedDrive(-1);
    EXPECT_FALSE(select(folderLine, [](const std::string&) { return std::nullopt; }));
    EXPECT_TRUE(catalogue.entries().empty());
    fs::create_directory(dir.path() / "empty");
    EXPECT_FALSE(select(folderLine, [&](const std::string&) {
        return std::optional((dir.path() / "empty").string());
    }));
    EXPECT_FALSE(select(folderLine));
    EXPECT_EQ(catalogue.selectedDriveIndex(), -1);
    EXPECT_FALSE(selectSource(catalogue, -1, {}, console));
    EXPECT_FALSE(selectSource(catalogue, 5, {}, console));
}

// A list's source is read again by its line, after the drive list changed under it.
TEST_F(Scanning, ADriveLineIsReadWhereverItStandsInTheList) {
    file("NOR/20240131_120000_2CH_N_F.mp4");
    const SourceDrive card{1, dir.path().string() + "/", "", SourceKind::FatDrive};
    catalogue.setDrives({{0, "/elsewhere/", "", SourceKind::FatDrive}, card});
    ASSERT_TRUE(selectDrive(catalogue, card, {}, console));
    EXPECT_EQ(names(), (std::vector<std::string>{"20240131_120000_2CH_N_F.mp4"}));
    EXPECT_EQ(catalogue.selectedDriveIndex(), 1);
    catalogue.setDrives({});  // pulled out of the list, still readable
    file("NOR/20240131_120100_2CH_N_F.mp4");
    ASSERT_TRUE(selectDrive(catalogue, card, {}, console));
    EXPECT_EQ(names().size(), 2u);
    EXPECT_EQ(catalogue.selectedDriveIndex(), -1);
}

TEST_F(Scanning, PeekingIntoAFolderChangesNothing) {
    file("NOR/20240131_120000_2CH_N_F.mp4");
    file("clips/sub/20240131_130000_1CH_E_F.mp4");
    file("clips/notes.txt");
    ASSERT_TRUE(select({0, dir.path().string(), "", SourceKind::FatDrive}));
    listed(ListFilter::Normal);
    std::vector<std::string> peeked;
    for (const RecordingEntry& entry : peekPcFolder(catalogue, (dir.path() / "clips").string())) {
        peeked.push_back(entry.fileName);
    }
    // The folder recursion of the configuration applies, the extension test too.
    EXPECT_EQ(peeked, (std::vector<std::string>{"20240131_130000_1CH_E_F.mp4"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"20240131_120000_2CH_N_F.mp4"}));
    EXPECT_EQ(catalogue.shownCount(), 1u);
    EXPECT_EQ(catalogue.currentKind(), SourceKind::FatDrive);
    EXPECT_TRUE(peekPcFolder(catalogue, (dir.path() / "missing").string()).empty());
}

TEST_F(Scanning, WyfsCardThroughTheLibrary) {
    const auto image = dir.path() / "card.img";
    wyfs::formatImage(image, 8u << 20);
    {
        auto volume = wyfs::Volume::open(image, true);
        volume->addFile("NOR", "20240131_120000_2CH_N_F.avi", std::vector<std::uint8_t>(5000, 1),
                        0);
        volume->addFile("EVT", "20240131_115000_2CH_E_F.avi", std::vector<std::uint8_t>(1023, 1),
                        100);
    }
    ASSERT_TRUE(select({0, image.string() + " (WYFS)", image.string(), SourceKind::WyfsDrive}));
    ASSERT_EQ(catalogue.entries().size(), 2u);
    const RecordingEntry& first = catalogue.entries()[0];
    EXPECT_EQ(first.fileName, "20240131_115000_2CH_E_F.avi");
    EXPECT_EQ(first.path, first.fileName);
    EXPECT_EQ(first.cardName, first.fileName);
    EXPECT_EQ(first.cardFileId, 2);
    EXPECT_EQ(first.sizeKB, 0u);
    EXPECT_EQ(first.creationTime, fileTimeFromCardSeconds(100));
    EXPECT_EQ(catalogue.folders()[0].path, "NOR");
    EXPECT_NE(catalogue.cardDevice(), nullptr);
    // The list: no rebuild is tried on a card name (it names no file here).
    EXPECT_EQ(listed(ListFilter::All).size(), 2u);

    fs::remove(image);
    catalogue.setDrives({{0, "x", image.string(), SourceKind::WyfsDrive}});
    EXPECT_FALSE(selectSource(catalogue, 0, {}, console));
    EXPECT_EQ(console.str(), "WYFS drive cannot be opened\n");
    EXPECT_TRUE(catalogue.entries().empty());
    EXPECT_EQ(catalogue.cardDevice(), nullptr);
}

TEST_F(Scanning, ListingFilters) {
    file("NOR/20240131_120000_2CH_N_F.mp4");
    file("NOR/20240131_120000_2CH_N_R1.mp4");
    file("NOR/20240131_120100_2CH_X_F.mp4");  // no category letter: NONE, under normal
    file("NOR/20240131_120200_F.mp4");        // no channel count: not in the full list
    file("EVT/20240131_120300_1CH_E_F.mp4");
    file("EVT/20240131_120400_1CH_P_F.mp4");
    ASSERT_TRUE(select({0, dir.path().string(), "", SourceKind::FatDrive}));
    EXPECT_EQ(listed(ListFilter::Normal, false),
              (std::vector<std::string>{"001 2024-01-31 12:00:00 NOR 20240131_120000_2CH_N_F.mp4",
                                        "002 2024-01-31 12:01:00 NONE 20240131_120100_2CH_X_F.mp4",
                                        "003 2024-01-31 12:02:00 NONE 20240131_120200_F.mp4"}));
    EXPECT_EQ(
        listed(ListFilter::Parking, false),
        (std::vector<std::string>{"001 2024-01-31 12:04:00 MOT 20240131_120400_1CH_P_F.mp4"}));
    EXPECT_EQ(
        listed(ListFilter::All, false),
        (std::vector<std::string>{"001 2024-01-31 12:00:00 NOR 20240131_120000_2CH_N_F.mp4",
                                  "002 2024-01-31 12:03:00 EVT 20240131_120300_1CH_E_F.mp4",
                                  "003 2024-01-31 12:04:00 MOT 20240131_120400_1CH_P_F.mp4"}));
    EXPECT_EQ(catalogue.shownCount(), 3u);
    EXPECT_EQ(catalogue.shownEntryAt(1)->fileName, "20240131_120300_1CH_E_F.mp4");
    // An empty catalogue: the full listing leaves the shown rows as they were.
    catalogue.replaceSource(SourceKind::FatDrive, {}, {});
    catalogue.setShown({});
    EXPECT_TRUE(listed(ListFilter::All).empty());
}

// The row rule judged from a name alone agrees with the listing above.
TEST(ListRule, NamesAndFilters) {
    struct Case {
        const char* name;
        ListFilter filter;
        bool listed;
    };
    const Case cases[] = {
        {"20240131_120000_2CH_N_F.mp4", ListFilter::Normal, true},
        {"20240131_120000_2CH_N_F.mp4", ListFilter::All, true},
        {"20240131_120000_2CH_N_F.mp4", ListFilter::Event, false},
        {"20240131_120000_2CH_N_R1.mp4", ListFilter::Normal, false},
        {"20240131_120000_2CH_N_R1.mp4", ListFilter::All, false},
        {"20240131_120100_2CH_X_F.mp4", ListFilter::Normal, true},  // no letter counts as normal
        {"20240131_120100_2CH_X_F.mp4", ListFilter::All, false},
        {"20240131_120200_F.mp4", ListFilter::All, false},  // no channel count
        {"20240131_120400_1CH_P_F.mp4", ListFilter::Parking, true},
        {"20240131_120400_1CH_P_F.mp4", ListFilter::All, true},
        {"20240131_120500_1CH_U_F", ListFilter::User, true},
        {"20240131_1CH_U_F.mp4", ListFilter::All, false},  // four fields
        {"", ListFilter::All, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isListed(c.name, c.filter), c.listed)
            << c.name << " filter " << static_cast<int>(c.filter);
    }
}

TEST_F(Scanning, FullListingRepairsUnfinishedRecordings) {
    std::string unfinished;
    const sim::RecordingLayout layout(test::frontSeconds(1));
    for (auto b : sim::RecordingLayout::leadingBytes(0)) {
        unfinished.push_back(static_cast<char>(b));
    }
    for (const auto& sample : layout.samples()) {
        unfinished.append(sample.bytes.begin(), sample.bytes.end());
    }
    unfinished.append(4096, '\0');
    file("NOR/FRONT/20240131_120000_1CH_N_F.mp4", unfinished);
    file("NOR/20240131_120000_1CH_N_F.mp4", unfinished);
    config.loadFromText("<v><configs><recursive removal=\"yes\"/></configs><lstrings/></v>",
                        console);
    catalogue.applyConfiguration(config);
    ASSERT_TRUE(select({0, dir.path().string(), "", SourceKind::FatDrive}));
    listed(ListFilter::Normal);  // a single category never rebuilds
    listed(ListFilter::All, false);
    EXPECT_EQ(test::readFile(dir.path() / "NOR/20240131_120000_1CH_N_F.mp4"), unfinished);
    EXPECT_EQ(listed(ListFilter::All).size(), 2u);
    for (const char* path :
         {"NOR/20240131_120000_1CH_N_F.mp4", "NOR/FRONT/20240131_120000_1CH_N_F.mp4"}) {
        EXPECT_EQ(rebuildIndex(dir.path() / path, CameraChannel::Front, 0).outcome,
                  RebuildOutcome::Intact);
    }
}

TEST_F(Scanning, FullListingRepairsNothingOutsideTheSource) {
    const std::string unfinished =
        test::unfinishedFile(sim::RecordingLayout(test::frontSeconds(1)), 4096);
    // A link on the card that leads out of it, one that stays on it, and a plain file.
    const auto victim = dir.write("outside/victim.mp4", unfinished);
    const auto kept = dir.write("card/store/kept.mp4", unfinished);
    const auto plain = dir.write("card/NOR/20240131_120200_1CH_N_F.mp4", unfinished);
    fs::create_symlink(victim, dir.path() / "card/NOR/20240131_120000_1CH_N_F.mp4");
    fs::create_symlink("../store/kept.mp4", dir.path() / "card/NOR/20240131_120100_1CH_N_F.mp4");
    ASSERT_TRUE(select({0, (dir.path() / "card").string() + "/", "", SourceKind::FatDrive}));
    EXPECT_EQ(listed(ListFilter::All).size(), 3u);  // all listed, whatever they point at
    EXPECT_TRUE(test::readFile(victim) == unfinished) << "a file outside the card was changed";
    EXPECT_EQ(rebuildIndex(kept, CameraChannel::Front, 0).outcome, RebuildOutcome::Intact);
    EXPECT_EQ(rebuildIndex(plain, CameraChannel::Front, 0).outcome, RebuildOutcome::Intact);

    // A folder chosen through a link of its own: its files are inside it.
    const auto linked = dir.write("pc/real/20240131_130000_1CH_N_F.mp4", unfinished);
    fs::create_directory_symlink(dir.path() / "pc/real", dir.path() / "pc/chosen");
    ASSERT_TRUE(select({-1, "Find in My Computer", "", SourceKind::PcFolder},
                       [&](const std::string&) { return (dir.path() / "pc/chosen").string(); }));
    EXPECT_EQ(listed(ListFilter::All).size(), 1u);
    EXPECT_EQ(rebuildIndex(linked, CameraChannel::Front, 0).outcome, RebuildOutcome::Intact);
}

}  // namespace
}  // namespace qelv::core

#include "storage/recording_catalogue.h"

#include <gtest/gtest.h>

#include <sstream>

#include "config/config_store.h"
#include "support/temp_dir.h"

namespace qelv::core {
namespace {

ConfigStore loadConfig(std::string_view configs, std::string_view lstrings) {
    test::TempDir dir;
    const auto path = dir.write("viewerconfig.cfg", "<v><configs>" + std::string(configs) +
                                                        "</configs><lstrings>" +
                                                        std::string(lstrings) + "</lstrings></v>");
    ConfigStore store;
    std::ostringstream diag;
    EXPECT_TRUE(store.load(path, diag));
    return store;
}

TEST(RecordingCatalogue, StartsWithNothingSelected) {
    const RecordingCatalogue catalogue;
    EXPECT_EQ(catalogue.currentKind(), SourceKind::Nothing);
    EXPECT_EQ(catalogue.sortMode(), SortMode::Ascending);
    EXPECT_EQ(catalogue.selectedDriveIndex(), -1);
    EXPECT_EQ(catalogue.selectedDrive(), nullptr);
    EXPECT_EQ(catalogue.folderDialogTitle(), "Select Folder");
    EXPECT_EQ(catalogue.folderSearchText(), "Find in My Computer");
}

TEST(RecordingCatalogue, TakesFoldersExtensionsSwitchesAndCaptions) {
    const ConfigStore config = loadConfig(
        "<language>korean</language>"
        "<dirs><dir type=\"NOR\">NOR</dir><dir type=\"EVT\">EVT</dir></dirs>"
        "<extensions><extension>MP4</extension><extension>mp4</extension>"
        "<extension>Avi</extension></extensions>"
        "<recursive removal=\"no\" desktop=\"yes\"/>",
        "<lstring id=\"COMM_SEL_FOLDER\"><language type=\"korean\">폴더 선택</language></lstring>"
        "<lstring id=\"SELDRV_COMBO_DESKTOP\"><language type=\"korean\"> </language>"
        "<language type=\"english\">Elsewhere</language></lstring>");
    RecordingCatalogue catalogue;
    catalogue.applyConfiguration(config);
    EXPECT_EQ(catalogue.folderNames(), (std::vector<std::string>{"NOR", "EVT"}));
    EXPECT_EQ(catalogue.extensions(), (std::vector<std::string>{"mp4", "avi"}));
    EXPECT_FALSE(catalogue.recurseRemovable());
    EXPECT_TRUE(catalogue.recurseFolder());
    EXPECT_EQ(catalogue.folderDialogTitle(), "폴더 선택");
    // The korean text is blank (collapsed to nothing): the default stays, english is not used.
    EXPECT_EQ(catalogue.folderSearchText(), "Find in My Computer");
    EXPECT_TRUE(catalogue.acceptsExtension("MP4"));
    EXPECT_TRUE(catalogue.acceptsExtension("avi"));
    EXPECT_FALSE(catalogue.acceptsExtension("mov"));
}

TEST(RecordingCatalogue, AccessorsRefuseOutOfRangeIndexes) {
    RecordingCatalogue catalogue;
    catalogue.setDrives({{0, "/media/card/", "/dev/sdb", SourceKind::FatDrive},
                         {1, "Find in My Computer", "", SourceKind::PcFolder}});
    RecordingEntry a;
    a.fileName = "a";
    RecordingEntry b;
    b.fileName = "b";
    catalogue.replaceSource(SourceKind::FatDrive, {RecordingFolder{"/media/card/NOR/", "", 2}},
                            {a, b});
    catalogue.setShown({1, 7, 0});  // 7 is no entry and is dropped

    for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{2}, std::int64_t{1} << 40}) {
        EXPECT_EQ(catalogue.driveAt(bad), nullptr);
        EXPECT_EQ(catalogue.entryAt(bad), nullptr);
        EXPECT_EQ(catalogue.shownEntryAt(bad), nullptr);
    }
    EXPECT_EQ(catalogue.folderAt(1), nullptr);
    EXPECT_EQ(catalogue.folderAt(0)->fileCount, 2);
    EXPECT_EQ(catalogue.shownCount(), 2u);
    EXPECT_EQ(catalogue.shownEntryAt(0)->fileName, "b");
    EXPECT_EQ(catalogue.shownEntryAt(1)->fileName, "a");

    EXPECT_EQ(catalogue.selectedDrive(), nullptr);
    catalogue.setSelectedDrive(1);
    EXPECT_EQ(catalogue.selectedDrive()->kind, SourceKind::PcFolder);
    catalogue.setSelectedDrive(2);
    EXPECT_EQ(catalogue.selectedDrive(), nullptr);

    // A new source empties the shown rows with the old entries.
    catalogue.replaceSource(SourceKind::PcFolder, {}, {});
    EXPECT_EQ(catalogue.shownCount(), 0u);
    EXPECT_EQ(catalogue.shownEntryAt(0), nullptr);
}

TEST(RecordingCatalogue, ChannelFilesOnlyForSeparateFiles) {
    RecordingCatalogue catalogue;
    RecordingEntry fat;
    fat.path = "/media/card/NOR/FRONT/20240131_235958_3CH_N_F.mp4";
    RecordingEntry card = fat;
    card.cardFileId = 12;
    catalogue.replaceSource(SourceKind::FatDrive, {}, {fat});
    EXPECT_EQ(catalogue.channelFiles(fat).third,
              "/media/card/NOR/REAR/20240131_235958_3CH_N_R2.mp4");
    EXPECT_FALSE(catalogue.channelFiles(card).second);
    catalogue.replaceSource(SourceKind::WyfsDrive, {}, {card});
    EXPECT_FALSE(catalogue.channelFiles(fat).second);
}

}  // namespace
}  // namespace qelv::core

// The storage figures of a card: budgets, counted recordings, estimates, texts and bars.
#include "tools/storage_estimate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "support/temp_dir.h"

namespace qelv::core {
namespace {

// A card whose folders hold `files`.
CardFolderLister fakeCard(std::map<std::string, std::vector<std::string>> files) {
    return [files = std::move(files)](const std::string& folder) {
        const auto it = files.find(folder);
        return it == files.end() ? std::vector<std::string>{} : it->second;
    };
}

std::vector<std::string> names(int count, const std::string& suffix) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        out.push_back("20240131_1200" + std::to_string(10 + i) + "_2CH_N_" + suffix);
    }
    return out;
}

TEST(StorageEstimate, ThirtyTwoGigabytesWithTenRecordingsOfEachCamera) {
    const StorageFigures figures = estimateStorage(
        32768, fakeCard({{"NOR/FRONT", names(10, "F.mp4")}, {"NOR/REAR", names(10, "R1.mp4")}}));
    const CategoryUsage& normal = figures.categories[0];
    EXPECT_EQ(normal.budgetMb, 16384);
    EXPECT_EQ(normal.usedMb, 1060);
    EXPECT_EQ(normal.totalText, "Total: 16384 MB / Used: 1060 MB");
    EXPECT_EQ(normal.percentText, "6.5% used");
    EXPECT_EQ(normal.barMax, 16384);
    EXPECT_EQ(normal.barPosition, 1060);
    const std::int64_t budgets[] = {16384, 6553, 6553, 3276};
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(figures.categories[i].budgetMb, budgets[i]);
        EXPECT_EQ(figures.categories[i].usedMb, 0);
        EXPECT_EQ(figures.categories[i].percentText, "0.0% used");
    }
}

TEST(StorageEstimate, OnlyTheRecordersOwnNamesCount) {
    struct Case {
        const char* name;
        bool front;
        bool rear;
    };
    const Case cases[] = {
        {"20240131_120000_2CH_N_F.mp4", true, false},
        {"20240131_120000_2CH_N_f.mp4", false, false},
        {"20240131_120000_2CH_N_R1.mp4", false, true},
        {"20240131_120000_3CH_N_R2.mp4", false, true},
        {"20240131_120000_3CH_N_R3.mp4", false, false},
        {"20240131_120000_2CH_N_F.avi", false, false},
        {"20240131_120000_N_F.mp4", false, false},
        {"F.mp4", false, false},
        {"", false, false},
        {"a_b_c_d_F.mp4_extra", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isCountedFront(c.name), c.front);
        EXPECT_EQ(isCountedRear(c.name), c.rear);
    }
}

TEST(StorageEstimate, ParkingCountsAtItsOwnSizesAndAFullBudgetOverflows) {
    // 1000 MB card: parking's budget is 200 MB; six front and five rear files use 300 MB.
    const StorageFigures figures = estimateStorage(
        1000, fakeCard({{"MOT/FRONT", names(6, "F.mp4")}, {"MOT/REAR", names(5, "R2.mp4")}}));
    const CategoryUsage& parking = figures.categories[2];
    EXPECT_EQ(parking.budgetMb, 200);
    EXPECT_EQ(parking.usedMb, 6 * 35 + 5 * 18);
    EXPECT_EQ(parking.percentText, "150.0% used");
    EXPECT_EQ(parking.barPosition, parking.barMax);
}

TEST(StorageEstimate, BigCardsScaleTheBarAndNoCardShowsNothing) {
    const StorageFigures big =
        estimateStorage(1'000'000, fakeCard({{"NOR/FRONT", names(100, "F.mp4")}}));
    const CategoryUsage& normal = big.categories[0];
    EXPECT_EQ(normal.budgetMb, 500000);
    EXPECT_LE(normal.barMax, 65535);
    EXPECT_GT(normal.barMax, 65535 / 2);
    EXPECT_NEAR(static_cast<double>(normal.barPosition) / normal.barMax, 7000.0 / 500000, 1e-3);

    const StorageFigures none = estimateStorage(0, nullptr);
    for (const CategoryUsage& usage : none.categories) {
        EXPECT_EQ(usage.totalText, "  0 MB");
        EXPECT_EQ(usage.percentText, "0.0% used");
        EXPECT_EQ(usage.barMax, 0);
    }
    EXPECT_EQ(capacityText("/media/card/", 30436), "/media/card/ (29.72 GB)");
}

TEST(StorageEstimate, AMountedCardCountsFilesNotFolders) {
    const test::TempDir card;
    std::filesystem::create_directories(card.path() / "NOR" / "FRONT" / "x_x_x_x_F.mp4");
    std::ofstream(card.path() / "NOR" / "FRONT" / "a_b_c_d_F.mp4") << "";
    std::ofstream(card.path() / "NOR" / "REAR" / "a_b_c_d_R1.mp4") << "";  // no such folder
    const StorageFigures figures = estimateStorage(2048, mountedCardLister(card.path().string()));
    EXPECT_EQ(figures.categories[0].frontFiles, 1);
    EXPECT_EQ(figures.categories[0].rearFiles, 0);
    EXPECT_EQ(figures.categories[0].usedMb, 70);
}

TEST(StorageEstimate, WyfsRecordingsCountEveryCameraTheirNameGives) {
    const std::map<std::string, std::vector<std::string>> dirs{
        {"NOR",
         {"20240131_120000_1CH_N_F.avi", "20240131_120100_2CH_N_F.avi",
          "20240131_120200_3CH_N_F.avi", "20240131_120300_xCH_N_F.avi", "junk.txt",
          "20240131_120400_2CH_N_R1.avi"}},
        {"USR", {"20240131_130000_3CH_U_F.avi"}},
    };
    const auto files = countWyfsRecordings([&](const std::string& dir) {
        const auto it = dirs.find(dir);
        return it == dirs.end() ? std::vector<std::string>{} : it->second;
    });
    // A name without a camera count counts its front only; what is no front recording, not.
    EXPECT_EQ(files[0].front, 4);
    EXPECT_EQ(files[0].rear, 3);
    EXPECT_EQ(files[3].front, 1);
    EXPECT_EQ(files[3].rear, 2);
    const StorageFigures figures = estimateStorage(1000, files);
    EXPECT_EQ(figures.categories[0].usedMb, 4 * 70 + 3 * 36);
    EXPECT_EQ(figures.categories[3].usedMb, 35 + 2 * 18);
    EXPECT_EQ(figures.categories[1].totalText, "Total: 200 MB / Used: 0 MB");
}

}  // namespace
}  // namespace qelv::core

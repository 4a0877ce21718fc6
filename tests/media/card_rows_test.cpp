// The same recordings on a FAT card and on a WyFS card list as the same rows.
#include <gtest/gtest.h>

#include <sstream>

#include "config/config_store.h"
#include "simulator/recorder_simulator.h"
#include "storage/recording_listing.h"
#include "storage/recording_scanner.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv {
namespace {

std::vector<std::string> rowsOf(const core::SourceDrive& drive, core::ListFilter filter) {
    core::ConfigStore config;
    std::ostringstream diag;
    EXPECT_TRUE(config.load(QELV_BUNDLED_CONFIG, diag));
    core::RecordingCatalogue catalogue;
    catalogue.applyConfiguration(config);
    catalogue.setDrives({drive});
    EXPECT_TRUE(core::selectSource(catalogue, 0, {}, diag));
    std::vector<std::string> rows;
    for (const auto& row : core::listRecordings(catalogue, filter)) {
        rows.push_back(row.number + " " + row.date + " " + row.time + " " + row.type);
    }
    return rows;
}

TEST(CardRows, WyfsCardListsLikeTheFatCard) {
    test::TempDir dir;
    const auto image = dir.path() / "card.img";
    wyfs::formatImage(image, 32u << 20);
    auto volume = wyfs::Volume::open(image, true);
    const core::RecordingCategory categories[] = {
        core::RecordingCategory::Event, core::RecordingCategory::Normal,
        core::RecordingCategory::User, core::RecordingCategory::Parking};
    for (int i = 0; i < 4; ++i) {
        sim::RecordingRequest request;
        request.cardRoot = dir.path() / "fat";
        request.start = sim::addSeconds({2024, 3, 1, 8, 0, 0}, (3 - i) * 60);
        request.seconds = 1;
        request.channels = 2;
        request.category = categories[i];
        request.complete = i != 2;
        request.seed = static_cast<std::uint64_t>(i);
        request.bitrateScale = 0.05;
        sim::simulateRecording(request);
        const sim::SimulatedCardFile card = sim::simulateCardRecording(request);
        volume->addFile(std::string(sim::categoryFolder(request.category)), card.name, card.bytes,
                        card.time);
    }
    volume.reset();
    const core::SourceDrive fat{0, (dir.path() / "fat").string(), "", core::SourceKind::FatDrive};
    const core::SourceDrive card{0, image.string() + " (WYFS)", image.string(),
                                 core::SourceKind::WyfsDrive};
    for (core::ListFilter filter : {core::ListFilter::All, core::ListFilter::Normal,
                                    core::ListFilter::Event, core::ListFilter::User}) {
        SCOPED_TRACE(static_cast<int>(filter));
        const auto rows = rowsOf(fat, filter);
        EXPECT_EQ(rows, rowsOf(card, filter));
        EXPECT_FALSE(rows.empty());
    }
    EXPECT_EQ(
        rowsOf(fat, core::ListFilter::All),
        (std::vector<std::string>{"001 2024-03-01 08:00:00 MOT", "002 2024-03-01 08:01:00 USR",
                                  "003 2024-03-01 08:02:00 NOR", "004 2024-03-01 08:03:00 EVT"}));
}

}  // namespace
}  // namespace qelv

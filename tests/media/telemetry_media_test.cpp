// The telemetry of a simulated recording reads the same from an MP4 file (complete or
// rebuilt) and from the WyFS card's AVI file, and exports as a route map tools can load.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cmath>

#include "simulator/recorder_simulator.h"
#include "storage/card_file_source.h"
#include "storage/index_rebuild.h"
#include "support/temp_dir.h"
#include "telemetry/telemetry_export.h"
#include "wyfs/wyfs_volume.h"

namespace qelv {
namespace {

std::vector<core::ExportedRecord> recordsOfFile(const std::filesystem::path& path) {
    const std::string bytes = test::readFile(path);
    core::MemorySource source(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    core::TextTrackSource track(source);
    return core::readAllRecords(track);
}

TEST(TelemetryMedia, SameRecordsFromMp4RebuiltMp4AndCardAvi) {
    test::TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path() / "complete";
    request.seconds = 8;
    request.channels = 1;
    request.seed = 21;
    request.bitrateScale = 0.05;
    const auto complete = sim::simulateRecording(request);
    request.cardRoot = dir.path() / "unfinished";
    request.complete = false;
    const auto unfinished = sim::simulateRecording(request);
    const auto& cut = unfinished.files[0];
    ASSERT_EQ(core::rebuildIndex(cut.path, cut.camera, cut.sizeClass).outcome,
              core::RebuildOutcome::Rebuilt);

    const auto image = dir.path() / "card.img";
    wyfs::formatImage(image, 16u << 20);
    const sim::SimulatedCardFile card = sim::simulateCardRecording(request);
    wyfs::Volume::open(image, true)->addFile("NOR", card.name, card.bytes, card.time);
    CardDeviceHandle device{};
    ASSERT_EQ(QV_WyFS_Device_Open(image.c_str(), 130, &device), 0);
    std::vector<core::ExportedRecord> fromCard;
    {
        core::CardFileSource source(&device, "NOR", card.name);
        ASSERT_TRUE(source.valid());
        core::TextTrackSource track(source);
        fromCard = core::readAllRecords(track);
    }
    QV_WyFS_Device_Close(&device);

    const auto fromComplete = recordsOfFile(complete.files[0].path);
    ASSERT_EQ(fromComplete.size(), 8u);
    const std::string json = core::exportJson(fromComplete);
    EXPECT_EQ(core::exportJson(recordsOfFile(cut.path)), json);
    EXPECT_EQ(core::exportJson(fromCard), json);

    // GPX 1.1 that follows the simulated drive.
    const std::string gpx = core::exportGpx(fromComplete, "drive");
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.Parse(gpx.c_str()), tinyxml2::XML_SUCCESS);
    const auto* root = document.FirstChildElement("gpx");
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Attribute("version"), "1.1");
    EXPECT_STREQ(root->Attribute("xmlns"), "http://www.topografix.com/GPX/1/1");
    const auto plan = sim::planDrive(request.seconds, request.seed);
    int points = 0;
    int second = 0;
    for (const auto* point =
             root->FirstChildElement("trk")->FirstChildElement("trkseg")->FirstChildElement(
                 "trkpt");
         point != nullptr; point = point->NextSiblingElement("trkpt"), ++points) {
        while (!plan[static_cast<std::size_t>(second)].fix) {
            ++second;
        }
        const auto& truth = plan[static_cast<std::size_t>(second++)];
        EXPECT_NEAR(point->DoubleAttribute("lat"), truth.latitude, 1e-5);
        EXPECT_NEAR(point->DoubleAttribute("lon"), truth.longitude, 1e-5);
        ASSERT_NE(point->FirstChildElement("time"), nullptr);
    }
    EXPECT_EQ(points, 6);  // eight seconds, the first two without a fix
}

}  // namespace
}  // namespace qelv

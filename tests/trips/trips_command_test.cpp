// `qelv trips` on a simulated card: a drive of three recordings (the middle one never finished,
// a fourth of bytes that are no recording) with an event recording during it, a parking
// recording, and a later drive; every file of the card unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "cli/cli_run.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

namespace qelv {
namespace {

namespace fs = std::filesystem;

TEST(TripsCommand, JoinsTheDrivesRecordingsWithTheirIncidentsAndMarkers) {
    test::TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path();
    request.channels = 1;
    request.bitrateScale = 0.01;
    request.samePictures = true;
    request.seconds = 20;
    request.drive = {true, 1};
    struct Made {
        int at;  // seconds after 12:00:00
        core::RecordingCategory category;
        bool complete;
    };
    std::map<int, std::string> files;
    std::size_t incidents = 0;
    for (const Made& m : {Made{0, core::RecordingCategory::Normal, true},
                          Made{20, core::RecordingCategory::Normal, false},
                          Made{30, core::RecordingCategory::Event, true},
                          Made{61, core::RecordingCategory::Normal, true},
                          Made{120, core::RecordingCategory::Parking, true},
                          Made{200, core::RecordingCategory::Normal, true}}) {
        request.start = sim::addSeconds({2024, 1, 31, 12, 0, 0}, m.at);
        request.category = m.category;
        request.complete = m.complete;
        request.seed = static_cast<std::uint64_t>(m.at) + 7;
        const auto made = sim::simulateRecording(request);
        files[m.at] = made.files[0].path.string();
        incidents +=
            m.at < 61 && m.category == core::RecordingCategory::Normal ? made.incidents.size() : 0;
    }
    // Bytes named like the recording between the second and the fourth: read as nothing.
    const fs::path junk =
        dir.write("NOR/FRONT/20240131_120040_1CH_N_F.mp4", "not a recording at all");
    std::map<fs::path, std::string> before;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            before[entry.path()] = test::readFile(entry.path());
        }
    }

    const test::CliRun run = test::runQelv("trips '" + dir.path().string() + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(junk.string() + ": cannot be read"), std::string::npos) << run.err;
    const std::string first = run.out.substr(0, run.out.find('\n'));
    const std::string expected =
        "{\"start\": \"2024-01-31 12:00:00\", \"end\": \"2024-01-31 12:01:21\", \"durationS\": 81, "
        "\"channels\": 1, \"recordings\": [\"" +
        files[0] + "\", \"" + files[20] + "\", \"" + junk.string() + "\", \"" + files[61] + "\"]";
    EXPECT_EQ(first.substr(0, expected.size()), expected) << first;
    EXPECT_NE(first.find("\"markers\": [{\"file\": \"" + files[30] +
                         "\", \"category\": \"EVT\", \"tripOffsetMs\": 30000}]"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("\"unreadable\": [\"" + junk.string() + "\"]"), std::string::npos);
    // The simulator drives at a steady pace between its incidents: some distance, a top speed.
    EXPECT_EQ(first.find("\"distanceKm\": 0.00"), std::string::npos) << first;
    EXPECT_EQ(first.find("\"topSpeedKmh\": null"), std::string::npos) << first;
    std::size_t listed = 0;
    for (std::size_t at = first.find("\"kind\""); at != std::string::npos;
         at = first.find("\"kind\"", at + 1)) {
        ++listed;
    }
    EXPECT_GE(listed, incidents) << first;
    // The later drive is a trip of its own; parking makes none.
    const std::string rest = run.out.substr(first.size() + 1);
    EXPECT_NE(rest.find("\"start\": \"2024-01-31 12:03:20\""), std::string::npos) << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1);

    for (const auto& [path, bytes] : before) {
        EXPECT_EQ(test::readFile(path), bytes) << path;
    }
    EXPECT_EQ(test::runQelv("trips").exitCode, 2);
    EXPECT_EQ(test::runQelv("trips --gap -1 '" + dir.path().string() + "'").exitCode, 2);
}

}  // namespace
}  // namespace qelv

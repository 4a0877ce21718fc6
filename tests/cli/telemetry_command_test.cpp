// `qelv telemetry` tells a recording without telemetry from a file it cannot read as one.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "storage/movie_box.h"
#include "support/synthetic_samples.h"
#include "support/telemetry_movie.h"
#include "support/temp_dir.h"

namespace qelv::test {
namespace {

// A closed recording of `samples` with the movie box the recorder writes for `camera`.
std::string closedRecording(const std::vector<sim::Sample>& samples, core::CameraChannel camera) {
    const sim::RecordingLayout layout(samples);
    std::string file = unfinishedFile(layout, 0);
    const auto size = static_cast<std::uint32_t>(layout.dataEnd() - 40);
    for (int i = 0; i < 4; ++i) {
        file[40 + i] = static_cast<char>(size >> (24 - 8 * i));
    }
    const auto moov = core::buildMovieBox(layout.tables(), camera, core::mp4::kVideo1080);
    return file.append(moov.begin(), moov.end());
}

TEST(QelvTelemetry, NoTelemetryIsEmptyButAnUnreadableFileIsAnError) {
    std::vector<sim::Sample> rearSamples;
    for (int f = 0; f < 30; ++f) {
        rearSamples.push_back(f % 2 == 0 ? audioSample(200) : videoSample(900, f == 1));
    }
    const std::string front = closedRecording(frontSeconds(2), core::CameraChannel::Front);
    // The front recording's data, then a movie box of garbage.
    const std::uint32_t dataSize = (std::uint32_t{static_cast<std::uint8_t>(front[40])} << 24) |
                                   (std::uint32_t{static_cast<std::uint8_t>(front[41])} << 16) |
                                   (std::uint32_t{static_cast<std::uint8_t>(front[42])} << 8) |
                                   static_cast<std::uint8_t>(front[43]);
    const std::string garbageMovie =
        front.substr(0, 40 + dataSize) + mp4Box("moov", std::string(3000, '\x7F'));
    struct Case {
        const char* what;
        std::string bytes;
        int exitCode;
        const char* out;  // nullptr: any output with fixes
    };
    const std::string empty = "{\"fixes\": [], \"samples\": []}\n";
    const Case cases[] = {
        {"a front recording", front, 0, nullptr},
        // The recorder's rear files have a telemetry track without records.
        {"a rear recording", closedRecording(rearSamples, core::CameraChannel::Rear), 0,
         empty.c_str()},
        {"a recording without a telemetry track",
         telemetryMovie("data", 4, 1, {0}, {{1, 1}}, "vide"), 0, empty.c_str()},
        {"a text file", "these are my notes, not a recording\n", 1, ""},
        {"an empty file", "", 1, ""},
        {"a movie box of garbage", garbageMovie, 1, ""},
        {"an unfinished recording", unfinishedFile(sim::RecordingLayout(frontSeconds(1)), 0), 1,
         ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = dir.write("20240131_120000_2CH_N_F.mp4", c.bytes);
        const CliRun run = runQelv("telemetry '" + path.string() + "'");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        if (c.out != nullptr) {
            EXPECT_EQ(run.out, c.out);
        } else {
            EXPECT_NE(run.out.find("\"fixes\": [{"), std::string::npos) << run.out;
        }
        // A failure says why on standard error, and only then.
        EXPECT_EQ(run.err.rfind("qelv telemetry: ", 0) == 0, c.exitCode != 0) << run.err;
    }
    EXPECT_EQ(runQelv("telemetry '" + dir.path().string() + "'").exitCode, 1);
    EXPECT_EQ(runQelv("telemetry '" + (dir.path() / "missing.mp4").string() + "'").exitCode, 1);
    EXPECT_EQ(runQelv("telemetry").exitCode, 2);
}

}  // namespace
}  // namespace qelv::test

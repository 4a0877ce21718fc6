// Telemetry files as xmllint reads them back: merged in start order or one each, never over a
// file that is there; a recording not read or a file not written is named, not hidden.
#include "telemetry/telemetry_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

#include "support/route_file.h"
#include "support/telemetry_movie.h"
#include "support/temp_dir.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::core {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRecordSize = 96;

// A fix at `minutes` past 37° N and 126° E, as the recorder writes it.
std::string fix(double minutes, char status = 'A') {
    char text[kRecordSize];
    std::snprintf(text, sizeof text, "G$GPRMC,120000.00,%c,37%07.4f,N,126%07.4f,E,10.0,90.0,310124",
                  status, minutes, minutes);
    return text;
}

// Whether `point` (latitude, longitude) is the place of fix(minutes), to the files' decimals.
bool at(const std::pair<double, double>& point, double minutes) {
    return std::abs(point.first - (37 + minutes / 60)) < 1e-6 &&
           std::abs(point.second - (126 + minutes / 60)) < 1e-6;
}

// An MP4 file holding only a telemetry track of `sentences`, one record each.
std::string movie(const std::vector<std::string>& sentences) {
    std::string data;
    for (const std::string& s : sentences) {
        data += s + std::string(kRecordSize - s.size(), '\0');
    }
    const auto count = static_cast<std::uint32_t>(sentences.size());
    return test::telemetryMovie(data, kRecordSize, count, {0}, {{1, count}});
}

class TelemetryFilesTest : public ::testing::Test {
protected:
    TelemetryFilesTest() {
        // Given out of order: 12:01, 11:58 (past its first minute, on a WyFS card), 12:02.
        std::vector<std::string> onCard;
        for (int k = 0; k < 70; ++k) {
            onCard.push_back(fix(10 + k * 0.01));
        }
        const auto image = dir.path() / "card.img";
        wyfs::formatImage(image, 8u << 20);
        const std::string bytes = movie(onCard);
        wyfs::Volume::open(image, true)
            ->addFile("NOR", kCard,
                      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      0);
        EXPECT_EQ(QV_WyFS_Device_Open(image.c_str(), 130, &card), 0);
        const auto file = [this](const char* name, const std::vector<std::string>& sentences) {
            return RecordingLocation{dir.write(name, movie(sentences)).string()};
        };
        recordings = {
            {kFirst, recordingStartSeconds(kFirst, 0), file(kFirst, {fix(1), fix(3)})},
            {kCard, recordingStartSeconds(kCard, 0), {{}, &card, "NOR", kCard}},
            {kLast, recordingStartSeconds(kLast, 0), file(kLast, {fix(40), fix(0, 'V'), fix(41)})}};
        fs::create_directory(out);
    }
    ~TelemetryFilesTest() override { QV_WyFS_Device_Close(&card); }

    static constexpr const char* kFirst = "20240131_120100_1CH_N_F.mp4";
    static constexpr const char* kCard = "20240131_115800_1CH_N_F.mp4";
    static constexpr const char* kLast = "20240131_120200_1CH_E_F.mp4";

    test::TempDir dir;
    fs::path out = dir.path() / "out";
    CardDeviceHandle card{};
    std::vector<TelemetryRecording> recordings;
};

TEST_F(TelemetryFilesTest, MergedFilesFollowTheStartTimesAndEachFileIsNamedAfterItsRecording) {
    for (const TelemetryFormat format : {TelemetryFormat::Gpx, TelemetryFormat::Kml}) {
        const std::string ext(extensionOf(format));
        SCOPED_TRACE(ext);
        const fs::path merged = out / ("drive." + ext);
        EXPECT_EQ(exportMerged(recordings, format, merged.string()).written,
                  std::vector<std::string>{merged.string()});
        const auto route = test::routeOf(merged);
        ASSERT_EQ(route.size(), 70u + 2 + 2);  // the invalid fix is no point
        EXPECT_TRUE(at(route.front(), 10) && at(route[70], 1) && at(route.back(), 41));

        // One file each; the name already taken is numbered and the file there kept.
        const fs::path taken = out / ("20240131_120100_1CH_N_F." + ext);
        std::ofstream(taken) << "keep";
        const ExportOutcome each = exportEach(recordings, format, out.string());
        EXPECT_TRUE(each.failed.empty() && each.unreadable.empty());
        EXPECT_EQ(each.written,
                  (std::vector<std::string>{(out / ("20240131_120100_1CH_N_F (2)." + ext)).string(),
                                            (out / ("20240131_115800_1CH_N_F." + ext)).string(),
                                            (out / ("20240131_120200_1CH_E_F." + ext)).string()}));
        EXPECT_EQ(test::readFile(taken), "keep");
        const std::pair<std::size_t, double> ends[] = {{2, 3}, {70, 10.69}, {2, 41}};
        for (std::size_t k = 0; k < each.written.size(); ++k) {
            const auto points = test::routeOf(each.written[k]);
            EXPECT_EQ(points.size(), ends[k].first) << each.written[k];
            EXPECT_TRUE(!points.empty() && at(points.back(), ends[k].second)) << each.written[k];
        }
    }
}

TEST_F(TelemetryFilesTest, MergedCsvHasTheCommandsColumnsAndTimesFromTheFirstStart) {
    const fs::path merged = out / "drive.csv";
    ASSERT_EQ(exportMerged(recordings, TelemetryFormat::Csv, merged.string()).written.size(), 1u);
    std::istringstream lines(test::readFile(merged));
    std::string row;
    std::getline(lines, row);
    EXPECT_EQ(row + "\n", exportCsv({}));  // the header `qelv telemetry --format csv` prints
    // 11:58:00 for 70 s, 12:01:00 (180 s later) and 12:02:00 (240 s), a row per record.
    std::vector<int> times, expected(70);
    std::iota(expected.begin(), expected.end(), 0);
    expected.insert(expected.end(), {180, 181, 240, 241, 242});
    while (std::getline(lines, row)) {
        times.push_back(std::stoi(row.substr(0, row.find(','))));
    }
    EXPECT_EQ(times, expected);
}

TEST_F(TelemetryFilesTest, AnUnreadableRecordingIsNamedAndTheOthersAreWritten) {
    const fs::path garbage = dir.write("20240131_120300_1CH_N_F.mp4", "no movie at all");
    recordings.insert(recordings.begin(),
                      TelemetryRecording{"20240131_120300_1CH_N_F.mp4", 0, {garbage.string()}});
    recordings.push_back(
        TelemetryRecording{"gone_F.mp4", 0, {(dir.path() / "gone_F.mp4").string()}});
    for (const bool merged : {true, false}) {
        const ExportOutcome outcome =
            merged ? exportMerged(recordings, TelemetryFormat::Gpx, (out / "all.gpx").string())
                   : exportEach(recordings, TelemetryFormat::Gpx, out.string());
        EXPECT_EQ(outcome.written.size(), merged ? 1u : 3u);
        const std::string told = troublesText(outcome);
        EXPECT_EQ(told.find("Cannot read 20240131_120300_1CH_N_F.mp4: "), 0u) << told;
        EXPECT_NE(told.find("\nCannot read gone_F.mp4: "), std::string::npos) << told;
    }
    EXPECT_EQ(test::routeOf(out / "all.gpx").size(), 74u);

    // Forty recordings gone: ten are named, then how many more.
    const std::vector<TelemetryRecording> gone(40, recordings.back());
    const std::string told = troublesText(exportEach(gone, TelemetryFormat::Gpx, out.string()));
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 12) << told;
    EXPECT_NE(told.find("\n... and 30 more.\nNo file was written.\n"), std::string::npos) << told;
}

TEST_F(TelemetryFilesTest, AFailedWriteLeavesNoFileAndNamesIt) {
    fs::create_directory(out / "taken.gpx");
    const fs::path plain = dir.write("plain", "x");
    // Another camera's file of a recording: replacing it would lose that camera's video.
    const fs::path rear = dir.write("out/REC_20260101_120000_R.MP4", "rear video");
    struct Case {
        const char* what;
        fs::path target;  // a merged file, or the folder of one file each
        bool merged;
        bool diskFull = false;  // files cannot grow past 100 bytes while it writes
    };
    const Case cases[] = {
        {"missing folder", out / "missing" / "all.gpx", true},
        {"a folder of that name", out / "taken.gpx", true},
        {"under a plain file", plain / "all.gpx", true},
        {"a recording's own file", recordings[0].location.path, true},
        {"another camera's file", rear, true},
        {"a disk that fills up", out / "all.gpx", true, true},
        {"a disk that fills up, one file each", out, false, true},
    };
    const std::string recording = test::readFile(recordings[0].location.path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rlimit before{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
        if (c.diskFull) {
            std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
            const rlimit full{100, before.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        }
        const ExportOutcome outcome =
            c.merged ? exportMerged(recordings, TelemetryFormat::Gpx, c.target.string())
                     : exportEach(recordings, TelemetryFormat::Gpx, c.target.string());
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
        EXPECT_TRUE(outcome.written.empty());
        ASSERT_FALSE(outcome.failed.empty());
        const std::string told = troublesText(outcome);
        EXPECT_EQ(told.rfind("Cannot save " + c.target.string(), 0), 0u) << told;
        // Only the folder of that name and the rear file in `out`; beside it the card, two
        // recordings and plain.
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 2);
        EXPECT_EQ(test::readFile(rear), "rear video");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 5);
    }
    EXPECT_EQ(test::readFile(recordings[0].location.path), recording);
}

}  // namespace
}  // namespace qelv::core

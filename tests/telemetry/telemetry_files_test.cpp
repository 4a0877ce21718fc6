// Telemetry saved to files as other programs read them back (xmllint): merged in the order of
// the recordings' start times or one file each, never over a file that is there, and a
// recording that cannot be read or a folder that cannot be written is named, not hidden.
#include "telemetry/telemetry_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
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

// The decimal degrees of fix(minutes): latitude, longitude.
std::pair<double, double> degrees(double minutes) {
    return {37 + minutes / 60, 126 + minutes / 60};
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

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TelemetryFilesTest : public ::testing::Test {
protected:
    TelemetryFilesTest() {
        // The first given starts last-but-one; the middle one runs past its first minute and
        // lies on a WyFS card.
        std::vector<std::string> minute, middle;
        for (int k = 0; k < 70; ++k) {
            middle.push_back(fix(10 + k * 0.01));
        }
        const auto image = dir.path() / "card.img";
        wyfs::formatImage(image, 8u << 20);
        const std::string onCard = movie(middle);
        wyfs::Volume::open(image, true)
            ->addFile(
                "NOR", "20240131_115800_1CH_N_F.mp4",
                std::span(reinterpret_cast<const std::uint8_t*>(onCard.data()), onCard.size()), 0);
        EXPECT_EQ(QV_WyFS_Device_Open(image.c_str(), 130, &card), 0);
        add("20240131_120100_1CH_N_F.mp4", {fix(1), fix(2), fix(3)});
        recordings.push_back({"20240131_115800_1CH_N_F.mp4",
                              0,
                              {{}, &card, "NOR", "20240131_115800_1CH_N_F.mp4", nullptr}});
        add("20240131_120200_1CH_E_F.mp4", {fix(40), fix(0, 'V'), fix(41)});
        for (TelemetryRecording& r : recordings) {
            r.startSeconds = recordingStartSeconds(r.name, 0);
        }
        fs::create_directory(out);
    }
    ~TelemetryFilesTest() override { QV_WyFS_Device_Close(&card); }

    void add(const std::string& name, const std::vector<std::string>& sentences) {
        const fs::path path = dir.write(name, movie(sentences));
        recordings.push_back({name, 0, {path.string(), nullptr, {}, {}, nullptr}});
    }

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
        ASSERT_EQ(route.size(), 70u + 3 + 2);  // the invalid fix is no point
        const auto [firstLat, firstLon] = degrees(10);
        EXPECT_NEAR(route.front().first, firstLat, 1e-6);
        EXPECT_NEAR(route.front().second, firstLon, 1e-6);
        EXPECT_NEAR(route[70].first, degrees(1).first, 1e-6);  // then the 12:01 recording
        EXPECT_NEAR(route.back().first, degrees(41).first, 1e-6);
        EXPECT_NEAR(route.back().second, degrees(41).second, 1e-6);

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
        for (const std::string& name : folderNames(out)) {
            EXPECT_NE(name.front(), '.') << "a temporary file is left: " << name;
        }
        const std::size_t counts[] = {3, 70, 2};
        for (std::size_t k = 0; k < each.written.size(); ++k) {
            EXPECT_EQ(test::routeOf(each.written[k]).size(), counts[k]) << each.written[k];
        }
        EXPECT_NEAR(test::routeOf(each.written[0]).back().second, degrees(3).second, 1e-6);
    }
}

TEST_F(TelemetryFilesTest, MergedCsvHasTheCommandsColumnsAndTimesFromTheFirstStart) {
    const fs::path merged = out / "drive.csv";
    ASSERT_EQ(exportMerged(recordings, TelemetryFormat::Csv, merged.string()).written.size(), 1u);
    std::istringstream lines(test::readFile(merged));
    std::string header, row;
    std::getline(lines, header);
    const std::string cli = exportCsv({});  // what `qelv telemetry --format csv` prints
    EXPECT_EQ(header, cli.substr(0, cli.find('\n')));
    std::vector<int> times;
    while (std::getline(lines, row)) {
        times.push_back(std::stoi(row.substr(0, row.find(','))));
    }
    // 11:58:00 for 70 s, 12:01:00 (180 s later) and 12:02:00 (240 s), a row per record.
    std::vector<int> expected;
    for (int k = 0; k < 70; ++k) {
        expected.push_back(k);
    }
    expected.insert(expected.end(), {180, 181, 182, 240, 241, 242});
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
        ASSERT_EQ(outcome.unreadable.size(), 2u);
        EXPECT_EQ(outcome.unreadable[0].first, "20240131_120300_1CH_N_F.mp4");
        EXPECT_EQ(outcome.unreadable[1].first, "gone_F.mp4");
        EXPECT_EQ(outcome.written.size(), merged ? 1u : 3u);
        const std::string told = troublesText(outcome);
        EXPECT_NE(told.find("20240131_120300_1CH_N_F.mp4"), std::string::npos) << told;
        EXPECT_NE(told.find("gone_F.mp4"), std::string::npos) << told;
    }
    EXPECT_EQ(test::routeOf(out / "all.gpx").size(), 75u);
}

TEST_F(TelemetryFilesTest, AFailedWriteLeavesNoFileAndNamesIt) {
    fs::create_directory(out / "taken.gpx");
    const fs::path plain = dir.write("plain", "x");
    struct Case {
        const char* what;
        fs::path target;  // a merged file, or the folder of one file each
        bool merged;
        bool diskFull = false;  // files cannot grow past 100 bytes while it writes
    };
    const Case cases[] = {
        {"missing folder", out / "missing" / "all.gpx", true},
        {"missing folder, one file each", out / "missing", false},
        {"a folder of that name", out / "taken.gpx", true},
        {"under a plain file", plain / "all.gpx", true},
        {"a recording's own file", recordings[0].location.path, true},
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
        EXPECT_EQ(
            told.find("Cannot save " + (c.merged ? c.target.string() : c.target.string() + "/")),
            0u)
            << told;
        EXPECT_EQ(folderNames(out), std::vector<std::string>{"taken.gpx"});
        EXPECT_EQ(folderNames(dir.path()).size(), 5u);  // the card, two recordings, plain, out
    }
    EXPECT_EQ(test::readFile(recordings[0].location.path), recording);
}

}  // namespace
}  // namespace qelv::core

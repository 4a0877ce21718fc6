#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "simulator/avi_writer.h"
#include "simulator/recording_layout.h"
#include "storage/movie_box.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"
#include "telemetry/telemetry_export.h"
#include "telemetry/text_track_reader.h"

namespace qelv::core {
namespace {

std::vector<std::uint8_t> completeMp4(const sim::RecordingLayout& layout) {
    std::vector<std::uint8_t> file =
        sim::RecordingLayout::leadingBytes(static_cast<std::uint32_t>(layout.dataEnd() - 40));
    for (const auto& s : layout.samples()) {
        file.insert(file.end(), s.bytes.begin(), s.bytes.end());
    }
    const auto moov = buildMovieBox(layout.tables(), CameraChannel::Front, mp4::kVideo1080);
    file.insert(file.end(), moov.begin(), moov.end());
    return file;
}

std::vector<std::string> readAll(const std::vector<std::uint8_t>& file) {
    MemorySource bytes(file);
    TextTrackSource source(bytes);
    std::vector<std::string> out;
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    while (source.read(buffer) == 0) {
        out.emplace_back(reinterpret_cast<const char*>(buffer.data()),
                         strnlen(reinterpret_cast<const char*>(buffer.data()), kRecordBufferSize));
    }
    return out;
}

std::vector<sim::Sample> secondsWithRecords(int seconds) {
    auto samples = test::frontSeconds(seconds);
    int k = 0;
    for (auto& s : samples) {
        if (s.kind == sim::SampleKind::Telemetry) {
            s = test::recordSample("G$GPRMC,12000" + std::to_string(k++) +
                                   ".00,A,3733.1,N,12658.6,E,1,2,310124");
        }
    }
    return samples;
}

TEST(TextTrack, Mp4TelemetryTrack) {
    const sim::RecordingLayout layout(secondsWithRecords(3));
    const auto records = readAll(completeMp4(layout));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].rfind("G$GPRMC,120000.00,A", 0), 0u);
    EXPECT_EQ(records[2].rfind("G$GPRMC,120002.00,A", 0), 0u);
    EXPECT_NE(records[1].find("QELVM"), std::string::npos);
}

TEST(TextTrack, AviTextStream) {
    sim::AviContent content;
    sim::AviVideoStream stream{&mp4::kVideo480, {}};
    for (int f = 0; f < 90; ++f) {
        stream.frames.push_back(test::videoSample(50, f % 30 == 0));
    }
    content.video.push_back(stream);
    for (int s = 0; s < 3; ++s) {
        content.records.push_back(test::recordSample("GXYZ" + std::to_string(s)).bytes);
    }
    const auto records = readAll(sim::writeAvi(content));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].rfind("GXYZ1QELVM", 0), 0u);
}

TEST(TextTrack, DamagedOrMissingTracksGiveNoRecordsAndNoCrash) {
    const sim::RecordingLayout layout(secondsWithRecords(2));
    const auto good = completeMp4(layout);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::size_t atMost;
        TrackStatus status;
    };
    std::vector<Case> cases = {
        {"empty", {}, 0, TrackStatus::NotRecording},
        {"unfinished: no movie box",
         {good.begin(), good.begin() + static_cast<long>(layout.dataEnd())},
         0,
         TrackStatus::NotRecording},
        {"movie box cut in half", {good.begin(), good.end() - 300}, 2, TrackStatus::NotRecording},
        {"not a recording", std::vector<std::uint8_t>(5000, 0x41), 0, TrackStatus::NotRecording},
    };
    // Offsets pointing past the end of the file: such records are dropped.
    auto outside = good;
    const std::string stco = "stco";
    std::size_t found = 0;
    for (std::size_t i = 0; i + 4 < outside.size(); ++i) {
        if (std::memcmp(outside.data() + i, stco.data(), 4) == 0 && ++found == 2) {
            std::memset(outside.data() + i + 12, 0x7F, 4);  // first telemetry chunk offset
        }
    }
    cases.push_back({"offset outside the file", outside, 1, TrackStatus::Found});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_LE(readAll(c.bytes).size(), c.atMost);
        MemorySource bytes(c.bytes);
        const TextTrackSource source(bytes);
        EXPECT_EQ(source.status(), c.status);
        EXPECT_EQ(source.problem().empty(), c.status != TrackStatus::NotRecording);
    }
}

TEST(TextTrackReader, StampsAcceptedRecordsAndStopsWithPlayback) {
    auto samples = secondsWithRecords(4);
    // The second record is garbage: rejected, and it does not advance the time.
    for (auto& s : samples) {
        if (s.kind == sim::SampleKind::Telemetry) {
            s.bytes[0] = 'X';
            break;
        }
    }
    const auto file = completeMp4(sim::RecordingLayout(samples));
    MemorySource bytes(file);
    {
        TextTrackSource source(bytes);
        TelemetryState state;
        EXPECT_EQ(TextTrackReader(source, state, [] { return 0; }), 4u);
        std::vector<std::uint32_t> times;
        state.walkFixes([&](const auto& fixes) {
            for (const auto& f : fixes) {
                times.push_back(f.timeMs);
            }
        });
        EXPECT_EQ(times, (std::vector<std::uint32_t>{0, 1000, 2000}));
    }
    for (std::int32_t stopped : {2, 3, -1}) {
        TextTrackSource source(bytes);
        TelemetryState state;
        EXPECT_EQ(TextTrackReader(source, state, [=] { return stopped; }), 0u);
    }
    TextTrackSource source(bytes);
    TelemetryState state;
    int calls = 0;
    EXPECT_EQ(TextTrackReader(source, state, [&] { return ++calls < 3 ? 1 : 2; }), 2u);
}

TEST(TextTrackReader, AReaderOfAnEmptiedStoreStopsAndAddsNothing) {
    // Playback moved to another recording while the reader was busy: the stop empties the
    // store; what the old reader still reads must not land in the next recording's store.
    const auto file = completeMp4(sim::RecordingLayout(secondsWithRecords(5)));
    MemorySource bytes(file);
    TextTrackSource source(bytes);
    TelemetryState state;
    int calls = 0;
    const std::size_t read = TextTrackReader(source, state, [&] {
        if (++calls == 3) {
            state.clear();
        }
        return 0;
    });
    EXPECT_EQ(read, 2u);
    std::size_t fixes = 0;
    state.walkFixes([&](const auto& list) { fixes = list.size(); });
    EXPECT_EQ(fixes, 0u);
}

TEST(TelemetryRoute, EveryMappableFixWithItsTimeAndOnlyForItsEpoch) {
    auto samples = secondsWithRecords(4);
    int k = 0;
    for (auto& s : samples) {
        if (s.kind != sim::SampleKind::Telemetry) {
            continue;
        }
        if (k == 1) {  // a fix without a position lock
            s = test::recordSample("G$GPRMC,120001.00,V,3733.1,N,12658.6,E,1,2,310124");
        } else if (k == 2) {  // off the globe
            s = test::recordSample("G$GPRMC,120002.00,A,9933.1,N,12658.6,E,1,2,310124");
        }
        ++k;
    }
    const auto file = completeMp4(sim::RecordingLayout(samples));
    MemorySource bytes(file);
    TextTrackSource source(bytes);
    const std::vector<RoutePoint> route = mappableRoute(readAllRecords(source));
    ASSERT_EQ(route.size(), 2u);
    EXPECT_EQ(route[0].timeMs, 0u);
    EXPECT_EQ(route[1].timeMs, 3000u);
    EXPECT_NEAR(route[1].latitude, 37.551667, 1e-6);
    EXPECT_NEAR(route[1].longitude, 126.976667, 1e-6);

    TelemetryState state;
    const std::uint64_t before = state.routeRevision();
    state.setRoute(route, state.epoch());
    EXPECT_EQ(state.route().size(), 2u);
    EXPECT_NE(state.routeRevision(), before);
    const std::uint64_t old = state.epoch();
    state.clear();
    EXPECT_TRUE(state.route().empty());
    const std::uint64_t cleared = state.routeRevision();
    state.setRoute(route, old);  // read for the recording that was stopped
    EXPECT_TRUE(state.route().empty());
    EXPECT_EQ(state.routeRevision(), cleared);
}

// A front file whose text track holds `records`, one a second.
std::vector<std::uint8_t> trackOf(const std::vector<std::string>& records) {
    auto samples = test::frontSeconds(static_cast<int>(records.size()), 64);
    std::size_t k = 0;
    for (auto& s : samples) {
        if (s.kind == sim::SampleKind::Telemetry) {
            s.bytes.assign(records[k].begin(), records[k].end());
            s.bytes.resize(s.bytes.size() + 8, 0);
            ++k;
        }
    }
    return completeMp4(sim::RecordingLayout(samples));
}

// A fix with a position lock at 37 deg 30.0 + minutes N, 127 deg 0.0 + minutes E.
std::string fixAt(const std::string& hhmmss, const std::string& minutes) {
    return "G$GPRMC," + hhmmss + ".00,A,373" + minutes + ",N,1270" + minutes +
           ",E,10.0,90.0,310124";
}

// Telemetry between the first and the last fix: what the map's current fix, the route and the
// exports make of a GPS dropout, a receiver clock out of order and a recording that starts
// without a fix. The k-th record is second k of the recording whatever it holds; positions
// are worked out by hand from ddmm.mmmm (30.6 minutes are 0.51 degrees).
TEST(TelemetryBetweenFixes, CurrentFixRouteAndExports) {
    const std::string sample("S\x08\x10\x00\x20\x00\x30\x00", 8);
    struct Select {
        std::uint32_t positionMs;
        double latitude;  // returned for the map; 0: nothing
        std::uint32_t currentMs;
        std::int32_t currentSecond;  // the current fix's own clock; -1: no current fix
    };
    struct Case {
        const char* what;
        std::vector<std::string> records;
        std::vector<Select> selections;  // in order, as the map's timer runs
        std::vector<std::uint32_t> routeMs;
        std::vector<double> routeLatitudes;
        std::vector<std::string> csvLatitudes;  // per record, empty without a valid fix
        std::string gpxSeconds;                 // the trackpoints' clock, in order
    };
    std::vector<std::string> lateRecords(61, sample);
    lateRecords.push_back(fixAt("120101", "0.0000"));
    lateRecords.push_back(fixAt("120102", "0.6000"));
    std::vector<std::string> lateCsv(61, "");
    lateCsv.insert(lateCsv.end(), {"37.5000000", "37.5100000"});
    const Case cases[] = {
        {"a dropout in the middle",
         {fixAt("120000", "0.0000"), fixAt("120001", "0.6000"),
          "G$GPRMC,120002.00,V,3730.9000,N,12700.9000,E,0,0,310124",  // a stale position
          "G$GPRMC,120003.00,V,,,,,,,310124", fixAt("120004", "1.2000"), fixAt("120005", "1.8000")},
         {{0, 37.51, 1000, 1},
          {1000, 0, 1000, 1},  // the next fix has no lock: the last one stays
          {2999, 0, 1000, 1},
          {3000, 37.52, 4000, 4},  // past the dropout
          {4500, 37.53, 5000, 5},
          {5000, 0, 5000, 5},  // nothing after the last fix
          {500, 37.51, 1000, 1}},
         {0, 1000, 4000, 5000},
         {37.5, 37.51, 37.52, 37.53},
         {"37.5000000", "37.5100000", "", "", "37.5200000", "37.5300000"},
         "00 01 04 05"},
        {"a receiver clock out of order",
         {fixAt("120005", "0.0000"), fixAt("120003", "0.6000"), fixAt("120004", "1.2000"),
          fixAt("120001", "1.8000")},
         {{0, 37.51, 1000, 3}, {2500, 37.53, 3000, 1}, {1200, 37.52, 2000, 4}},
         {0, 1000, 2000, 3000},
         {37.5, 37.51, 37.52, 37.53},
         {"37.5000000", "37.5100000", "37.5200000", "37.5300000"},
         "05 03 04 01"},
        {"a recording that starts without a fix",
         {sample, std::string("QELVM\x01\x02\x03"), "G$GPRMC,120002.00,V,,,,,,,,",
          fixAt("120003", "0.0000"), fixAt("120004", "0.6000")},
         {{0, 0, 0, -1}, {1999, 0, 0, -1}, {2000, 37.5, 3000, 3}, {3000, 37.51, 4000, 4}},
         {3000, 4000},
         {37.5, 37.51},
         {"", "", "", "37.5000000", "37.5100000"},
         "03 04"},
        // Locked fixes whose position is no number or lies off the globe are no fixes.
        {"positions that are no numbers",
         {fixAt("120000", "0.0000"), "G$GPRMC,120001.00,A,NaN,N,inf,E,10.0,90.0,310124",
          "G$GPRMC,120002.00,A,0x1p10,N,garbage,E,10.0,90.0,310124",
          "G$GPRMC,120003.00,A,9100.0000,N,12775.0000,E,10.0,90.0,310124",
          fixAt("120004", "0.6000")},
         {{0, 0, 0, -1}, {2999, 0, 0, -1}, {3000, 37.51, 4000, 4}},
         {0, 4000},
         {37.5, 37.51},
         {"37.5000000", "", "", "", "37.5100000"},
         "00 04"},
        // The viewer keeps the first minute's fixes only; the route and exports have them all.
        {"the first fix after the first minute",
         lateRecords,
         {{0, 0, 0, -1}, {61000, 0, 0, -1}},
         {61000, 62000},
         {37.5, 37.51},
         lateCsv,
         "01 02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = trackOf(c.records);
        TelemetryState state;
        ASSERT_TRUE(readPlayingRecording(
            {"", std::make_shared<MemorySource>(file)}, state, [] { return 0; }, state.epoch()));
        for (const Select& select : c.selections) {
            SCOPED_TRACE(select.positionMs);
            const auto at = state.SelectCurrentFix(select.positionMs);
            EXPECT_NEAR(at ? at->latitude : 0.0, select.latitude, 1e-9);
            const auto [current, flag] = state.currentFix();
            EXPECT_EQ(flag, select.currentSecond < 0 ? 0 : 1);
            EXPECT_EQ(current.timeMs, select.currentMs);
            EXPECT_EQ(current.second, std::max(select.currentSecond, 0));
        }
        const std::vector<RoutePoint> route = state.route();
        ASSERT_EQ(route.size(), c.routeMs.size());
        for (std::size_t i = 0; i < route.size(); ++i) {
            EXPECT_EQ(route[i].timeMs, c.routeMs[i]) << i;
            EXPECT_NEAR(route[i].latitude, c.routeLatitudes[i], 1e-9) << i;
        }

        MemorySource bytes(file);
        TextTrackSource source(bytes);
        const auto records = readAllRecords(source);
        std::stringstream csv(exportCsv(records));
        std::string row;
        std::getline(csv, row);  // the header
        std::vector<std::string> latitudes;
        while (std::getline(csv, row)) {
            const std::size_t comma = row.find(',');
            latitudes.push_back(row.substr(comma + 1, row.find(',', comma + 1) - comma - 1));
            EXPECT_EQ(row.substr(0, comma), std::to_string(latitudes.size() - 1));
        }
        EXPECT_EQ(latitudes, c.csvLatitudes);
        const std::string gpx = exportGpx(records, "drive");
        std::string seconds;
        for (std::size_t at = 0; (at = gpx.find("Z</time>", at)) != std::string::npos; ++at) {
            seconds += (seconds.empty() ? "" : " ") + gpx.substr(at - 2, 2);
        }
        EXPECT_EQ(seconds, c.gpxSeconds);
    }
}

TEST(TextTrackReader, ReadsThePlayingRecordingFromItsFileOrCardFile) {
    const auto file = completeMp4(sim::RecordingLayout(secondsWithRecords(3)));
    const test::TempDir dir;
    const std::string path = (dir.path() / "front.mp4").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    struct Case {
        const char* what;
        PlayingRecording recording;
        bool opened;
        std::size_t fixes;
    };
    const Case cases[] = {
        {"a front file", {path, nullptr}, true, 3},
        {"a card file", {"", std::make_shared<MemorySource>(file)}, true, 3},
        {"a missing file", {(dir.path() / "gone.mp4").string(), nullptr}, false, 0},
        {"a folder", {dir.path().string(), nullptr}, false, 0},
        {"no recording at all", {"", nullptr}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TelemetryState state;
        EXPECT_EQ(readPlayingRecording(
                      c.recording, state, [] { return 0; }, state.epoch()),
                  c.opened);
        std::size_t fixes = 0;
        state.walkFixes([&](const auto& list) { fixes = list.size(); });
        EXPECT_EQ(fixes, c.fixes);
        EXPECT_EQ(state.route().size(), c.fixes);
    }
}

// Runs under ThreadSanitizer in the test suite: the reader appends while the interface
// thread walks, clears and selects the current fix.
TEST(TextTrackReader, ConcurrentWalksClearsAndSelection) {
    const auto file = completeMp4(sim::RecordingLayout(secondsWithRecords(60)));
    MemorySource bytes(file);
    TelemetryState state;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int round = 0; round < 20; ++round) {
            TextTrackSource source(bytes);
            TextTrackReader(source, state, [] { return 0; });
        }
        done = true;
    });
    std::size_t seen = 0;
    while (!done) {
        state.walkFixes([&](const auto& fixes) { seen += fixes.size(); });
        state.walkSamples([&](const auto& samples) { seen += samples.size(); });
        state.SelectCurrentFix(static_cast<std::uint32_t>(seen % 60000));
        (void)state.currentFix();
        if (seen % 7 == 0) {
            state.clear();
        }
    }
    reader.join();
    SUCCEED() << seen;
}

TEST(TelemetryExport, EveryRecordOfTheRecording) {
    const auto file = completeMp4(sim::RecordingLayout(secondsWithRecords(3)));
    MemorySource bytes(file);
    TextTrackSource source(bytes);
    const auto records = readAllRecords(source);
    ASSERT_EQ(records.size(), 3u);
    const std::string gpx = exportGpx(records, "a & b");
    EXPECT_NE(gpx.find("<name>a &amp; b</name>"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2024-01-31T12:00:02Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("lat=\"37.5516667\" lon=\"126.9766667\""), std::string::npos);
    const std::string csv = exportCsv(records);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(csv.find("\n2,37.5516667,126.9766667,1.85,2.0,0.158,1.009,0.063\n"),
              std::string::npos)
        << csv;
    const std::string json = exportJson(records);
    EXPECT_NE(json.find("\"hour\": 21, \"minute\": 0, \"second\": 1"), std::string::npos);
    EXPECT_NE(exportKml(records, "x").find("126.9766667,37.5516667,0"), std::string::npos);
}

}  // namespace
}  // namespace qelv::core

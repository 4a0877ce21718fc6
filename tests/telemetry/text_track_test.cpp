#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
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

// The engine on simulator recordings, headless: every pane is a surface that keeps the last
// picture it was given.
#include "playback/playback_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "playback/headless_surface.h"
#include "playback/sample_frames.h"
#include "simulator/frame_painter.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

namespace qelv::media {
namespace {

using test::HeadlessSurface;

// Mean colour of a snapshot's bottom quarter, clear of the digit and the moving square.
sim::Rgb meanColour(const Snapshot& s) {
    double r = 0, g = 0, b = 0;
    std::size_t n = 0;
    for (int y = s.height * 3 / 4; y < s.height; y += 2) {
        for (int x = 0; x < s.width; x += 2) {
            const auto* p = &s.pixels[(static_cast<std::size_t>(y) * s.width + x) * 4];
            b += p[0];
            g += p[1];
            r += p[2];
            ++n;
        }
    }
    return {static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
}

class Engine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        sim::RecordingRequest request;
        request.cardRoot = s_dir->path();
        request.seconds = 3;
        request.channels = 3;
        request.seed = 4;
        request.bitrateScale = 0.05;
        s_recording = new sim::SimulatedRecording(sim::simulateRecording(request));
    }
    static void TearDownTestSuite() {
        delete s_recording;
        delete s_dir;
    }
    std::string path(int channel) const {
        return s_recording->files[static_cast<std::size_t>(channel)].path.string();
    }

    void SetUp() override { engine.initialise(&pane1, &pane2, &pane3); }

    static test::TempDir* s_dir;
    static sim::SimulatedRecording* s_recording;
    HeadlessSurface pane1{640, 360}, pane2{320, 180}, pane3{320, 180};
    PlaybackEngine engine;
};

test::TempDir* Engine::s_dir = nullptr;
sim::SimulatedRecording* Engine::s_recording = nullptr;

TEST_F(Engine, OpenRefusesWhatItCannotPlay) {
    PlaybackEngine noPanes;
    EXPECT_EQ(noPanes.state(), -1);
    EXPECT_EQ(noPanes.run(), kNoGraph);
    EXPECT_EQ(noPanes.pause(), kNoGraph);
    EXPECT_TRUE(noPanes.stop());
    EXPECT_FALSE(noPanes.open(path(0)));  // no pane 1
    EXPECT_EQ(engine.state(), 3);
    EXPECT_FALSE(engine.open(""));
    EXPECT_FALSE(engine.open((s_dir->path() / "missing.mp4").string()));
    EXPECT_EQ(engine.state(), -1);  // no graph object is left
    EXPECT_EQ(engine.positionMs(), 0u);
    EXPECT_TRUE(engine.seek(100));  // nothing to seek: success, as the viewer always had it
}

TEST_F(Engine, ThreeTwoAndOneChannels) {
    struct Case {
        std::string p2, p3;
        std::array<bool, 3> channels;
    };
    const Case cases[] = {
        {path(1), path(2), {true, true, true}},
        {path(1), "", {true, true, false}},
        {"", "", {true, false, false}},
        {(s_dir->path() / "gone_R1.mp4").string(), path(2), {true, false, true}},  // rear missing
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(engine.open(path(0), c.p2, c.p3));
        EXPECT_EQ(engine.state(), 2);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(engine.graph()->hasChannel(k), c.channels[static_cast<std::size_t>(k)]) << k;
        }
        EXPECT_TRUE(engine.graph()->hasSound());
        EXPECT_EQ(engine.nativeSize(0), (std::pair<std::int32_t, std::int32_t>{1920, 1080}));
        EXPECT_GT(pane1.presented(), 0);  // the first picture is shown when cued
    }
}

TEST_F(Engine, StatesAndResults) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    EXPECT_EQ(engine.pause(), kOk);  // not running: nothing happens
    EXPECT_EQ(engine.state(), 2);
    EXPECT_EQ(engine.run(), kOk);
    EXPECT_EQ(engine.state(), 0);
    EXPECT_EQ(engine.run(), kWrongState);
    EXPECT_EQ(engine.pause(), kOk);
    EXPECT_EQ(engine.state(), 1);
    EXPECT_TRUE(engine.stop());
    EXPECT_EQ(engine.state(), 2);
    EXPECT_FALSE(engine.stop());  // stopped already: the graph refuses
    const std::uint64_t duration = engine.durationMs();
    EXPECT_NEAR(static_cast<double>(duration), 3000.0, 100.0);
    EXPECT_EQ(engine.durationMs(), duration);
}

TEST_F(Engine, RateIsClampedWhenItRuns) {
    ASSERT_TRUE(engine.open(path(0)));
    engine.setRate(3.0f);
    EXPECT_FLOAT_EQ(engine.rate(), 3.0f);  // paused or stopped: kept as given
    EXPECT_EQ(engine.run(), kOk);
    EXPECT_FLOAT_EQ(engine.rate(), 2.0f);
    engine.setRate(0.1f);
    EXPECT_FLOAT_EQ(engine.rate(), 0.5f);
    engine.setRate(1.0f);
    EXPECT_FLOAT_EQ(engine.rate(), 1.0f);
    EXPECT_TRUE(engine.stop());
}

TEST_F(Engine, SeekAndStepBounds) {
    ASSERT_TRUE(engine.open(path(0), path(1)));
    const std::uint64_t duration = engine.durationMs();
    EXPECT_FALSE(engine.stepForward(1.0));  // only while running or paused
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_EQ(engine.pause(), kOk);
    ASSERT_TRUE(engine.seek(duration - 500));
    EXPECT_NEAR(static_cast<double>(engine.positionMs()), duration - 500.0, 40.0);
    ASSERT_TRUE(engine.stepForward(1.0));
    EXPECT_NEAR(static_cast<double>(engine.positionMs()), static_cast<double>(duration), 40.0);
    ASSERT_TRUE(engine.seek(1000));
    ASSERT_TRUE(engine.stepBack(2.0));
    EXPECT_LT(engine.positionMs(), 40u);
}

TEST_F(Engine, RunAfterTheEndStartsOver) {
    ASSERT_TRUE(engine.open(path(0)));
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_EQ(engine.pause(), kOk);
    ASSERT_TRUE(engine.seek(engine.durationMs()));
    engine.queueEndOfStream(engine.generation());
    EXPECT_EQ(engine.processMessages(), 1);
    EXPECT_TRUE(engine.endOfStream());
    ASSERT_EQ(engine.run(), kOk);
    ASSERT_EQ(engine.pause(), kOk);
    EXPECT_LT(engine.positionMs(), 1000u);
    // A message from a graph that was torn down is dropped.
    const std::uint64_t old = engine.generation();
    ASSERT_TRUE(engine.open(path(0)));
    engine.queueEndOfStream(old);
    EXPECT_EQ(engine.processMessages(), 0);
    EXPECT_FALSE(engine.endOfStream());
}

TEST_F(Engine, ZoomSnapshotsAndWindows) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    for (int k = 0; k < 3; ++k) {
        Snapshot shot;
        ASSERT_TRUE(engine.snapshot(k, shot)) << k;
        const sim::Rgb colour = meanColour(shot);
        const sim::Rgb expected = sim::channelColour(k + 1);
        EXPECT_NEAR(colour.g, expected.g, 25) << k;
        EXPECT_NEAR(colour.b, expected.b, 25) << k;
    }
    EXPECT_EQ(engine.shrink(0, &pane1), 0);
    EXPECT_EQ(pane1.destination(), (Rect{0, 0, 600, 320}));
    EXPECT_EQ(engine.enlarge(0, &pane1), 0);
    EXPECT_EQ(engine.enlarge(0, &pane1), 0);
    EXPECT_EQ(pane1.destination(), (Rect{0, 0, 680, 400}));
    engine.placeWithOffset(0, &pane1, 10, 20);
    EXPECT_EQ(pane1.destination(), (Rect{20, 20, 590, 300}));
    EXPECT_EQ(engine.resetZoom(0, &pane1), 0);
    EXPECT_EQ(pane1.destination(), (Rect{0, 0, 640, 360}));
    EXPECT_EQ(engine.shrink(3, &pane1), 1);  // no fourth channel
    // Rotating the panes: channel 1 now draws into pane 2.
    const int before = pane2.presented();
    engine.setWindows(&pane2, &pane3, &pane1);
    EXPECT_GT(pane2.presented(), before);
    EXPECT_EQ(engine.graph()->surface(0), &pane2);
}

// What each channel's pane receives through zoom, drag and repaint: the rectangles worked out
// by hand from the pane's size (shrink and enlarge move by 20 pixels a side; a drag by (a, b)
// gives width + 2 zoom - a, falling back to the zoom as offset where that is narrower than the
// pane), and that channel's own picture in them.
TEST_F(Engine, EachPaneReceivesItsPictureWhereZoomAndDragPlaceIt) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    struct Case {
        int channel;
        HeadlessSurface* pane;
        Rect shrunkTwice;  // zoom 40
        Rect dragged;      // by (10, 30): wider and taller than the pane
        Rect draggedEdge;  // by (80, 90): exactly as wide as the pane, shorter
        Rect enlarged;     // zoom -20
    };
    const Case cases[] = {
        {0, &pane1, {0, 0, 560, 280}, {-10, -30, 710, 410}, {-80, -40, 640, 350}, {0, 0, 680, 400}},
        {1, &pane2, {0, 0, 240, 100}, {-10, -30, 390, 230}, {-80, -40, 320, 170}, {0, 0, 360, 220}},
        {2, &pane3, {0, 0, 240, 100}, {-10, -30, 390, 230}, {-80, -40, 320, 170}, {0, 0, 360, 220}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        HeadlessSurface& pane = *c.pane;
        const auto repaintedAt = [&] {
            const int before = pane.presented();
            EXPECT_EQ(engine.repaint(c.channel), 1);
            EXPECT_EQ(pane.presented(), before + 1);
            // The picture handed over is this channel's, not another pane's.
            Snapshot shot;
            EXPECT_TRUE(pane.frame() && toBgra(*pane.frame(), shot));
            const sim::Rgb colour = meanColour(shot);
            EXPECT_NEAR(colour.g, sim::channelColour(c.channel + 1).g, 25);
            EXPECT_NEAR(colour.b, sim::channelColour(c.channel + 1).b, 25);
            return pane.presentedAt();
        };
        ASSERT_EQ(engine.shrink(c.channel, &pane), 0);
        ASSERT_EQ(engine.shrink(c.channel, &pane), 0);
        EXPECT_EQ(pane.destination(), c.shrunkTwice);
        EXPECT_EQ(repaintedAt(), c.shrunkTwice);
        engine.placeWithOffset(c.channel, &pane, 10, 30);
        EXPECT_EQ(repaintedAt(), c.dragged);
        engine.placeWithOffset(c.channel, &pane, 80, 90);
        EXPECT_EQ(repaintedAt(), c.draggedEdge);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(engine.enlarge(c.channel, &pane), 0);
        }
        EXPECT_EQ(repaintedAt(), c.enlarged);
        ASSERT_EQ(engine.resetZoom(c.channel, &pane), 0);
        EXPECT_EQ(repaintedAt(), (Rect{0, 0, pane.width(), pane.height()}));
    }
    // Pictures that stream in while playing go where the picture was placed.
    ASSERT_EQ(engine.shrink(1, &pane2), 0);
    const int before = pane2.presented();
    ASSERT_EQ(engine.run(), kOk);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pane2.presented() < before + 5 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(engine.stop());
    ASSERT_GE(pane2.presented(), before + 5);
    EXPECT_EQ(pane2.presentedAt(), (Rect{0, 0, 280, 140}));
    // Rotated, pane 2 shows the front camera's picture over the whole pane.
    engine.setWindows(&pane2, &pane3, &pane1);
    EXPECT_EQ(pane2.presentedAt(), (Rect{0, 0, 320, 180}));
    Snapshot rotated;
    ASSERT_TRUE(pane2.frame() && toBgra(*pane2.frame(), rotated));
    EXPECT_NEAR(meanColour(rotated).g, sim::channelColour(1).g, 25);
    EXPECT_NEAR(meanColour(rotated).b, sim::channelColour(1).b, 25);
}

// A pane's picture is converted and scaled in one pass to the size it is drawn at; each
// channel keeps its own colours at every size.
TEST_F(Engine, PicturesScaleToThePanesSize) {
    ASSERT_TRUE(engine.open(path(0), path(1), path(2)));
    FrameScaler scaler;
    for (int k = 0; k < 3; ++k) {
        const auto frame = engine.graph()->lastFrame(k);
        ASSERT_TRUE(frame) << k;
        for (const auto& [w, h] : {std::pair{320, 180}, std::pair{97, 55}, std::pair{640, 360}}) {
            Snapshot scaled;
            scaled.width = w;
            scaled.height = h;
            scaled.pixels.assign(static_cast<std::size_t>(w) * h * 4, 0);
            ASSERT_TRUE(scaler.scale(*frame, w, h, scaled.pixels.data(), w * 4)) << k;
            const sim::Rgb colour = meanColour(scaled);
            const sim::Rgb expected = sim::channelColour(k + 1);
            EXPECT_NEAR(colour.g, expected.g, 25) << k << " at " << w << "x" << h;
            EXPECT_NEAR(colour.b, expected.b, 25) << k << " at " << w << "x" << h;
        }
    }
    // Pixel by pixel, the scaled picture is the full conversion sampled at each pixel's
    // centre: the digit, the square and the colours are where they belong.
    for (int k = 0; k < 3; ++k) {
        const auto frame = engine.graph()->lastFrame(k);
        Snapshot full;
        ASSERT_TRUE(toBgra(*frame, full));
        const int w = 320, h = 180;
        std::vector<std::uint8_t> scaled(static_cast<std::size_t>(w) * h * 4);
        ASSERT_TRUE(scaler.scale(*frame, w, h, scaled.data(), w * 4));
        long long error = 0;
        for (int y = 0; y < h; ++y) {
            const int sy = (2 * y + 1) * full.height / (2 * h);
            for (int x = 0; x < w; ++x) {
                const int sx = (2 * x + 1) * full.width / (2 * w);
                for (int c = 0; c < 3; ++c) {
                    const int ours = scaled[static_cast<std::size_t>((y * w + x) * 4 + c)];
                    const int theirs =
                        full.pixels[static_cast<std::size_t>((sy * full.width + sx) * 4 + c)];
                    error += std::abs(ours - theirs);
                }
            }
        }
        EXPECT_LT(static_cast<double>(error) / (w * h * 3), 6.0) << k;
    }
    // A part of a zoomed picture is exactly that part of the whole; a part outside is refused.
    {
        const auto frame = engine.graph()->lastFrame(0);
        const int w = 900, h = 500;
        std::vector<std::uint8_t> whole(static_cast<std::size_t>(w) * h * 4);
        ASSERT_TRUE(scaler.scale(*frame, w, h, whole.data(), w * 4));
        const Rect part{130, 70, 200, 90};
        std::vector<std::uint8_t> cut(static_cast<std::size_t>(part.width) * part.height * 4);
        ASSERT_TRUE(scaler.scale(*frame, w, h, part, cut.data(), part.width * 4));
        for (int y = 0; y < part.height; ++y) {
            ASSERT_EQ(0, std::memcmp(cut.data() + static_cast<std::size_t>(y) * part.width * 4,
                                     whole.data() + (static_cast<std::size_t>(y + part.y) * w +
                                                     static_cast<std::size_t>(part.x)) *
                                                        4,
                                     static_cast<std::size_t>(part.width) * 4))
                << y;
        }
        // Rows that do not start on a pixel boundary get the same pixels.
        std::vector<std::uint8_t> shifted(cut.size() + 1);
        ASSERT_TRUE(scaler.scale(*frame, w, h, part, shifted.data() + 1, part.width * 4));
        EXPECT_EQ(0, std::memcmp(shifted.data() + 1, cut.data(), cut.size()));
        EXPECT_FALSE(scaler.scale(*frame, w, h, Rect{800, 0, 200, 90}, cut.data(), 800));
        EXPECT_FALSE(scaler.scale(*frame, w, h, Rect{-1, 0, 200, 90}, cut.data(), 800));
    }
    std::vector<std::uint8_t> pixels(16);
    EXPECT_FALSE(scaler.scale(*engine.graph()->lastFrame(0), 0, 2, pixels.data(), 8));
    EXPECT_FALSE(scaler.scale(*engine.graph()->lastFrame(0), 2, 2, pixels.data(), 4));
    EXPECT_FALSE(scaler.scale(VideoFrame{}, 2, 2, pixels.data(), 8));
}

TEST_F(Engine, FlipAndPictureSettingsAfterARefreshSeek) {
    ASSERT_TRUE(engine.open(path(0)));
    Snapshot plain;
    ASSERT_TRUE(engine.snapshot(0, plain));
    engine.flipSwitch(0, true);
    ASSERT_TRUE(engine.seek(0));  // the caller's refresh
    Snapshot flipped;
    ASSERT_TRUE(engine.snapshot(0, flipped));
    // The digit sits top left; flipped it is bottom left: compare a top-left pixel row.
    const auto pixel = [](const Snapshot& s, int x, int y) {
        return s.pixels[(static_cast<std::size_t>(y) * s.width + x) * 4 + 1];
    };
    const int x = 1920 / 24 * 3, y = 1080 / 24 * 2 + 10;
    EXPECT_GT(pixel(plain, x, y), 200);
    EXPECT_LT(pixel(flipped, x, y), 200);
    EXPECT_GT(pixel(flipped, x, 1080 - 1 - y), 200);

    engine.decoderSettingAll(kLuminanceOffset, -256);  // as dark as it goes
    ASSERT_TRUE(engine.seek(0));
    Snapshot dark;
    ASSERT_TRUE(engine.snapshot(0, dark));
    EXPECT_LT(meanColour(dark).g + meanColour(dark).b,
              (meanColour(plain).g + meanColour(plain).b) / 2);
}

TEST_F(Engine, CardRecordingPlaysEveryCameraFromOneFile) {
    sim::RecordingRequest request;
    request.seconds = 2;
    request.channels = 3;
    request.seed = 8;
    request.bitrateScale = 0.05;
    auto card = sim::simulateCardRecording(request);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::move(card.bytes));
    struct Owned : core::MemorySource {
        explicit Owned(std::shared_ptr<std::vector<std::uint8_t>> b)
            : core::MemorySource(*b), keep(b) {}
        std::shared_ptr<std::vector<std::uint8_t>> keep;
    };
    ASSERT_TRUE(engine.openCard(std::make_shared<Owned>(bytes)));
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(engine.graph()->hasChannel(k)) << k;
    }
    EXPECT_EQ(engine.nativeSize(1), (std::pair<std::int32_t, std::int32_t>{1280, 720}));
    EXPECT_EQ(engine.run(), kOk);
    EXPECT_TRUE(engine.stop());
}

TEST_F(Engine, TeardownAndReopen) {
    ASSERT_TRUE(engine.open(path(0), path(1)));
    engine.teardown();
    EXPECT_EQ(engine.state(), -1);
    EXPECT_EQ(engine.durationMs(), 0u);
    Snapshot shot;
    EXPECT_TRUE(engine.snapshot(0, shot));  // without a graph: nothing made, no failure
    EXPECT_EQ(shot.width, 0);
    ASSERT_TRUE(engine.open(path(0), path(1)));
    EXPECT_EQ(engine.state(), 2);
    EXPECT_TRUE(engine.setVolume(0));
    EXPECT_TRUE(engine.setVolume(90));

    // A pane going away ends only a graph that draws on it: the two-camera recording plays on
    // without the third pane, and never draws on it again.
    ASSERT_EQ(engine.run(), kOk);
    engine.detach(&pane3);
    EXPECT_EQ(engine.state(), 0);
    EXPECT_EQ(engine.graph()->surface(2), nullptr);
    engine.detach(&pane2);
    EXPECT_EQ(engine.state(), -1);
}

}  // namespace
}  // namespace qelv::media

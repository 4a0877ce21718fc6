// A video pane's surface fed by the real engine: each channel's picture is painted where the
// engine places it, in that channel's own colours; a pane without a channel stays black.
#include "playback/ui/video_surface_widget.h"

#include <gtest/gtest.h>

#include <QImage>

#include "playback/playback_engine.h"
#include "simulator/frame_painter.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::ui {
namespace {

// Mean green and blue of the pixels in `area` (the simulator's channel colours differ there).
std::pair<int, int> meanGreenBlue(const QImage& image, QRect area) {
    long long g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            g += c.green();
            b += c.blue();
            ++n;
        }
    }
    return {static_cast<int>(g / n), static_cast<int>(b / n)};
}

TEST(VideoSurfaceWidget, PaintsEachChannelWhereTheEnginePlacesIt) {
    test::TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path();
    request.seconds = 1;
    request.channels = 2;
    request.seed = 5;
    request.bitrateScale = 0.05;
    const sim::SimulatedRecording recording = sim::simulateRecording(request);

    VideoSurfaceWidget pane1, pane2, pane3;
    for (VideoSurfaceWidget* pane : {&pane1, &pane2, &pane3}) {
        pane->resize(320, 180);
    }
    media::PlaybackEngine engine;
    engine.initialise(&pane1, &pane2, &pane3);
    ASSERT_TRUE(engine.open(recording.files[0].path.string(), recording.files[1].path.string()));
    test::processPosted();

    const QRect bottom(0, 135, 320, 45);  // clear of the digit and the moving square
    for (int k = 0; k < 2; ++k) {
        VideoSurfaceWidget& pane = k == 0 ? pane1 : pane2;
        const QImage shown = pane.grab().toImage();
        const auto [g, b] = meanGreenBlue(shown, bottom);
        const sim::Rgb expected = sim::channelColour(k + 1);
        EXPECT_NEAR(g, expected.g, 25) << k;
        EXPECT_NEAR(b, expected.b, 25) << k;
    }
    // A repaint of the same picture is not a new picture painted.
    (void)pane2.grab();
    EXPECT_EQ(pane2.paintedFrames(), 1);
    const QImage empty = pane3.grab().toImage();
    EXPECT_EQ(pane3.paintedFrames(), 0);
    EXPECT_EQ(meanGreenBlue(empty, empty.rect()), (std::pair<int, int>{0, 0}));

    // Shrunk twice (zoom 40) the picture fills 240 × 100 from the top-left corner; the rest
    // is black.
    ASSERT_EQ(engine.shrink(0, &pane1), 0);
    ASSERT_EQ(engine.shrink(0, &pane1), 0);
    test::processPosted();
    const QImage shrunk = pane1.grab().toImage();
    EXPECT_EQ(meanGreenBlue(shrunk, QRect(242, 0, 78, 180)), (std::pair<int, int>{0, 0}));
    EXPECT_EQ(meanGreenBlue(shrunk, QRect(0, 102, 320, 78)), (std::pair<int, int>{0, 0}));
    const auto [g, b] = meanGreenBlue(shrunk, QRect(0, 76, 240, 22));
    EXPECT_NEAR(g, sim::channelColour(1).g, 25);
    EXPECT_NEAR(b, sim::channelColour(1).b, 25);

    // Dragged while zoomed, the picture is larger than the pane on every side: the pane is
    // covered to its edges (only the part on the pane is converted).
    engine.placeWithOffset(0, &pane1, 10, 10);
    engine.repaint(0);
    test::processPosted();
    const QImage enlarged = pane1.grab().toImage();
    for (const QRect& edge : {QRect(300, 140, 20, 40), QRect(0, 160, 320, 20)}) {
        const auto [eg, eb] = meanGreenBlue(enlarged, edge);
        EXPECT_NEAR(eg, sim::channelColour(1).g, 25);
        EXPECT_NEAR(eb, sim::channelColour(1).b, 25);
    }
    engine.teardown();
}

}  // namespace
}  // namespace qelv::ui

// The screen settings pane against the real engine playing simulator recordings: what every
// channel's decoder holds after the sliders move, when the change reaches the decoders, and
// how the painted picture changes while paused.
#include "playback/ui/screen_setting_dlg.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "playback/decoder_settings.h"
#include "playback/ui/video_surface_widget.h"
#include "shared_recordings.h"
#include "shell/window_keys.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CScreenSettingDlg;

// Mean luminance of a picture (Rec. 601 weights), every other pixel.
int meanLuminance(const QImage& image) {
    long long sum = 0, n = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            sum += (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
            ++n;
        }
    }
    return n == 0 ? 0 : static_cast<int>(sum / n);
}

class ScreenSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        for (int key : {ui::kKeyScreen1, ui::kKeyScreen2, ui::kKeyScreen3}) {
            panes.push_back(std::make_unique<RecordingWindow>(key));
        }
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        for (ui::VideoSurfaceWidget& surface : surfaces) {
            surface.resize(320, 180);
        }
        engine().initialise(&surfaces[0], &surfaces[1], &surfaces[2]);
        dialog = new CScreenSettingDlg(main.get(), *context);
    }
    void TearDown() override {
        engine().teardown();
        ui::WindowRegistry::instance().clear();
    }

    media::PlaybackEngine& engine() { return context->engine(); }

    // Opens a recording of `channels` cameras (stopped, its first pictures shown).
    void open(int channels) {
        const auto paths = pathsOf(sharedRecording(channels));
        ASSERT_TRUE(engine().open(paths[0], paths[1], paths[2]));
        ASSERT_TRUE(engine().graph()->hasChannel(channels - 1));
    }

    // What channel `k`'s decoder holds for the numbered setting.
    std::int32_t held(int k, std::int32_t setting) const {
        return context->engine().graph()->settings(k).get(setting);
    }

    // Moves a slider as the user does with the keyboard; the slider tells the pane.
    void press(int sliderId, Qt::Key key) {
        QTest::keyClick(dialog->slider(sliderId), key);
        processPosted();
    }

    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    ui::VideoSurfaceWidget surfaces[3];
    std::unique_ptr<RecordingWindow> main;
    std::vector<std::unique_ptr<RecordingWindow>> panes;
    CScreenSettingDlg* dialog = nullptr;
};

// Each slider's ends on every channel's decoder, then "Reset" back to the decoded picture.
TEST_F(ScreenSettingsTest, SliderEndsAndResetReachEveryChannelsDecoder) {
    struct Row {
        int slider;
        std::int32_t setting;
        std::int32_t atHome, atEnd, afterReset;
        int resetPosition;
    };
    const Row rows[] = {
        {1280, media::kLuminanceGain, 0, 256, 128, 128},
        {1281, media::kLuminanceOffset, -256, 256, 0, 256},
        {1282, media::kHue, -180, 180, 0, 180},
        {1283, media::kSaturation, 0, 128, 64, 64},
    };
    open(3);
    ASSERT_EQ(engine().run(), media::kOk);
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    for (const Row& row : rows) {
        press(row.slider, Qt::Key_Home);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(held(k, row.setting), row.atHome) << row.slider << " channel " << k;
        }
        press(row.slider, Qt::Key_End);
        EXPECT_EQ(held(2, row.setting), row.atEnd) << row.slider;
    }
    QTest::mouseClick(dialog->button(CScreenSettingDlg::kCmdReset), Qt::LeftButton);
    processPosted();
    for (const Row& row : rows) {
        EXPECT_EQ(dialog->slider(row.slider)->pos(), row.resetPosition);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(held(k, row.setting), row.afterReset) << row.slider << " channel " << k;
        }
    }
    EXPECT_EQ(engine().state(), 0);
}

// While stopped the decoders keep the picture as it is; the next play takes the sliders.
TEST_F(ScreenSettingsTest, ChangesWhileStoppedTakeEffectWhenPlaybackStarts) {
    open(2);
    ASSERT_EQ(engine().state(), 2);
    press(1281, Qt::Key_End);
    press(1283, Qt::Key_Home);
    EXPECT_EQ(dialog->slider(1281)->pos(), 512);
    EXPECT_EQ(held(0, media::kPictureSettingsOn), 0);
    EXPECT_TRUE(panes[0]->received.empty());

    ASSERT_EQ(engine().run(), media::kOk);
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kPanePlaying);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(held(k, media::kLuminanceOffset), 256) << k;
        EXPECT_EQ(held(k, media::kSaturation), 0) << k;
        EXPECT_EQ(held(k, media::kPictureSettingsOn), 1) << k;
    }
}

// The paused picture itself changes, and every video pane is told to repaint.
TEST_F(ScreenSettingsTest, BrighterWhilePausedPaintsABrighterPicture) {
    open(2);
    ASSERT_EQ(engine().run(), media::kOk);
    ASSERT_EQ(engine().pause(), media::kOk);
    ui::VideoSurfaceWidget& front = surfaces[0];
    ASSERT_TRUE(waitFor([&] { return (void)front.grab(), front.paintedFrames() > 0; }));
    const int before = meanLuminance(front.grab().toImage());
    const int painted = front.paintedFrames();

    press(1281, Qt::Key_End);
    ASSERT_TRUE(waitFor([&] { return (void)front.grab(), front.paintedFrames() > painted; }));
    const int after = meanLuminance(front.grab().toImage());
    EXPECT_GE(after, before + 60) << before << " -> " << after;
    EXPECT_EQ(engine().state(), 1);
    for (const auto& pane : panes) {
        EXPECT_EQ(pane->received,
                  (std::vector<Received>{{ui::kMsgPaneCommand, ui::kRepaintVideo, 0}}));
    }
}

// A floating pane: it keeps the place the user dragged it to beside the main window, and a
// drag while the main window fills the screen does not change where it returns to.
TEST_F(ScreenSettingsTest, KeepsThePlaceTheUserDraggedItTo) {
    main->move(100, 100);
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    dialog->followMainWindow(main->pos());
    processPosted();
    dialog->move(QPoint(-100, 140));  // dragged by the user
    processPosted();

    main->move(300, 50);
    dialog->followMainWindow(main->pos());
    processPosted();
    EXPECT_EQ(dialog->pos(), QPoint(100, 90));

    context->setLayoutMode(ui::kLayoutFullScreen);
    dialog->move(10, 10);
    processPosted();
    context->setLayoutMode(ui::kLayoutDefault);
    main->move(0, 0);
    dialog->followMainWindow(main->pos());
    processPosted();
    EXPECT_EQ(dialog->pos(), QPoint(-200, 40));
}

}  // namespace
}  // namespace qelv::test

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
#include "skin/skin_bitmaps.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CScreenSettingDlg;

constexpr std::int32_t kPictureSettings[] = {media::kLuminanceGain, media::kLuminanceOffset,
                                             media::kHue, media::kSaturation};

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

TEST_F(ScreenSettingsTest, ResetWhilePlayingRestoresTheDecodedPictureOnEveryChannel) {
    open(3);
    ASSERT_EQ(engine().run(), media::kOk);
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    for (int id : {1280, 1281, 1282, 1283}) {
        press(id, Qt::Key_End);
    }
    ASSERT_EQ(held(2, media::kLuminanceGain), 256);
    ASSERT_EQ(held(2, media::kHue), 180);

    QTest::mouseClick(dialog->button(CScreenSettingDlg::kCmdReset), Qt::LeftButton);
    processPosted();
    const std::int32_t expected[] = {128, 0, 0, 64};
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(held(k, kPictureSettings[i]), expected[i]) << "channel " << k << " " << i;
        }
        EXPECT_EQ(held(k, media::kPictureSettingsOn), 1) << k;
    }
    const int positions[] = {128, 256, 180, 64};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dialog->slider(1280 + i)->pos(), positions[i]);
    }
    EXPECT_EQ(engine().state(), 0);
}

// Each slider's ends, and what its decoder setting becomes there.
TEST_F(ScreenSettingsTest, SliderEndsWriteTheirSettingsEnds) {
    struct Case {
        int slider;
        Qt::Key key;
        std::int32_t setting;
        std::int32_t value;
    };
    const Case cases[] = {
        {1282, Qt::Key_Home, media::kHue, -180},
        {1282, Qt::Key_End, media::kHue, 180},
        {1281, Qt::Key_Home, media::kLuminanceOffset, -256},
        {1281, Qt::Key_End, media::kLuminanceOffset, 256},
        {1280, Qt::Key_Home, media::kLuminanceGain, 0},
        {1280, Qt::Key_End, media::kLuminanceGain, 256},
        {1283, Qt::Key_Home, media::kSaturation, 0},
        {1283, Qt::Key_End, media::kSaturation, 128},
    };
    open(2);
    ASSERT_EQ(engine().run(), media::kOk);
    for (const Case& c : cases) {
        press(c.slider, c.key);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(held(k, c.setting), c.value) << c.slider << " channel " << k;
        }
    }
}

TEST_F(ScreenSettingsTest, OtherSliderIdsChangeNothing) {
    open(1);
    ASSERT_EQ(engine().run(), media::kOk);
    for (qintptr id : {1279, 1284, 256, 0}) {
        ui::sendMessage(dialog, ui::kMsgSliderChanged, id, 1);
    }
    EXPECT_EQ(held(0, media::kPictureSettingsOn), 0);
    EXPECT_TRUE(panes[0]->received.empty());
}

// While stopped the decoders keep the picture as it is; the next play takes the sliders.
TEST_F(ScreenSettingsTest, ChangesWhileStoppedTakeEffectWhenPlaybackStarts) {
    open(2);
    ASSERT_EQ(engine().state(), 2);
    press(1281, Qt::Key_End);
    press(1283, Qt::Key_Home);
    EXPECT_EQ(dialog->slider(1281)->pos(), 512);
    EXPECT_EQ(held(0, media::kPictureSettingsOn), 0);
    EXPECT_EQ(held(0, media::kLuminanceOffset), 0);
    EXPECT_TRUE(panes[0]->received.empty());

    ASSERT_EQ(engine().run(), media::kOk);
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kPanePlaying);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(held(k, media::kLuminanceOffset), 256) << k;
        EXPECT_EQ(held(k, media::kSaturation), 0) << k;
        EXPECT_EQ(held(k, media::kLuminanceGain), 128) << k;
        EXPECT_EQ(held(k, media::kHue), 0) << k;
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

TEST_F(ScreenSettingsTest, ToggleAndCloseShowAndHideThePane) {
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->shownByDefault());
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    EXPECT_TRUE(dialog->isVisible());
    QTest::mouseClick(dialog->button(CScreenSettingDlg::kCmdClose), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->shownByDefault());
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    EXPECT_TRUE(dialog->isVisible());
    ui::sendMessage(dialog, ui::kMsgPaneCommand, ui::kToggleScreenSettings);
    EXPECT_FALSE(dialog->isVisible());
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

// The skin names each slider just above it, where no control covers the name.
TEST_F(ScreenSettingsTest, EverySliderHasItsNameInSightAboveIt) {
    const QImage shown = dialog->grab().toImage();
    const QColor panel(28, 31, 40);
    for (int id : {1280, 1281, 1282, 1283}) {
        const QRect above = dialog->slider(id)->geometry().translated(0, -15);
        int lit = 0;
        for (int y = above.top(); y < above.top() + 13; ++y) {
            for (int x = above.left(); x <= above.right(); ++x) {
                lit += shown.pixelColor(x, y).lightness() > panel.lightness() + 60 ? 1 : 0;
            }
        }
        EXPECT_GT(lit, 10) << id;
    }
}

}  // namespace
}  // namespace qelv::test

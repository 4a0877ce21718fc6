// The control bar and the video panes with the real engine on simulated recordings: what a
// user sees and hears happen when they press the bar's buttons, turn the wheel over a pane,
// drag a zoomed picture and use the keys.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include "playback/ui/player_menu_dlg.h"
#include "playback/ui/screen_dlg.h"
#include "report_support.h"
#include "shell/window_keys.h"
#include "simulator/frame_painter.h"
#include "simulator/recorder_simulator.h"
#include "storage/ui/file_manager_dlg.h"
#include "support/temp_dir.h"
#include "tools/ui/print_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CPlayerMenuDlg;
using ui::CScreenDlg;

// The card every test plays: three recordings of three, two and one cameras, listed in that
// order, and a longer one-camera recording for the speed measurements.
struct Card {
    TempDir dir;
    Card() {
        const int channels[] = {3, 2, 1};
        for (int k = 0; k < 3; ++k) {
            sim::RecordingRequest request;
            request.cardRoot = dir.path();
            request.start.minute = k;
            request.seconds = 3;
            request.channels = channels[k];
            request.seed = 11 + static_cast<std::uint64_t>(k);
            request.bitrateScale = 0.05;
            sim::simulateRecording(request);
        }
        sim::RecordingRequest longer;
        longer.cardRoot = dir.path();
        longer.start.minute = 5;
        longer.seconds = 12;
        longer.channels = 1;
        longer.bitrateScale = 0.05;
        sim::simulateRecording(longer);
    }
    static Card& shared() {
        static Card card;
        return card;
    }
};

sim::Rgb rgbOf(const QColor& colour) {
    return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
            static_cast<std::uint8_t>(colour.blue())};
}

// Mean colour of `area` of what `widget` shows.
sim::Rgb meanColour(QWidget& widget, QRect area) {
    return rgbOf(test::meanColour(widget.grab().toImage(), area));
}

bool near(const sim::Rgb& a, const sim::Rgb& b, int tolerance = 30) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        panel = std::make_unique<RecordingWindow>(ui::kKeyInfoPanel);
        graph = std::make_unique<RecordingWindow>(ui::kKeyGraph);
        settingsPane = std::make_unique<RecordingWindow>(ui::kKeyScreenSettings);
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        screens = {new ui::CScreen1Dlg(main.get(), *context),
                   new ui::CScreen2Dlg(main.get(), *context),
                   new ui::CScreen3Dlg(main.get(), *context)};
        ui::PlayerDialogs dialogs;
        dialogs.snapshotName = [this](QWidget*, const QString& proposed) {
            proposedNames.push_back(proposed);
            return snapshotAnswer;
        };
        dialogs.report = [this](CPlayerMenuDlg& opener, int channel) {
            reportState = engine().state();
            report = ui::makeAccidentReport(main.get(), engine(), channel, opener.playingPath(),
                                            [] { return QImage(); });
        };
        dialogs.exportClip = [this](CPlayerMenuDlg&, const std::string& path,
                                    std::int64_t positionNs) {
            exportCalls.push_back({path, positionNs, engine().state()});
        };
        bar = new CPlayerMenuDlg(main.get(), *context, screens, dialogs);
        list =
            new ui::CFileManagerDlg(main.get(), *context, ui::CFileManagerDlg::defaultServices());
        context->setFileList(list->list());
        context->engine().initialise(screens[0]->surface(), screens[1]->surface(),
                                     screens[2]->surface());
        ASSERT_TRUE(list->openFolder(QString::fromStdString(Card::shared().dir.path().string())));
        ASSERT_EQ(list->list()->rowCount(), 4);
        for (QWidget* window :
             std::initializer_list<QWidget*>{screens[0], screens[1], screens[2], bar, list}) {
            window->show();
        }
        processPosted();  // the list's new source stops the bar once, before any test plays
        processPosted();
        for (RecordingWindow* window : {main.get(), panel.get(), graph.get(), settingsPane.get()}) {
            window->received.clear();
        }
    }
    void TearDown() override {
        delete bar;
        for (CScreenDlg* screen : screens) {
            delete screen;
        }
        delete list;
        ui::WindowRegistry::instance().clear();
    }

    media::PlaybackEngine& engine() { return context->engine(); }
    void command(int id) { ui::sendMessage(bar, ui::kMsgButtonClicked, id); }
    // Focuses `row` and presses Play; true once it runs.
    bool playRow(int row) {
        list->list()->selectRow(row);
        command(CPlayerMenuDlg::kCmdPlay);
        return waitFor([&] { return engine().state() == media::kRunningState; }, 20000);
    }
    bool paintedAll(int panes) {
        return waitFor(
            [&] {
                for (int k = 0; k < panes; ++k) {
                    if (screens[static_cast<std::size_t>(k)]->surface()->paintedFrames() == 0) {
                        return false;
                    }
                }
                return true;
            },
            20000);
    }
    std::vector<int> channels() const {
        return {screens[0]->channel(), screens[1]->channel(), screens[2]->channel()};
    }
    // Codes of WM_USER+103 that `window` received.
    static std::vector<qintptr> codes(const RecordingWindow& window) {
        std::vector<qintptr> found;
        for (const Received& message : window.received) {
            if (message.message == ui::kMsgPaneCommand) {
                found.push_back(message.wParam);
            }
        }
        return found;
    }
    // Position advance per wall second over `ms` milliseconds of playing.
    double speed(int ms) {
        test::processPosted();
        const auto from = static_cast<double>(engine().positionMs());
        QElapsedTimer clock;
        clock.start();
        waitFor([&] { return clock.elapsed() >= ms; }, ms + 1000);
        const auto to = static_cast<double>(engine().positionMs());
        return (to - from) / static_cast<double>(clock.elapsed());
    }

    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<RecordingWindow> main, panel, graph, settingsPane;
    std::array<CScreenDlg*, 3> screens{};
    CPlayerMenuDlg* bar = nullptr;
    ui::CFileManagerDlg* list = nullptr;
    std::optional<QString> snapshotAnswer;
    QStringList proposedNames;
    std::unique_ptr<ui::CPrintDlg> report;
    int reportState = -2;
    struct ExportCall {
        std::string path;
        std::int64_t positionNs;
        std::int32_t state;
    };
    std::vector<ExportCall> exportCalls;
};

TEST_F(PlayerTest, PlayOpensTheFocusedRecordingWithItsCameras) {
    ASSERT_TRUE(playRow(0));
    ASSERT_TRUE(paintedAll(3));
    // Each pane shows its own camera.
    const QRect bottom(0, 170, 380, 40);
    for (int k = 0; k < 3; ++k) {
        CScreenDlg& screen = *screens[static_cast<std::size_t>(k)];
        const QRect area = k == 0 ? QRect(0, 330, 780, 80) : bottom;
        EXPECT_TRUE(near(meanColour(*screen.surface(), area), sim::channelColour(k + 1))) << k;
    }
    ASSERT_TRUE(
        waitFor([&] { return bar->durationReadout()->text() == QStringLiteral("00:03"); }, 20000));
    EXPECT_EQ(bar->seekSlider()->rangeMax(), static_cast<int>(engine().durationMs()));
    EXPECT_EQ(bar->playingRow(), 0);
    EXPECT_NE(bar->playingPath().find("120000_3CH_N_F.mp4"), std::string::npos);
    processPosted();
    EXPECT_EQ(codes(*panel), (std::vector<qintptr>{ui::kPanePlaying}));
    EXPECT_EQ(codes(*settingsPane), (std::vector<qintptr>{ui::kPanePlaying}));
    // The read-out follows the position.
    ASSERT_TRUE(
        waitFor([&] { return bar->positionReadout()->text() == QStringLiteral("00:01"); }, 20000));
    EXPECT_GT(bar->seekSlider()->pos(), 900);
}

TEST_F(PlayerTest, PlayPausesAndResumesWhereTheSeekSliderIs) {
    ASSERT_TRUE(playRow(0));
    command(CPlayerMenuDlg::kCmdPlay);
    EXPECT_EQ(engine().state(), media::kPausedState);
    EXPECT_FALSE(bar->playTimerActive());
    processPosted();
    EXPECT_EQ(codes(*panel).back(), ui::kPanePaused);
    // A thumb moved while paused takes effect on Play.
    bar->seekSlider()->setPos(2000);
    command(CPlayerMenuDlg::kCmdPlay);
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_GE(engine().positionMs(), 1990u);
}

TEST_F(PlayerTest, StopReturnsToTheStartAndTellsThePanes) {
    ASSERT_TRUE(playRow(0));
    ASSERT_TRUE(paintedAll(1));
    ASSERT_TRUE(waitFor([&] { return bar->seekSlider()->pos() >= 500; }, 20000));
    screens[0]->setSelectedMark(true);
    QWheelEvent up(QPointF(50, 50), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(screens[0], &up);
    ASSERT_EQ(engine().zoom(0), 20);
    command(CPlayerMenuDlg::kCmdStop);
    processPosted();
    EXPECT_EQ(engine().state(), media::kStoppedState);
    EXPECT_EQ(bar->positionReadout()->text(), QStringLiteral("00:00"));
    EXPECT_EQ(bar->durationReadout()->text(), QStringLiteral("00:00"));
    EXPECT_EQ(bar->seekSlider()->rangeMax(), 0);
    EXPECT_EQ(bar->seekSlider()->pos(), 0);
    EXPECT_EQ(engine().positionMs(), 0u);  // what the map and the sensor strip are told
    EXPECT_EQ(engine().zoom(0), 0);        // pane 1 reset its zoom
    EXPECT_EQ(codes(*panel).back(), ui::kPaneStop);
    EXPECT_EQ(codes(*graph).back(), ui::kPaneStop);
    // Play after Stop opens the focused recording again.
    command(CPlayerMenuDlg::kCmdPlay);
    EXPECT_EQ(engine().state(), media::kRunningState);
}

// Dragging the seek slider's thumb seeks, paused or playing.
TEST_F(PlayerTest, DraggingTheSeekSliderSeeks) {
    ASSERT_TRUE(playRow(3));
    ASSERT_TRUE(waitFor([&] { return bar->seekSlider()->rangeMax() > 10000; }, 20000));
    ui::CBitmapSlider& seek = *bar->seekSlider();
    const int middle = seek.centreOfValue(6500);
    command(CPlayerMenuDlg::kCmdPlay);  // paused
    QTest::mousePress(&seek, Qt::LeftButton, {}, QPoint(middle, 5));
    QTest::mouseRelease(&seek, Qt::LeftButton, {}, QPoint(middle, 5));
    processPosted();
    EXPECT_EQ(engine().state(), media::kPausedState);
    EXPECT_NEAR(static_cast<double>(engine().positionMs()), seek.pos(), 100.0);
    EXPECT_NEAR(seek.pos(), 6500, 100);
    EXPECT_EQ(bar->positionReadout()->text(), QStringLiteral("00:06"));
    command(CPlayerMenuDlg::kCmdPlay);  // running
    const int early = seek.centreOfValue(2000);
    QTest::mousePress(&seek, Qt::LeftButton, {}, QPoint(early, 5));
    QTest::mouseRelease(&seek, Qt::LeftButton, {}, QPoint(early, 5));
    processPosted();
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_LT(engine().positionMs(), 3500u);
}

// A recording whose front file ends long before its index says stops with a message.
TEST_F(PlayerTest, AFrontChannelFailingWhilePlayingStopsWithAMessage) {
    MessageBoxSpy boxes;
    ASSERT_TRUE(playRow(3));
    engine().queueEndOfStream(engine().generation());
    ASSERT_TRUE(waitFor([&] { return !boxes.boxes.empty(); }, 20000));
    EXPECT_EQ(engine().state(), media::kStoppedState);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("120500_1CH_N_F.mp4")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(bar->positionReadout()->text(), QStringLiteral("00:00"));
    EXPECT_FALSE(bar->playTimerActive());
}

TEST_F(PlayerTest, StepsStayWithinTheRecording) {
    ASSERT_TRUE(playRow(0));
    command(CPlayerMenuDlg::kCmdPlay);  // paused
    engine().seek(1500);
    command(CPlayerMenuDlg::kCmdRewind);
    EXPECT_EQ(engine().state(), media::kRunningState);  // a step plays on
    EXPECT_LT(engine().positionMs(), 400u);
    command(CPlayerMenuDlg::kCmdForward);
    EXPECT_GE(engine().positionMs(), 1000u);
    EXPECT_LT(engine().positionMs(), 1600u);
    command(CPlayerMenuDlg::kCmdStop);
    command(CPlayerMenuDlg::kCmdRewind);  // nothing while stopped
    EXPECT_EQ(engine().state(), media::kStoppedState);
}

// At the end a recording hands over to the next one in the list; the last one stops.
TEST_F(PlayerTest, TheEndMovesOnAndTheLastRecordingStops) {
    ASSERT_TRUE(playRow(2));
    ASSERT_TRUE(waitFor([&] { return bar->playingRow() == 3; }, 30000));
    EXPECT_EQ(list->list()->focusedRow(), 3);
    ASSERT_TRUE(waitFor([&] { return engine().state() == media::kRunningState; }, 20000));
    engine().seek(engine().durationMs() - 300);
    ASSERT_TRUE(waitFor([&] { return engine().state() == media::kStoppedState; }, 20000));
    EXPECT_EQ(bar->positionReadout()->text(), QStringLiteral("00:00"));
    EXPECT_EQ(list->list()->focusedRow(), 3);
    // Previous file at the first row does nothing; Next File at the last does nothing.
    list->list()->selectRow(0);
    command(CPlayerMenuDlg::kCmdPrevious);
    EXPECT_FALSE(bar->reopenPending());
    list->list()->selectRow(3);
    command(CPlayerMenuDlg::kCmdNext);
    EXPECT_FALSE(bar->reopenPending());
}

// A trip of the first two recordings with one in between that is gone: it is passed over,
// the bar spans the two, a seek crosses into the second, Previous comes back, and the first
// recording's end hands over to the second with no reopening and the read-outs running on.
TEST_F(PlayerTest, ATripPlaysBackToBackOnTheTripsTimeAndPassesOverWhatCannotPlay) {
    const auto& catalogue = context->catalogue();
    const auto idOf = [&](int row) {
        return static_cast<std::size_t>(catalogue.shownEntryAt(row) - catalogue.entries().data());
    };
    const media::TripPlaylist trip(
        {{idOf(0), catalogue.shownEntryAt(0)->path, 3000},
         {catalogue.entries().size() + 5, "/nowhere/20240101_000100_1CH_N_F.mp4", 3000},
         {idOf(1), catalogue.shownEntryAt(1)->path, 3000}});
    QSignalSpy skipped(bar, &CPlayerMenuDlg::recordingSkipped);
    QSignalSpy playing(bar, &CPlayerMenuDlg::tripPlaying);
    bar->playTrip(trip, 0, 0);
    ASSERT_TRUE(waitFor([&] { return engine().state() == media::kRunningState; }, 20000));
    ASSERT_EQ(skipped.count(), 1);
    EXPECT_EQ(skipped.front().front().toString().toStdString(), trip.item(1).path);
    EXPECT_NEAR(bar->seekSlider()->rangeMax(), 6000, 200);
    EXPECT_EQ(bar->durationReadout()->text(), QStringLiteral("00:06"));

    bar->playTrip(trip, 2, 1500);  // the trip playing: only a seek, across the joint
    ASSERT_TRUE(waitFor([&] { return bar->tripIndex() == 2; }, 20000));
    EXPECT_EQ(bar->playingPath(), trip.item(2).path);
    EXPECT_GE(bar->tripPositionMs(), 4400U);
    command(CPlayerMenuDlg::kCmdPrevious);
    EXPECT_EQ(bar->tripIndex(), 0U);
    EXPECT_FALSE(bar->reopenPending());

    ASSERT_TRUE(waitFor([&] { return bar->tripIndex() == 2; }, 30000));  // handed over
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_FALSE(bar->reopenPending());
    EXPECT_TRUE(engine().graph()->hasChannel(1));
    EXPECT_FALSE(engine().graph()->hasChannel(2));
    ASSERT_TRUE(
        waitFor([&] { return bar->positionReadout()->text() == QStringLiteral("00:04"); }, 20000));
    ASSERT_TRUE(waitFor([&] { return engine().state() == media::kStoppedState; }, 30000));
    EXPECT_FALSE(bar->trip().has_value());  // the trip's end is the end
    ASSERT_EQ(playing.count(), 2);
    EXPECT_FALSE(playing.back().front().toBool());
}

// A seek into a trip's recording that cannot be opened, with none after it that plays, ends
// the trip: the bar is not left on a trip with nothing playing.
TEST_F(PlayerTest, ASeekIntoATripsUnplayableEndEndsTheTrip) {
    TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path();
    request.seconds = 3;
    request.channels = 1;
    request.bitrateScale = 0.05;
    sim::simulateRecording(request);
    touch(dir.path() / "NOR/FRONT/20240131_130000_1CH_N_F.mp4");
    ASSERT_TRUE(list->openFolder(QString::fromStdString(dir.path().string())));
    processPosted();
    const auto& catalogue = context->catalogue();
    ASSERT_EQ(catalogue.entries().size(), 2U);
    const bool badFirst = catalogue.entries()[0].path.ends_with("20240131_130000_1CH_N_F.mp4");
    const std::size_t good = badFirst ? 1 : 0;
    const media::TripPlaylist trip({{good, catalogue.entries()[good].path, 3000},
                                    {1 - good, catalogue.entries()[1 - good].path, 3000}});
    bar->playTrip(trip, 0, 0);
    ASSERT_TRUE(waitFor([&] { return engine().state() == media::kRunningState; }, 20000));
    bar->playTrip(trip, 1, 0);
    EXPECT_FALSE(bar->trip().has_value());
    EXPECT_NE(engine().state(), media::kRunningState);
}

TEST_F(PlayerTest, NextFilePlaysTheNextRecordingASecondLater) {
    ASSERT_TRUE(playRow(0));
    command(CPlayerMenuDlg::kCmdNext);
    EXPECT_EQ(engine().state(), media::kPausedState);
    EXPECT_TRUE(bar->reopenPending());
    EXPECT_EQ(list->list()->focusedRow(), 1);
    processPosted();
    EXPECT_EQ(codes(*panel).back(), ui::kPaneStop);  // the telemetry store empties
    ASSERT_TRUE(waitFor([&] { return bar->playingRow() == 1; }, 20000));
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_NE(bar->playingPath().find("120100_2CH_N_F.mp4"), std::string::npos);
    EXPECT_FALSE(engine().graph()->hasChannel(2));
    // The third pane does not keep the first recording's third camera.
    EXPECT_TRUE(near(meanColour(*screens[2]->surface(), QRect(0, 0, 380, 210)), {0, 0, 0}, 2));
}

TEST_F(PlayerTest, ScreenSwitchingRotatesTheChannels) {
    struct Case {
        int row;
        std::vector<std::vector<int>> after;  // the panes' channels after each press
    };
    const Case cases[] = {
        {0, {{1, 2, 0}, {2, 0, 1}, {0, 1, 2}}},
        {1, {{1, 0, 2}, {0, 1, 2}}},
        {2, {{0, 1, 2}}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(playRow(c.row)) << c.row;
        command(CPlayerMenuDlg::kCmdPlay);  // paused: the pictures hold still
        for (const auto& expected : c.after) {
            command(CPlayerMenuDlg::kCmdScreenSwitch);
            EXPECT_EQ(channels(), expected) << c.row;
        }
        command(CPlayerMenuDlg::kCmdStop);
    }
    // What pane 1 shows is the channel it was given: the rear camera after one press.
    ASSERT_TRUE(playRow(0));
    ASSERT_TRUE(paintedAll(3));
    command(CPlayerMenuDlg::kCmdPlay);
    command(CPlayerMenuDlg::kCmdScreenSwitch);
    processPosted();
    EXPECT_TRUE(
        near(meanColour(*screens[0]->surface(), QRect(0, 330, 780, 80)), sim::channelColour(2)));
    EXPECT_TRUE(
        near(meanColour(*screens[2]->surface(), QRect(0, 170, 380, 40)), sim::channelColour(1)));
    // The capture channel follows the selected pane's channel.
    screens[0]->setSelectedMark(false);
    screens[1]->setSelectedMark(true);
    EXPECT_EQ(bar->captureChannel(), 2);
    command(CPlayerMenuDlg::kCmdStop);
    EXPECT_EQ(channels(), (std::vector<int>{0, 1, 2}));
    command(CPlayerMenuDlg::kCmdScreenSwitch);  // stopped: nothing
    EXPECT_EQ(channels(), (std::vector<int>{0, 1, 2}));
}

TEST_F(PlayerTest, WheelZoomAndDragStayWithinTheirLimits) {
    CScreenDlg& pane = *screens[0];
    auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(100, 100), QPointF(), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&pane, &event);
    };
    wheel(120);  // stopped: nothing
    EXPECT_EQ(engine().zoom(0), 0);
    ASSERT_TRUE(playRow(0));
    command(CPlayerMenuDlg::kCmdPlay);
    wheel(-120);  // zooming out at 0 leaves 0
    EXPECT_EQ(engine().zoom(0), 0);
    EXPECT_EQ(pane.panX(), 0);
    wheel(60);  // not a whole step: passed on
    EXPECT_EQ(engine().zoom(0), 0);
    wheel(120);
    ASSERT_EQ(engine().zoom(0), 20);
    // A drag 30 pixels left at zoom 20 pans only 20; up 5 pans 5.
    QTest::mousePress(&pane, Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_TRUE(pane.dragging());
    QTest::mouseMove(&pane, QPoint(170, 205));
    EXPECT_EQ(pane.panX(), 20);
    EXPECT_EQ(pane.panY(), 0);
    QTest::mouseMove(&pane, QPoint(170, 200));
    EXPECT_EQ(pane.panY(), 5);
    QTest::mouseRelease(&pane, Qt::LeftButton, {}, QPoint(170, 200));
    EXPECT_FALSE(pane.dragging());
    // The picture is enlarged and moved: its left edge lies outside the surface.
    const media::Rect placed = engine().graph()->destination(0);
    EXPECT_EQ(placed.x, -20);
    EXPECT_EQ(placed.width, pane.surface()->width() + 40 - 20);
    for (int k = 0; k < 60; ++k) {
        wheel(120);
    }
    EXPECT_EQ(engine().zoom(0), 960);
    wheel(-120);
    EXPECT_EQ(engine().zoom(0), 940);
}

TEST_F(PlayerTest, PanesReportPressesAndReleasesToTheMainWindow) {
    ASSERT_TRUE(playRow(0));
    command(CPlayerMenuDlg::kCmdPlay);
    CScreenDlg& second = *screens[1];
    QTest::mousePress(&second, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&second, Qt::LeftButton, {}, QPoint(50, 50));
    processPosted();
    EXPECT_EQ(main->received,
              (std::vector<Received>{{ui::kMsgPaneSelect, 0, 0}, {ui::kMsgPaneSelect, 2, 0}}));
    // Pane 1, already selected, says nothing; released outside its picture it says nothing.
    main->received.clear();
    QTest::mousePress(screens[0], Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(screens[0], Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mousePress(&second, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&second, Qt::LeftButton, {}, QPoint(1, 1));
    processPosted();
    EXPECT_EQ(main->received, (std::vector<Received>{{ui::kMsgPaneSelect, 0, 0}}));
    // A pane without a channel ignores the mouse.
    command(CPlayerMenuDlg::kCmdStop);
    list->list()->selectRow(2);
    command(CPlayerMenuDlg::kCmdPlay);
    main->received.clear();
    QTest::mousePress(screens[2], Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(screens[2], Qt::LeftButton, {}, QPoint(50, 50));
    processPosted();
    EXPECT_TRUE(main->received.empty());
}

TEST_F(PlayerTest, TheRateSliderChangesTheSpeedBothWays) {
    ASSERT_TRUE(playRow(3));
    auto rate = [&](int position) {
        bar->rateSlider()->setPos(position);
        ui::sendMessage(bar, ui::kMsgSliderChanged, CPlayerMenuDlg::kRateId, 1);
    };
    rate(10);
    EXPECT_EQ(bar->rateReadout()->text(), QStringLiteral("x2.0"));
    const double fast = speed(2500);
    EXPECT_GT(fast, 1.5);
    EXPECT_LT(fast, 2.6);
    rate(6);
    EXPECT_EQ(bar->rateReadout()->text(), QStringLiteral("x1.0"));
    const double normal = speed(2500);
    EXPECT_GT(normal, 0.7);
    EXPECT_LT(normal, 1.3);
    rate(1);
    EXPECT_EQ(bar->rateReadout()->text(), QStringLiteral("x0.5"));
}

TEST_F(PlayerTest, VolumeAboveNinetyPlaysAsNinety) {
    struct Case {
        int position;
        std::uint16_t level;
    };
    for (const Case& c : {Case{50, 32767}, Case{100, 58981}, Case{90, 58981}, Case{0, 0}}) {
        bar->volumeSlider()->setPos(c.position);
        ui::sendMessage(bar, ui::kMsgSliderChanged, CPlayerMenuDlg::kVolumeId, 1);
        EXPECT_EQ(engine().outputLevel(), c.level) << c.position;
    }
}

TEST_F(PlayerTest, FlipTurnsTheSelectedPanesPicture) {
    ASSERT_TRUE(playRow(0));
    ASSERT_TRUE(paintedAll(3));
    screens[0]->setSelectedMark(false);
    screens[1]->setSelectedMark(true);
    command(CPlayerMenuDlg::kCmdFlip);
    EXPECT_TRUE(bar->flipped(1));
    EXPECT_FALSE(bar->flipped(0));
    // The digit drawn at the top left of the rear camera's picture moves to the bottom left.
    const QRect top(10, 10, 60, 60);
    const QRect bottom(10, 145, 60, 60);
    auto whiteness = [&](QRect area) {
        const sim::Rgb mean = meanColour(*screens[1]->surface(), area);
        return mean.r + mean.b;
    };
    EXPECT_GT(whiteness(top), whiteness(bottom) + 40);
    ASSERT_TRUE(waitFor([&] { return whiteness(bottom) > whiteness(top) + 40; }, 20000));
    command(CPlayerMenuDlg::kCmdFlip);
    EXPECT_FALSE(bar->flipped(1));
}

// The keys live on the main window and work while any pane is the active window; the list
// keeps its own arrows and pages.
TEST_F(PlayerTest, KeysDriveTheSameCommands) {
    ASSERT_TRUE(playRow(0));
    bar->installShortcuts(main.get());
    CPlayerMenuDlg::keepNavigationKeys(list->list());
    main->show();
    auto activate = [](QWidget* window) {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window) &&
               waitFor([&] { return QApplication::activeWindow() == window; });
    };
    ASSERT_TRUE(activate(screens[0]));
    // Through the window system, as a user's key reaches the shortcuts.
    QWindow* pane = screens[0]->windowHandle();
    QTest::keyClick(pane, Qt::Key_Space);
    EXPECT_EQ(engine().state(), media::kPausedState);
    QTest::keyClick(pane, Qt::Key_BracketRight);
    EXPECT_EQ(bar->rateSlider()->pos(), 7);
    EXPECT_EQ(bar->rateReadout()->text(), QStringLiteral("x1.3"));
    QTest::keyClick(pane, Qt::Key_BracketLeft);
    EXPECT_EQ(bar->rateReadout()->text(), QStringLiteral("x1.0"));
    ASSERT_TRUE(activate(bar));
    QTest::keyClick(bar->windowHandle(), Qt::Key_Down);
    EXPECT_EQ(bar->volumeSlider()->pos(), 45);
    // In the list, Down moves to the next row; the volume stays.
    ASSERT_TRUE(activate(list));
    list->list()->setFocus();
    QTest::keyClick(list->windowHandle(), Qt::Key_Down);
    EXPECT_EQ(list->list()->focusedRow(), 1);
    EXPECT_EQ(bar->volumeSlider()->pos(), 45);
    EXPECT_FALSE(bar->reopenPending());
    QTest::keyClick(list->windowHandle(), Qt::Key_Space);  // the other keys work there too
    EXPECT_EQ(engine().state(), media::kRunningState);
    ASSERT_TRUE(activate(screens[1]));
    QTest::keyClick(screens[1]->windowHandle(), Qt::Key_PageDown);
    EXPECT_EQ(list->list()->focusedRow(), 2);
    EXPECT_TRUE(bar->reopenPending());
    EXPECT_EQ(bar->button(CPlayerMenuDlg::kCmdPlay)->toolTip(), QStringLiteral("Play (Space)"));
}

// E and the video panes' menu offer the recording being played at the position shown, and
// playback goes on; with nothing open neither does anything.
TEST_F(PlayerTest, ExportClipOffersThePlayingRecordingFromTheKeyAndThePanesMenu) {
    bar->installShortcuts(main.get());
    main->show();
    std::unique_ptr<QMenu> idleMenu(screens[1]->makeMenu());
    ASSERT_EQ(idleMenu->actions().size(), 1);
    EXPECT_FALSE(idleMenu->actions()[0]->isEnabled());
    bar->runCommand(CPlayerMenuDlg::kCmdExportClip);
    EXPECT_TRUE(exportCalls.empty());

    ASSERT_TRUE(playRow(2));
    ASSERT_TRUE(waitFor([&] { return engine().positionMs() > 1500; }, 20000));
    screens[0]->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(screens[0]));
    const auto before = static_cast<std::int64_t>(engine().positionMs());
    QTest::keyClick(screens[0]->windowHandle(), Qt::Key_E);
    const auto after = static_cast<std::int64_t>(engine().positionMs());
    ASSERT_EQ(exportCalls.size(), 1u);
    EXPECT_EQ(exportCalls[0].path, bar->playingPath());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(exportCalls[0].path))
                    .fileName()
                    .startsWith(QStringLiteral("20240131_1202")));
    EXPECT_GE(exportCalls[0].positionNs, before * 1'000'000);
    EXPECT_LE(exportCalls[0].positionNs, after * 1'000'000);
    EXPECT_EQ(exportCalls[0].state, media::kRunningState);

    std::unique_ptr<QMenu> menu(screens[2]->makeMenu());
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Export clip..."));
    menu->actions()[0]->trigger();
    processPosted();
    ASSERT_EQ(exportCalls.size(), 2u);
    EXPECT_EQ(exportCalls[1].path, bar->playingPath());
    EXPECT_EQ(engine().state(), media::kRunningState);
}

// "Capture" saves the recording being played, one picture per camera, and plays on.
TEST_F(PlayerTest, CaptureSavesEveryCameraOfTheRecordingPlayed) {
    TempDir out;
    snapshotAnswer = QString::fromStdString((out.path() / "shot_CHx.jpg").string());
    ASSERT_TRUE(playRow(1));
    ASSERT_TRUE(paintedAll(2));
    command(CPlayerMenuDlg::kCmdCapture);
    ASSERT_EQ(proposedNames.size(), 1);
    // The shipped configuration names pictures after the time in the file name plus the
    // position.
    EXPECT_TRUE(proposedNames[0].startsWith(QStringLiteral("20240131_1201")) &&
                proposedNames[0].endsWith(QStringLiteral("_CHx.jpg")))
        << proposedNames[0].toStdString();
    for (int k = 0; k < 2; ++k) {
        const auto file = out.path() / ("shot_CH(#" + std::to_string(k + 1) + ").jpg");
        QImage picture(QString::fromStdString(file.string()));
        ASSERT_FALSE(picture.isNull()) << file;
        const QRect bottom(0, picture.height() * 8 / 10, picture.width(), picture.height() / 5);
        EXPECT_TRUE(near(rgbOf(test::meanColour(picture, bottom)), sim::channelColour(k + 1))) << k;
    }
    EXPECT_FALSE(std::filesystem::exists(out.path() / "shot_CH(#3).jpg"));
    EXPECT_EQ(engine().state(), media::kRunningState);
}

// Print opens the report, paused, with the selected pane's picture and the files played.
TEST_F(PlayerTest, PrintReportsTheSelectedPanesPictureAndTheFilesPlayed) {
    ASSERT_TRUE(playRow(1));
    ASSERT_TRUE(paintedAll(2));
    screens[1]->setSelectedMark(true);
    command(CPlayerMenuDlg::kCmdPrint);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(reportState, media::kPausedState);
    EXPECT_EQ(engine().state(), media::kRunningState);
    const ui::ReportPage page = report->currentPage();
    const QImage& frame = page.frame;
    const QRect bottom(0, frame.height() * 8 / 10, frame.width(), frame.height() / 5);
    EXPECT_TRUE(near(rgbOf(test::meanColour(frame, bottom)), sim::channelColour(2)));
    const media::RecordingSources& opened = engine().openedSources();
    ASSERT_EQ(page.evidenceLines.size(), 2);
    for (int k = 0; k < 2; ++k) {
        const QString path = QString::fromStdString(opened.paths[static_cast<std::size_t>(k)]);
        EXPECT_EQ(
            page.evidenceLines[k],
            QStringLiteral("SHA-256 %1: %2").arg(QFileInfo(path).fileName(), sha256sum(path)));
    }
    EXPECT_EQ(page.recordingName, QFileInfo(QString::fromStdString(bar->playingPath())).fileName());
    EXPECT_TRUE(page.map.isNull());
}

TEST_F(PlayerTest, ARecordingThatCannotBeReadIsReported) {
    TempDir bad;
    touch(bad.path() / "NOR/FRONT/20240131_130000_1CH_N_F.mp4");
    ASSERT_TRUE(list->openFolder(QString::fromStdString(bad.path().string())));
    MessageBoxSpy boxes;
    list->list()->selectRow(0);
    command(CPlayerMenuDlg::kCmdPlay);
    EXPECT_NE(engine().state(), media::kRunningState);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("20240131_130000_1CH_N_F.mp4")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(bar->positionReadout()->text(), QStringLiteral("00:00"));
    // The player is not left without a graph: the next recording plays.
    ASSERT_TRUE(list->openFolder(QString::fromStdString(Card::shared().dir.path().string())));
    processPosted();
    EXPECT_TRUE(playRow(2));
}

// The selected pane fills the screen, or shows its channel at its own size in the middle.
TEST_F(PlayerTest, LayoutsPlaceTheSelectedPane) {
    const QSize screen(1600, 900);
    CScreenDlg& pane = *screens[0];
    pane.takeLayoutMode(ui::kLayoutFullScreen, screen);
    EXPECT_EQ(pane.geometry(), QRect(12, 30, 1575, 800));
    EXPECT_EQ(pane.surface()->geometry(), QRect(4, 2, 1567, 794));
    screens[1]->takeLayoutMode(ui::kLayoutFullScreen, screen);  // not selected: stays
    EXPECT_EQ(screens[1]->size(), QSize(390, 219));
    ASSERT_TRUE(playRow(0));
    const auto [w, h] = engine().nativeSize(2);
    ASSERT_GT(w, 0);
    ASSERT_LT(w, 1575);
    pane.setChannel(2);
    pane.takeLayoutMode(ui::kLayoutFitScreen, screen);
    EXPECT_EQ(pane.geometry(), QRect(12 + (1575 - w) / 2, 30 + (800 - h) / 2, w, h));
    EXPECT_EQ(pane.surface()->size(), QSize(w - 8, h - 6));
    pane.takeLayoutMode(ui::kLayoutDefault, screen);
    EXPECT_EQ(pane.size(), QSize(785, 419));
    EXPECT_EQ(pane.surface()->geometry(), QRect(2, 2, 781, 415));
}

}  // namespace
}  // namespace qelv::test

// The sensor panel and the G-sensor graph with the real engine and control bar, on a simulated
// recording whose drive plan says what the panel must show: the reader fills the store when
// playback starts, the panel shows the sample and fix of the position, the graph draws the
// traces and the cursor, a click in the graph seeks playback, and the map saves the route.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "playback/ui/player_menu_dlg.h"
#include "playback/ui/screen_dlg.h"
#include "shell/window_keys.h"
#include "simulator/drive_script.h"
#include "simulator/recorder_simulator.h"
#include "storage/ui/file_manager_dlg.h"
#include "support/route_file.h"
#include "support/temp_dir.h"
#include "telemetry/ui/gsensor_graphic_dlg.h"
#include "telemetry/ui/map_view_dlg.h"
#include "telemetry/ui/util_info_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CGsensorGraphicDlg;
using ui::CPlayerMenuDlg;
using ui::CUtilInfoDlg;

constexpr int kSeconds = 12;
constexpr std::uint64_t kSeed = 5;

struct TelemetryCard {
    TempDir dir;
    TelemetryCard() {
        sim::RecordingRequest request;
        request.cardRoot = dir.path();
        request.seconds = kSeconds;
        request.channels = 1;
        request.seed = kSeed;
        request.bitrateScale = 0.05;
        sim::simulateRecording(request);
    }
    static TelemetryCard& shared() {
        static TelemetryCard card;
        return card;
    }
};

// What the recorder wrote for each second.
const std::vector<sim::DriveSecond>& drive() {
    static const auto plan = sim::planDrive(kSeconds, kSeed);
    return plan;
}

// The panel's text for an 8-bit raw value: raw x 0.44140625 / 7 x 0.5 g.
QString gText(int raw) {
    return QString::asprintf(
        "%0.03f", static_cast<double>(static_cast<float>(raw) * 0.44140625f / 7.0f * 0.5f));
}

double numberIn(const QString& text) {
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9.\\-]")));
    return digits.toDouble();
}

// A record of the packed 8- or 10-bit shape with three words.
std::array<std::uint8_t, core::kRecordBufferSize> packed(int depth, int x, int y, int z) {
    std::array<std::uint8_t, core::kRecordBufferSize> record{};
    record[0] = 'S';
    record[1] = static_cast<std::uint8_t>(depth);
    const int words[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        record[2 + 2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
        record[3 + 2 * i] = static_cast<std::uint8_t>((words[i] >> 8) & 0xFF);
    }
    return record;
}

// A fix record at `kmh` km/h (as knots), valid ("A") or not ("V"), always at one place.
std::array<std::uint8_t, core::kRecordBufferSize> fixAt(double kmh, char status = 'A') {
    const std::string sentence = "G$GPRMC,120000.00," + std::string(1, status) +
                                 ",3730.5,N,12700.0,E," + std::to_string(kmh / 1.852) + ",0,310124";
    std::array<std::uint8_t, core::kRecordBufferSize> record{};
    std::copy(sentence.begin(), sentence.end(), record.begin());
    return record;
}

bool isColour(const QColor& c, const QColor& want, int tolerance = 40) {
    return std::abs(c.red() - want.red()) <= tolerance &&
           std::abs(c.green() - want.green()) <= tolerance &&
           std::abs(c.blue() - want.blue()) <= tolerance;
}

// Whether some pixel of `area` has about the colour `want`.
bool anyPixel(const QImage& image, QRect area, const QColor& want, int tolerance = 40) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (isColour(image.pixelColor(x, y), want, tolerance)) {
                return true;
            }
        }
    }
    return false;
}

class TelemetryPanesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        screens = {new ui::CScreen1Dlg(main.get(), *context),
                   new ui::CScreen2Dlg(main.get(), *context),
                   new ui::CScreen3Dlg(main.get(), *context)};
        bar = new CPlayerMenuDlg(main.get(), *context, screens, {});
        info = new CUtilInfoDlg(main.get(), *context);
        graph = new CGsensorGraphicDlg(main.get(), *context);
        QObject::connect(bar, &CPlayerMenuDlg::positionShown, graph,
                         &CGsensorGraphicDlg::setCursorPosition);
        list =
            new ui::CFileManagerDlg(main.get(), *context, ui::CFileManagerDlg::defaultServices());
        context->setFileList(list->list());
        context->engine().initialise(screens[0]->surface(), screens[1]->surface(),
                                     screens[2]->surface());
        ASSERT_TRUE(
            list->openFolder(QString::fromStdString(TelemetryCard::shared().dir.path().string())));
        for (QWidget* window : std::initializer_list<QWidget*>{screens[0], bar, info, list}) {
            window->show();
        }
        processPosted();
        processPosted();
    }
    void TearDown() override {
        delete info;  // waits for its readers
        delete graph;
        delete bar;
        for (ui::CScreenDlg* screen : screens) {
            delete screen;
        }
        delete list;
        ui::WindowRegistry::instance().clear();
    }

    media::PlaybackEngine& engine() { return context->engine(); }
    core::TelemetryState& telemetry() { return context->telemetry(); }
    void command(int id) { ui::sendMessage(bar, ui::kMsgButtonClicked, id); }
    bool play() {
        list->list()->selectRow(0);
        command(CPlayerMenuDlg::kCmdPlay);
        return waitFor([&] { return engine().state() == media::kRunningState; }, 20000);
    }
    std::size_t samples() {
        std::size_t n = 0;
        telemetry().walkSamples([&](const auto& all) { n = all.size(); });
        return n;
    }
    std::vector<std::int32_t> sampleTimes() {
        std::vector<std::int32_t> times;
        telemetry().walkSamples([&](const auto& all) {
            for (const auto& s : all) {
                times.push_back(s.timeMs);
            }
        });
        return times;
    }
    // Plays and waits until the reader has read every record and the route.
    bool playAndRead() {
        return play() && waitFor(
                             [&] {
                                 processPosted();
                                 return samples() == kSeconds && !telemetry().route().empty();
                             },
                             30000);
    }
    // Pauses and seeks to `ms` through the control bar.
    void pauseAt(int ms) {
        if (engine().state() == media::kRunningState) {
            command(CPlayerMenuDlg::kCmdPlay);
        }
        ui::sendMessage(bar, ui::kMsgSeek, ms);
        processPosted();
    }
    QImage graphPicture() {
        graph->show();
        graph->repaint();
        return graph->grab().toImage();
    }

    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<RecordingWindow> main;
    std::array<ui::CScreenDlg*, 3> screens{};
    CPlayerMenuDlg* bar = nullptr;
    CUtilInfoDlg* info = nullptr;
    CGsensorGraphicDlg* graph = nullptr;
    ui::CFileManagerDlg* list = nullptr;
};

TEST_F(TelemetryPanesTest, PlayReadsTheRecordingAndThePanelShowsThePosition) {
    ASSERT_TRUE(playAndRead());
    EXPECT_EQ(info->readersStarted(), 1);
    // Every record once, a second apart, from 0; the route holds the seconds with a fix.
    std::vector<std::int32_t> expected;
    for (int k = 0; k < kSeconds; ++k) {
        expected.push_back(k * 1000);
    }
    EXPECT_EQ(sampleTimes(), expected);
    std::size_t withFix = 0;
    for (const auto& second : drive()) {
        withFix += second.fix ? 1 : 0;
    }
    EXPECT_EQ(telemetry().route().size(), withFix);

    pauseAt(5500);
    ASSERT_EQ(engine().state(), media::kPausedState);
    // The map's selection publishes the fix of the next whole second (6 s).
    ASSERT_TRUE(telemetry().SelectCurrentFix(static_cast<std::uint32_t>(engine().positionMs())));
    info->refresh();
    const sim::DriveSecond& before = drive()[5];  // the last sample before 5.5 s
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kAxisX), gText(before.gx));
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kAxisY), gText(before.gy));
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kAxisZ), gText(before.gz));
    const sim::DriveSecond& fix = drive()[6];
    const QString latitude = info->valueText(CUtilInfoDlg::kLatitude);
    const QString longitude = info->valueText(CUtilInfoDlg::kLongitude);
    EXPECT_TRUE(latitude.startsWith(QLatin1Char('N'))) << latitude.toStdString();
    EXPECT_TRUE(longitude.startsWith(QLatin1Char('E'))) << longitude.toStdString();
    // ddmm.mmmm / 100 as the sentence wrote it.
    auto ddmm = [](double degrees) {
        const double whole = std::floor(degrees);
        return (whole * 100 + (degrees - whole) * 60) / 100;
    };
    EXPECT_NEAR(numberIn(latitude), ddmm(fix.latitude), 1e-4);
    EXPECT_NEAR(numberIn(longitude), ddmm(fix.longitude), 1e-4);
    const QString speed = info->valueText(CUtilInfoDlg::kSpeed);
    EXPECT_TRUE(speed.endsWith(QStringLiteral(" [km/h]"))) << speed.toStdString();
    EXPECT_EQ(speed.indexOf(QLatin1Char(' ')), 3);
    EXPECT_NEAR(numberIn(speed), std::trunc(fix.speedKmh), 1.0);

    // A seek back shows that place's sample again.
    pauseAt(2500);
    info->refresh();
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kAxisY), gText(drive()[2].gy));

    // The values are drawn in their items' colours.
    info->repaint();
    const QImage panel = info->grab().toImage();
    EXPECT_TRUE(anyPixel(panel, CUtilInfoDlg::valueRect(CUtilInfoDlg::kAxisX), QColor(0, 255, 0)));
    EXPECT_TRUE(anyPixel(panel, CUtilInfoDlg::valueRect(CUtilInfoDlg::kAxisY), QColor(255, 0, 0)));
    EXPECT_TRUE(anyPixel(panel, CUtilInfoDlg::valueRect(CUtilInfoDlg::kAxisZ), QColor(0, 0, 255)));
    EXPECT_TRUE(
        anyPixel(panel, CUtilInfoDlg::valueRect(CUtilInfoDlg::kSpeed), QColor(255, 255, 255)));
    EXPECT_FALSE(
        anyPixel(panel, CUtilInfoDlg::valueRect(CUtilInfoDlg::kSpeed), QColor(0, 255, 0), 60));
}

TEST_F(TelemetryPanesTest, OneReaderPerPlayAndStopEmptiesEverything) {
    ASSERT_TRUE(playAndRead());
    // The panel's own timer shows the samples while playing (the vertical axis feels 1 g).
    ASSERT_TRUE(waitFor(
        [&] { return info->valueText(CUtilInfoDlg::kAxisY) != QStringLiteral("0.000"); }, 20000));
    // A seek while playing pauses and plays again: no second reader.
    ui::sendMessage(bar, ui::kMsgSeek, 3000, ui::kSeekToTarget);
    processPosted();
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_EQ(info->readersStarted(), 1);
    pauseAt(4200);
    info->refresh();
    ASSERT_NE(info->valueText(CUtilInfoDlg::kAxisY), gText(0));
    // Resuming from a pause starts no second reader: the store holds each record once.
    command(CPlayerMenuDlg::kCmdPlay);
    processPosted();
    EXPECT_EQ(info->readersStarted(), 1);
    info->waitForReaders();
    EXPECT_EQ(samples(), static_cast<std::size_t>(kSeconds));

    command(CPlayerMenuDlg::kCmdStop);
    processPosted();
    EXPECT_EQ(samples(), 0u);
    EXPECT_TRUE(telemetry().route().empty());
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kLatitude), QStringLiteral("N0.000000"));
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kLongitude), QStringLiteral("E0.000000"));
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kSpeed), QStringLiteral("000 [km/h]"));
    for (auto axis : {CUtilInfoDlg::kAxisX, CUtilInfoDlg::kAxisY, CUtilInfoDlg::kAxisZ}) {
        EXPECT_EQ(info->valueText(axis), QStringLiteral("0.000"));
    }
    EXPECT_EQ(graph->cursorMs(), 0u);

    // Play after Stop reads the recording again, numbered from 0.
    ASSERT_TRUE(playAndRead());
    EXPECT_EQ(info->readersStarted(), 2);
    EXPECT_EQ(sampleTimes().front(), 0);
    EXPECT_EQ(samples(), static_cast<std::size_t>(kSeconds));
}

// A seek while playing (the graph's click, the map's, the seek slider's) must hold: paused
// right after a flushing seek, the pipeline could go on from where it was before.
TEST_F(TelemetryPanesTest, SeeksWhilePlayingHold) {
    ASSERT_TRUE(play());
    for (int round = 0; round < 8; ++round) {
        const qintptr target = round % 2 == 0 ? 1000 : 4000;
        SCOPED_TRACE(round);
        ui::sendMessage(bar, ui::kMsgSeek, target, ui::kSeekToTarget);
        QElapsedTimer clock;
        clock.start();
        waitFor([&] { return clock.elapsed() > 700; }, 2000);
        ASSERT_EQ(engine().state(), media::kRunningState);
        const auto position = static_cast<qintptr>(engine().positionMs());
        EXPECT_GE(position, target);
        EXPECT_LT(position, target + 1500);
    }
}

TEST_F(TelemetryPanesTest, HostileFixesShowTheLargestValuesNotGarbage) {
    ASSERT_TRUE(playAndRead());
    pauseAt(1500);
    info->waitForReaders();
    telemetry().clear();
    struct Case {
        const char* sentence;
        const char* speed;
    };
    // A fix whose position is no number is no fix: the panel keeps what it showed.
    const Case cases[] = {
        {"G$GPRMC,120000.00,A,3730.5,N,12700,E,1e308,0,310124", "2147483647 [km/h]"},
        {"G$GPRMC,120000.00,A,3730.5,N,12700,E,nan,0,310124", "000 [km/h]"},
        {"G$GPRMC,120000.00,A,nan,N,inf,E,50,0,310124", "000 [km/h]"},
        {"G$GPRMC,120000.00,A,1e308,N,-1e308,E,50,0,310124", "000 [km/h]"},
        {"G$GPRMC,120000.00,A,3730.5,S,12700,W,-50,0,310124", "-92 [km/h]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        telemetry().clear();
        std::array<std::uint8_t, core::kRecordBufferSize> record{};
        std::copy_n(c.sentence, std::strlen(c.sentence), record.begin());
        for (std::uint32_t t = 0; t < 5000; t += 1000) {
            telemetry().ParseTextRecord(record, t);
        }
        ASSERT_TRUE(
            telemetry().SelectCurrentFix(static_cast<std::uint32_t>(engine().positionMs())) ||
            telemetry().currentFix().second == 1);
        info->refresh();
        EXPECT_EQ(info->valueText(CUtilInfoDlg::kSpeed), QString::fromLatin1(c.speed));
        for (auto item : {CUtilInfoDlg::kLatitude, CUtilInfoDlg::kLongitude}) {
            const QString text = info->valueText(item);
            EXPECT_FALSE(text.contains(QStringLiteral("nan")) ||
                         text.contains(QStringLiteral("inf")))
                << text.toStdString();
        }
    }
    EXPECT_EQ(info->valueText(CUtilInfoDlg::kLatitude), QStringLiteral("N-37.305000"));
}

TEST_F(TelemetryPanesTest, GraphDrawsTheTracesAtTheirScale) {
    struct Case {
        const char* what;
        int depth;
    };
    for (const Case& c : {Case{"8-bit", 8}, Case{"10-bit", 10}}) {
        SCOPED_TRACE(c.what);
        telemetry().clear();
        // X at full scale at 30 s, Y and Z at zero; the 10-bit code for 512 is 0.
        const int full = c.depth == 8 ? 128 : 0;
        const int zero = c.depth == 8 ? 0 : 512;
        telemetry().ParseTextRecord(packed(c.depth, zero, zero, zero), 0);
        telemetry().ParseTextRecord(packed(c.depth, full, zero, zero), 30000);
        telemetry().ParseTextRecord(packed(c.depth, zero, zero, zero), 60000);
        // After the first minute: not drawn, so nothing rises right of 60 s.
        telemetry().ParseTextRecord(packed(c.depth, full, full, full), 61000);
        const QImage image = graphPicture();
        const QColor green(0, 255, 0);
        const int x30 = 50 + 30000 * 497 / 60000;
        // The peak: 78 pixels above the zero line (165).
        EXPECT_TRUE(anyPixel(image, QRect(x30 - 2, 165 - 78 - 2, 5, 5), green));
        EXPECT_FALSE(anyPixel(image, QRect(x30 - 2, 60, 5, 165 - 78 - 4 - 60), green));
        EXPECT_FALSE(anyPixel(image, QRect(546, 90, 4, 70), green));
        EXPECT_FALSE(anyPixel(image, QRect(546, 90, 4, 70), QColor(255, 0, 0)));
        // Y and Z stay on the zero line, drawn over X's start (Z last).
        EXPECT_TRUE(anyPixel(image, QRect(x30 - 2, 163, 5, 5), QColor(0, 0, 255)));
    }
    telemetry().clear();
    const QImage empty = graphPicture();
    EXPECT_FALSE(anyPixel(empty, QRect(50, 79, 497, 170), QColor(0, 255, 0)));
}

// The speed's own scale: 0 km/h on the -4 G line (243), 200 and above on the +4 G line (87).
TEST_F(TelemetryPanesTest, GraphSpeedTraceShowsOnItsScaleOnlyWhenSwitchedOn) {
    struct Run {
        double kmh;
        char status;
        int y;  // -1: a gap
    };
    const Run runs[] = {{100, 'A', 165}, {300, 'A', 87}, {100, 'V', -1},
                        {500, 'A', -1},  {50, 'A', 204}, {0, 'A', 243}};
    telemetry().clear();
    for (std::uint32_t second = 0; second < 60; ++second) {
        telemetry().ParseTextRecord(fixAt(runs[second / 10].kmh, runs[second / 10].status),
                                    second * 1000);
        telemetry().ParseTextRecord(packed(8, 32, 96, 16), second * 1000);
    }
    const QColor yellow(255, 221, 0);
    const QImage off = graphPicture();
    EXPECT_FALSE(anyPixel(off, QRect(50, 60, 498, 188), yellow));
    QTest::mouseClick(graph->speedButton(), Qt::LeftButton);
    processPosted();
    // A new graph (the next start) shows the trace at once: the setting is remembered.
    delete graph;
    graph = new CGsensorGraphicDlg(main.get(), *context);
    const QImage on = graphPicture();
    for (std::size_t run = 0; run < std::size(runs); ++run) {
        SCOPED_TRACE(run);
        const int x = 50 + static_cast<int>(run * 10 + 5) * 497 / 60;
        if (runs[run].y < 0) {
            EXPECT_FALSE(anyPixel(on, QRect(x - 2, 79, 5, 168), yellow));
        } else {
            EXPECT_TRUE(anyPixel(on, QRect(x - 2, runs[run].y - 1, 5, 3), yellow));
            EXPECT_FALSE(anyPixel(on, QRect(x - 2, 79, 5, runs[run].y - 3 - 79), yellow));
        }
    }
    // The axis traces, drawn over it, are exactly as they were.
    int axisPixels = 0;
    for (int y = 79; y < 247; ++y) {
        for (int x = 50; x < 548; ++x) {
            const QColor a = off.pixelColor(x, y), b = on.pixelColor(x, y);
            for (const QColor& axis : {QColor(0, 255, 0), QColor(255, 0, 0), QColor(0, 0, 255)}) {
                ASSERT_EQ(a == axis, b == axis) << x << "," << y;
                axisPixels += a == axis;
            }
        }
    }
    EXPECT_GT(axisPixels, 3 * 400);
}

TEST_F(TelemetryPanesTest, GraphTicksEachIncidentOnTheTimeAxisInItsKindsColour) {
    struct Tick {
        int second;
        QColor colour;
    };
    // The speed falls from 60 to 40 km/h in the second from 5 s; a blow of 2 g on Z at 20 s;
    // 0.8 g sideways at 40 s.
    const Tick ticks[] = {
        {5, QColor(255, 64, 160)}, {20, QColor(170, 110, 255)}, {40, QColor(0, 220, 220)}};
    telemetry().clear();
    for (std::uint32_t second = 0; second < 60; ++second) {
        telemetry().ParseTextRecord(fixAt(second <= 5 ? 60 : 40), second * 1000);
        telemetry().ParseTextRecord(packed(8, second == 40 ? 90 : 64, 64, second == 20 ? 128 : 64),
                                    second * 1000);
    }
    const QImage image = graphPicture();
    for (const Tick& tick : ticks) {
        SCOPED_TRACE(tick.second);
        const int x = 50 + tick.second * 497 / 60;
        EXPECT_TRUE(anyPixel(image, QRect(x - 1, 236, 3, 11), tick.colour, 8));
        EXPECT_FALSE(anyPixel(image, QRect(50, 236, x - 2 - 50, 11), tick.colour, 8));
        EXPECT_FALSE(anyPixel(image, QRect(x + 2, 236, 546 - x, 11), tick.colour, 8));
    }
    telemetry().clear();
    EXPECT_FALSE(anyPixel(graphPicture(), QRect(50, 236, 497, 11), ticks[0].colour, 8));
}

TEST_F(TelemetryPanesTest, GraphCursorFollowsPlaybackAndAClickSeeks) {
    const QColor orange(255, 138, 72);
    EXPECT_EQ(CGsensorGraphicDlg::cursorX(30000), 292);
    EXPECT_EQ(CGsensorGraphicDlg::clickTime(51), 0);
    EXPECT_EQ(CGsensorGraphicDlg::clickTime(534), 60000);
    // While stopped a click does nothing.
    graph->show();
    const std::int32_t idle = engine().state();
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(200, 150));
    processPosted();
    EXPECT_EQ(engine().state(), idle);

    ASSERT_TRUE(play());
    ASSERT_TRUE(waitFor([&] { return graph->cursorMs() > 500; }, 20000));
    pauseAt(6000);
    processPosted();
    ASSERT_EQ(graph->cursorMs(), 6000u);
    const int x = CGsensorGraphicDlg::cursorX(6000);
    EXPECT_TRUE(anyPixel(graphPicture(), QRect(x, 120, 1, 20), orange));

    // A click at 3 s of the cursor's scale seeks there, paused.
    const int x3 = CGsensorGraphicDlg::cursorX(3000) + 1;
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(x3, 150));
    processPosted();
    processPosted();
    EXPECT_EQ(engine().state(), media::kPausedState);
    EXPECT_NEAR(static_cast<double>(engine().positionMs()),
                static_cast<double>(CGsensorGraphicDlg::clickTime(x3)), 100.0);
    // The plot's left edge is the recording's start.
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(51, 150));
    processPosted();
    processPosted();
    EXPECT_LT(engine().positionMs(), 100u);
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(x3, 150));
    processPosted();
    processPosted();
    // Right of the recording's end, and outside the plot, nothing happens.
    const std::uint64_t before = engine().positionMs();
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(CGsensorGraphicDlg::cursorX(20000), 150));
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(100, 260));
    processPosted();
    EXPECT_NEAR(static_cast<double>(engine().positionMs()), static_cast<double>(before), 50.0);

    // Stop removes the cursor.
    command(CPlayerMenuDlg::kCmdStop);
    processPosted();
    EXPECT_EQ(graph->cursorMs(), 0u);
    EXPECT_FALSE(anyPixel(graphPicture(), QRect(x, 120, 1, 20), orange));
}

TEST_F(TelemetryPanesTest, GraphForgetsTheCursorOfARecordingThatWasLeft) {
    graph->show();
    graph->setCursorPosition(6000);
    EXPECT_EQ(graph->cursorMs(), 6000u);
    telemetry().clear();  // the panel empties the store when the bar moves on
    EXPECT_TRUE(waitFor([&] { return graph->cursorMs() == 0; }, 5000));
}

TEST_F(TelemetryPanesTest, GraphTogglesAndTakesEveryKey) {
    EXPECT_FALSE(graph->isVisible());
    ui::sendMessage(graph, ui::kMsgPaneCommand, ui::kToggleGraph);
    EXPECT_TRUE(graph->paneVisible());
    EXPECT_TRUE(graph->isVisible());
    ui::sendMessage(graph, ui::kMsgPaneCommand, ui::kToggleGraph);
    EXPECT_FALSE(graph->isVisible());
    ui::sendMessage(graph, ui::kMsgPaneCommand, ui::kToggleGraph);
    QTest::mouseClick(graph->closeButton(), Qt::LeftButton);
    processPosted();
    EXPECT_FALSE(graph->paneVisible());
    EXPECT_FALSE(graph->isVisible());

    // The bar's keys work in the main window, but not through the graph.
    bar->installShortcuts(main.get());
    main->show();
    ASSERT_TRUE(play());
    ui::sendMessage(graph, ui::kMsgPaneCommand, ui::kToggleGraph);
    graph->activateWindow();
    graph->setFocus();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == graph; }, 5000));
    QTest::keyClick(graph->windowHandle(), Qt::Key_Space);
    QTest::keyClick(graph->windowHandle(), Qt::Key_A);
    processPosted();
    EXPECT_EQ(engine().state(), media::kRunningState);
    EXPECT_TRUE(graph->isVisible());
    QTest::keyClick(graph->windowHandle(), Qt::Key_Escape);
    processPosted();
    EXPECT_FALSE(graph->isVisible());
    EXPECT_FALSE(graph->paneVisible());
    EXPECT_EQ(engine().state(), media::kRunningState);
}

// The map's menu saves the whole route of the recording playing, as map tools read it back,
// and names the file it could not write.
TEST_F(TelemetryPanesTest, TheMapSavesTheRouteOfTheRecordingPlaying) {
    MessageBoxSpy boxes;
    ui::CMapViewDlg::Services services;  // no page: the route is saved all the same
    ui::CMapViewDlg map(main.get(), *context, services);
    TempDir out;
    QString suggested, answer;
    map.routeSaving().setFileAsker(
        [&](QWidget*, const QString&, const QString& path, const QString&) {
            suggested = path;
            return answer;
        });
    const auto entries = [&map] {
        std::unique_ptr<QMenu> menu(map.makeMenu());
        QStringList shown;
        for (QAction* action : menu->actions()) {
            shown << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return shown.join(QStringLiteral(", ")).toStdString();
    };
    EXPECT_EQ(entries(), "Save route as GPX... (off), Save route as KML... (off)");
    ASSERT_TRUE(playAndRead());
    EXPECT_EQ(entries(), "Save route as GPX..., Save route as KML...");
    std::vector<sim::DriveSecond> fixes;
    std::copy_if(drive().begin(), drive().end(), std::back_inserter(fixes),
                 [](const sim::DriveSecond& s) { return s.fix; });
    for (const std::string extension : {"gpx", "kml"}) {
        answer = QString::fromStdString((out.path() / ("route." + extension)).string());
        std::unique_ptr<QMenu> menu(map.makeMenu());
        menu->actions()[extension == "gpx" ? 0 : 1]->trigger();
        EXPECT_EQ(std::filesystem::path(suggested.toStdString()).filename(),
                  std::filesystem::path(engine().openedSources().paths[0]).stem().string() + "." +
                      extension);
        const auto route = routeOf(answer.toStdString());
        ASSERT_EQ(route.size(), fixes.size()) << extension;
        EXPECT_NEAR(route.front().first, fixes.front().latitude, 1e-5);
        EXPECT_NEAR(route.front().second, fixes.front().longitude, 1e-5);
        EXPECT_NEAR(route.back().first, fixes.back().latitude, 1e-5);
        EXPECT_NEAR(route.back().second, fixes.back().longitude, 1e-5);
    }
    answer = QString::fromStdString((out.path() / "gone" / "route.gpx").string());
    EXPECT_FALSE(map.routeSaving().save(&map, core::TelemetryFormat::Gpx));
    EXPECT_TRUE(boxes.boxes.back().text.startsWith(QStringLiteral("Cannot save ") + answer));
    EXPECT_FALSE(std::filesystem::exists(out.path() / "gone"));
    command(CPlayerMenuDlg::kCmdStop);
    processPosted();
    EXPECT_EQ(entries(), "Save route as GPX... (off), Save route as KML... (off)");
}

}  // namespace
}  // namespace qelv::test

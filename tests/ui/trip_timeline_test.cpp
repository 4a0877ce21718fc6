#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "events/ui/store_incidents.h"
#include "shell/window_keys.h"
#include "storage/ui/file_manager_dlg.h"
#include "support/temp_dir.h"
#include "trips/ui/trip_timeline_dlg.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::CTripTimelineDlg;

// The plot runs 730 pixels from x 50 (the pane's layout); the hand-made trip lasts 3 minutes.
constexpr double kPlotLeft = 50, kPlotWidth = 730, kTripMs = 180000;
int xAt(double tripMs) {
    return static_cast<int>(std::lround(kPlotLeft + tripMs * kPlotWidth / kTripMs));
}

const char* const kNames[] = {
    "NOR/FRONT/20240131_120000_1CH_N_F.mp4",  // 100 km/h, shaken by 1 g
    "NOR/FRONT/20240131_120100_1CH_N_F.mp4",  // cannot be read
    "NOR/FRONT/20240131_120200_1CH_N_F.mp4",  // 50 km/h, an impact 30 s in
    "EVT/FRONT/20240131_120130_1CH_E_F.mp4",  // an event recording during the drive
};

class TripTimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        bar = std::make_unique<RecordingWindow>(ui::kKeyControlBar);
        settings = std::make_unique<QSettings>(profile.filePath(QStringLiteral("p.ini")),
                                               QSettings::IniFormat);
        context = std::make_unique<ui::ViewerContext>(shippedConfig(), *settings);
        for (const char* name : kNames) {
            touch(card.path() / name);
        }
        list = new ui::CFileManagerDlg(main.get(), *context, {});
        timeline = new CTripTimelineDlg(main.get(), *context);
        ASSERT_TRUE(list->openFolder(QString::fromStdString(card.path().string())));
    }
    void TearDown() override {
        delete timeline;
        delete list;
        ui::WindowRegistry::instance().clear();
    }

    std::string pathOf(int k) const { return (card.path() / kNames[k]).string(); }
    // The trips of the card's entries with the facts above instead of what their files hold.
    trips::TripStore handMade() const {
        trips::TripStore store;
        const auto& entries = context->catalogue().entries();
        for (std::size_t id = 0; id < entries.size(); ++id) {
            trips::RecordingTrace trace;
            const std::string& name = entries[id].fileName;
            const bool fast = name.find("120000") != std::string::npos;
            if (name.find("120100") != std::string::npos) {
                trace.facts.problem = "the telemetry track's tables are damaged";
            } else if (fast || name.find("120200") != std::string::npos) {
                trace.facts.durationMs = 60000;
                for (std::uint32_t s = 0; s < 60; ++s) {
                    trace.speed.push_back({s * 1000, fast ? 100.0 : 50.0});
                    trace.shake.push_back({s * 1000, fast ? 1.0 : 0.0});
                }
                if (!fast) {
                    trace.facts.incidents.push_back(
                        {events::IncidentKind::Impact, 30000, 30000, 2, 3, 50, 50});
                }
            }
            store.inputs.push_back({name, trace.facts.durationMs});
            store.recordings.push_back({id, entries[id].path, trace});
        }
        store.trips = trips::buildTrips(store.inputs);
        return store;
    }
    void showHandMade() {
        processPosted();  // the list's stop for the new source
        timeline->setStore(handMade());
        timeline->show();
        ASSERT_EQ(timeline->store()->trips.size(), 1U);
    }

    TempDir card;
    QTemporaryDir profile;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<ui::ViewerContext> context;
    std::unique_ptr<RecordingWindow> main;
    std::unique_ptr<RecordingWindow> bar;
    ui::CFileManagerDlg* list = nullptr;
    CTripTimelineDlg* timeline = nullptr;
};

// Shown, the pane reads the list's source on its worker (the empty files cannot be read and
// never split the drive); a new source is read again.
TEST_F(TripTimelineTest, ReadsTheListsSourceAndReadsAgainWhenItChanges) {
    EXPECT_FALSE(timeline->isVisible());  // hidden at start
    ui::sendMessage(timeline, ui::kMsgPaneCommand, ui::kToggleTripTimeline);
    EXPECT_TRUE(timeline->paneVisible());
    ASSERT_TRUE(waitFor([&] { return timeline->store().has_value(); }, 60000));
    ASSERT_EQ(timeline->store()->trips.size(), 1U);
    EXPECT_EQ(timeline->store()->trips[0].recordings.size(), 3U);
    EXPECT_EQ(timeline->store()->trips[0].markers.size(), 1U);
    EXPECT_EQ(timeline->tripCombo()->currentText(),
              QStringLiteral("2024-01-31  12:00\u201312:02  2 min  no GPS"));

    TempDir other;
    touch(other.path() / "NOR/FRONT/20240201_080000_1CH_N_F.mp4");
    touch(other.path() / "NOR/FRONT/20240201_090000_1CH_N_F.mp4");
    ASSERT_TRUE(list->openFolder(QString::fromStdString(other.path().string())));
    ASSERT_TRUE(waitFor([&] { return timeline->store().has_value(); }, 60000));
    ASSERT_EQ(timeline->tripCombo()->count(), 2);
    EXPECT_TRUE(timeline->tripCombo()->itemText(1).startsWith(QStringLiteral("2024-02-01  09:00")));
}

TEST_F(TripTimelineTest, DrawsTheTracesTicksMarkersAndUnreadableRecordingsAtTheirTime) {
    showHandMade();
    const QImage image = timeline->grab().toImage();
    const struct {
        QPoint at;
        QColor colour;
        const char* what;
    } cases[] = {
        {{xAt(30000), 100}, QColor(255, 221, 0), "100 km/h, half-way to 200 at y 50"},
        {{xAt(150000), 125}, QColor(255, 221, 0), "50 km/h"},
        {{xAt(30000), 178}, QColor(120, 255, 120), "1 g, half-way to 2 g at y 158"},
        {{xAt(150000), 207}, ui::incidentColour(events::IncidentKind::Impact), "the impact"},
        {{xAt(90000), 50}, QColor(255, 40, 40), "the event recording"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(image.pixelColor(c.at), c.colour) << c.what;
    }
    const auto hatched = [&](QRect area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                count += image.pixelColor(x, y) == QColor(120, 120, 132);
            }
        }
        return count;
    };
    EXPECT_GT(hatched(QRect(QPoint(xAt(62000), 60), QPoint(xAt(118000), 95))), 50);
    EXPECT_EQ(hatched(QRect(QPoint(xAt(2000), 60), QPoint(xAt(58000), 95))), 0);
}

TEST_F(TripTimelineTest, CursorStandsAtTheRecordingsPlaceInTheTrip) {
    showHandMade();
    const struct {
        int recording;
        qint64 positionMs;
        std::optional<int> x;
    } cases[] = {{2, 30000, xAt(150000)}, {0, 0, xAt(0)}, {0, 45000, xAt(45000)}, {-1, 1000, {}}};
    for (const auto& c : cases) {
        const std::string path =
            c.recording < 0 ? std::string("/elsewhere.mp4") : pathOf(c.recording);
        timeline->setPlayback(QString::fromStdString(path), c.positionMs);
        EXPECT_EQ(timeline->cursorX(), c.x) << c.recording << " " << c.positionMs;
        if (c.x) {
            EXPECT_EQ(timeline->grab().toImage().pixelColor(*c.x, 70), QColor(255, 138, 72));
        }
    }
}

// A click plays the trip from there: the list selects the recording's row, and the control bar
// opens it and seeks to the moment; the hatched recording has nothing to play.
TEST_F(TripTimelineTest, ClickPlaysTheRightRecordingFromTheMomentUnderIt) {
    showHandMade();
    const struct {
        int x;
        int recording;  // -1: nothing
        std::int64_t startMs;
    } cases[] = {{xAt(140000), 2, 120000}, {xAt(30000), 0, 0}, {xAt(90000), -1, 0}};
    for (const auto& c : cases) {
        bar->received.clear();
        list->list()->selectRow(1);
        QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(c.x, 120));
        processPosted();
        if (c.recording < 0) {
            EXPECT_TRUE(bar->received.empty()) << c.x;
            continue;
        }
        const qintptr offset = std::llround((c.x - kPlotLeft) * kTripMs / kPlotWidth) - c.startMs;
        EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 5, 0}, {1126, offset, 2}})) << c.x;
        const core::RecordingEntry* chosen =
            context->catalogue().shownEntryAt(list->list()->focusedRow());
        ASSERT_NE(chosen, nullptr);
        EXPECT_EQ(chosen->path, pathOf(c.recording));
    }
}

// "Play trip" offers the trip's recordings in order, the unreadable one passed over; while a
// trip plays back to back a click goes to it (not through the list), a recording it could not
// play is hatched, and the list's "Play trip" finds the trip of a recording or of an event.
TEST_F(TripTimelineTest, PlayTripOffersTheTripAndClicksThenGoToIt) {
    showHandMade();
    QSignalSpy requests(timeline, &CTripTimelineDlg::playTripRequested);
    QTest::mouseClick(timeline, Qt::LeftButton, {}, CTripTimelineDlg::kPlayTripArea.center());
    ASSERT_EQ(requests.count(), 1);
    const auto trip = requests.front().front().value<media::TripPlaylist>();
    ASSERT_EQ(trip.size(), 3U);
    EXPECT_EQ(trip.item(0).path, pathOf(0));
    EXPECT_TRUE(trip.item(1).skipped);
    EXPECT_EQ(trip.item(2).path, pathOf(2));
    EXPECT_EQ(trip.lengthMs(), 120000U);
    EXPECT_EQ(requests.front().at(1).toInt(), 0);

    timeline->setTripPlayback(true);
    bar->received.clear();
    QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(xAt(150000), 120));
    processPosted();
    EXPECT_TRUE(bar->received.empty());
    ASSERT_EQ(requests.count(), 2);
    EXPECT_EQ(requests.back().at(1).toInt(), 2);
    EXPECT_NEAR(requests.back().at(2).toLongLong(), 30000, 300);

    const auto hatchedAt = [&](int x) {
        const QImage image = timeline->grab().toImage();
        int count = 0;
        for (int y = 60; y < 95; ++y) {
            count += image.pixelColor(x, y) == QColor(120, 120, 132);
        }
        return count;
    };
    EXPECT_EQ(hatchedAt(xAt(170000)), 0);
    timeline->markSkipped(QString::fromStdString(pathOf(2)));
    EXPECT_GT(hatchedAt(xAt(170000)), 3);

    const auto idOfName = [&](const char* stamp) {
        const auto& entries = context->catalogue().entries();
        for (std::size_t id = 0; id < entries.size(); ++id) {
            if (entries[id].fileName.find(stamp) != std::string::npos) {
                return id;
            }
        }
        return entries.size();
    };
    EXPECT_TRUE(timeline->playTripOf(idOfName("120130_1CH_E")));  // the event: from its time
    ASSERT_EQ(requests.count(), 3);
    EXPECT_EQ(requests.back().at(1).toInt(), 1);  // in the unreadable one: the player goes on
    EXPECT_EQ(requests.back().at(2).toLongLong(), 30000);
    EXPECT_FALSE(timeline->playTripOf(idOfName("120130_1CH_E") + 100));
}

// Shift and a drag choose a span for a clip: from the recording where it starts, on across
// the recordings after it; nothing from a hatched recording or for less than a second.
TEST_F(TripTimelineTest, ShiftDragChoosesASpanForAClip) {
    showHandMade();
    // The ends as (recording, its start in the trip); -1: nothing chosen.
    const struct {
        int from, to;
        int first;
        std::int64_t firstStartMs;
        int last;
        std::int64_t lastStartMs;
    } cases[] = {{xAt(130000), xAt(170000), 2, 120000, 2, 120000},
                 {xAt(170000), xAt(130000), 2, 120000, 2, 120000},
                 {xAt(30000), xAt(150000), 0, 0, 2, 120000},
                 {xAt(90000), xAt(100000), -1, 0, -1, 0},
                 {xAt(30000), xAt(30000) + 1, -1, 0, -1, 0}};
    for (const auto& c : cases) {
        QSignalSpy chosen(timeline, &CTripTimelineDlg::spanChosen);
        bar->received.clear();
        QTest::mousePress(timeline, Qt::LeftButton, Qt::ShiftModifier, QPoint(c.from, 120));
        QTest::mouseMove(timeline, QPoint(c.to, 120));
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::ShiftModifier, QPoint(c.to, 120));
        processPosted();
        EXPECT_TRUE(bar->received.empty()) << "a Shift-drag does not play";
        if (c.first < 0) {
            EXPECT_EQ(chosen.count(), 0) << c.from;
            continue;
        }
        ASSERT_EQ(chosen.count(), 1) << c.from;
        const std::int64_t a = timeline->axis().timeAt(std::min(c.from, c.to));
        const std::int64_t b = timeline->axis().timeAt(std::max(c.from, c.to));
        const QList<QVariant> args = chosen.takeFirst();
        EXPECT_EQ(args[0].toString().toStdString(), pathOf(c.first));
        EXPECT_EQ(args[1].toLongLong(), (a - c.firstStartMs) * 1'000'000);
        EXPECT_EQ(args[2].toString().toStdString(), pathOf(c.last));
        EXPECT_EQ(args[3].toLongLong(), (b - c.lastStartMs) * 1'000'000);
    }
}

// While one of its recordings plays, the trip's whole route and incidents are offered on the
// trip's clock (for the map); a trip time from the map plays the trip from there.
TEST_F(TripTimelineTest, APlayingTripOffersItsWholeRouteAndPlaysFromATripTime) {
    showHandMade();
    QSignalSpy changed(timeline, &CTripTimelineDlg::playingTripChanged);
    EXPECT_TRUE(timeline->playingTripRoute().empty());
    timeline->setPlayback(QString::fromStdString(pathOf(2)), 1000);
    EXPECT_EQ(changed.count(), 1);
    const std::vector<trips::SpeedPoint> route = timeline->playingTripRoute();
    ASSERT_EQ(route.size(), 120U);  // both readable recordings' fixes
    EXPECT_EQ(route.front().timeMs, 0U);
    EXPECT_EQ(route.back().timeMs, 179000U);
    EXPECT_EQ(route.back().speedKmh, 50.0);
    const std::vector<events::Incident> incidents = timeline->playingTripIncidents();
    ASSERT_EQ(incidents.size(), 1U);
    EXPECT_EQ(incidents.front().startMs, 150000U);
    timeline->setPlayback(QString::fromStdString(pathOf(2)), 2000);
    EXPECT_EQ(changed.count(), 1) << "told once, not at every position";
    timeline->hide();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(timeline->playingTripRoute().empty());

    timeline->show();
    bar->received.clear();
    list->list()->selectRow(1);
    timeline->seekToTripTime(130000);
    processPosted();
    EXPECT_EQ(bar->received, (std::vector<Received>{{1127, 5, 0}, {1126, 10000, 2}}));
}

// The wheel zooms around the pointer: the impact under it stays there, the event recording
// moves away from it.
TEST_F(TripTimelineTest, WheelZoomKeepsTheMomentUnderThePointer) {
    showHandMade();
    const int x = xAt(150000);
    const std::int64_t under = timeline->axis().timeAt(x);
    QWheelEvent wheel(QPointF(x, 120), timeline->mapToGlobal(QPointF(x, 120)), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(timeline, &wheel);
    const double span = kTripMs / (1.25 * 1.25);
    EXPECT_EQ(timeline->axis().spanMs(), std::llround(span));
    EXPECT_EQ(timeline->axis().timeAt(x), under);
    const QImage image = timeline->grab().toImage();
    const double underMs = (x - kPlotLeft) * kTripMs / kPlotWidth;
    EXPECT_EQ(image.pixelColor(x, 207), ui::incidentColour(events::IncidentKind::Impact));
    const int marker = static_cast<int>(std::lround(x + (90000 - underMs) * kPlotWidth / span));
    EXPECT_EQ(image.pixelColor(marker, 50), QColor(255, 40, 40));
}

}  // namespace
}  // namespace qelv::test

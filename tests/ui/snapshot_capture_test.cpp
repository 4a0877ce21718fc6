// "Capture" against the real engine playing simulator recordings: one JPEG per camera with
// that camera's picture, playback left as it was, nothing written on cancel, and a save that
// cannot be made reported without leaving a file behind.
#include "playback/ui/snapshot_capture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "playback/ui/video_surface_widget.h"
#include "shared_recordings.h"
#include "shell/window_keys.h"
#include "simulator/frame_painter.h"
#include "support/temp_dir.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

namespace fs = std::filesystem;
using ui::captureSnapshots;

// The files in `folder`, by name.
std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Mean colour of the bottom quarter, clear of the channel's digit and the moving square.
QColor meanOfBottom(const QImage& image) {
    return meanColour(image, QRect(0, image.height() * 3 / 4, image.width(), image.height() / 4),
                      4);
}

class SnapshotCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowRegistry::instance().clear();
        main = std::make_unique<RecordingWindow>(ui::kKeyMainWindow);
        for (ui::VideoSurfaceWidget& surface : surfaces) {
            surface.resize(320, 180);
        }
        engine.initialise(&surfaces[0], &surfaces[1], &surfaces[2]);
    }
    void TearDown() override {
        engine.teardown();
        ui::WindowRegistry::instance().clear();
    }

    // Opens a recording of `channels` cameras; the engine is stopped.
    void open(int channels) {
        recording = &sharedRecording(channels);
        const auto paths = pathsOf(*recording);
        ASSERT_TRUE(engine.open(paths[0], paths[1], paths[2]));
        entry.path = paths[0];
        entry.fileName = recording->files[0].path.filename().string();
    }

    // Captures with the asker answering `answer`; counts the questions.
    ui::CaptureResult capture(std::optional<fs::path> answer, const core::RecordingEntry* with) {
        const QString front = QString::fromStdString(entry.path);
        return captureSnapshots(
            engine, main.get(), {}, front, with, [this, answer](QWidget*, const QString& name) {
                ++asked;
                proposed = name;
                stateWhileAsked = engine.state();
                if (whileAsked) {
                    whileAsked();
                }
                return answer ? std::optional(QString::fromStdString(answer->string()))
                              : std::nullopt;
            });
    }

    TempDir out;
    ui::VideoSurfaceWidget surfaces[3];
    media::PlaybackEngine engine;
    std::unique_ptr<RecordingWindow> main;
    const sim::SimulatedRecording* recording = nullptr;
    core::RecordingEntry entry;
    int asked = 0;
    QString proposed;
    std::int32_t stateWhileAsked = -2;
    std::function<void()> whileAsked;  // what happens while the dialog is open
};

// Each camera's file shows that camera; playback goes on as it was.
TEST_F(SnapshotCaptureTest, WritesOneJpegPerCameraWithItsOwnPicture) {
    struct Case {
        int channels;
        bool running;
    };
    for (const Case c : {Case{2, true}, Case{3, false}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " cameras, running " << c.running);
        open(c.channels);
        ASSERT_EQ(engine.run(), media::kOk);
        if (!c.running) {
            ASSERT_EQ(engine.pause(), media::kOk);
        }
        const fs::path folder = out.path() / std::to_string(c.channels) / (c.running ? "r" : "p");
        fs::create_directories(folder);
        main->received.clear();

        const ui::CaptureResult result = capture(folder / "crash_CHx.jpg", &entry);
        processPosted();

        EXPECT_EQ(stateWhileAsked, 1);
        EXPECT_EQ(engine.state(), c.running ? 0 : 1);
        // The recording's own name, in its folder (neither capture switch is set).
        const std::string front = recording->files[0].path.string();
        EXPECT_EQ(proposed.toStdString(), front.substr(0, front.size() - 4) + "_CHx.jpg");
        EXPECT_EQ(main->received,
                  (std::vector<Received>{{ui::kMsgModalGuard, 0, 0}, {ui::kMsgModalGuard, 1, 0}}));
        std::vector<std::string> expected = {"crash_CH(#1).jpg", "crash_CH(#2).jpg"};
        if (c.channels == 3) {
            expected.push_back("crash_CH(#3).jpg");
        }
        EXPECT_EQ(filesIn(folder), expected);
        EXPECT_TRUE(result.failed.isEmpty());
        for (int k = 1; k <= c.channels; ++k) {
            const fs::path file = folder / expected[static_cast<std::size_t>(k - 1)];
            QImage picture;
            ASSERT_TRUE(picture.load(QString::fromStdString(file.string()), "JPG")) << file;
            const auto [width, height] = engine.nativeSize(k - 1);
            EXPECT_EQ(picture.size(), QSize(width, height)) << k;
            const QColor mean = meanOfBottom(picture);
            const sim::Rgb colour = sim::channelColour(k);
            EXPECT_NEAR(mean.red(), colour.r, 25) << k;
            EXPECT_NEAR(mean.green(), colour.g, 25) << k;
            EXPECT_NEAR(mean.blue(), colour.b, 25) << k;
        }
        engine.teardown();
        engine.initialise(&surfaces[0], &surfaces[1], &surfaces[2]);
    }
}

// Without the recording's entry there is no name to propose; a cancelled dialog saves nothing.
// Playback goes on either way.
TEST_F(SnapshotCaptureTest, NoEntryOrCancelWritesNothingAndPlaybackGoesOn) {
    open(2);
    ASSERT_EQ(engine.run(), media::kOk);
    EXPECT_TRUE(capture(out.path() / "a_CHx.jpg", nullptr).written.isEmpty());
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(engine.state(), 0);

    const ui::CaptureResult result = capture(std::nullopt, &entry);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(result.written.isEmpty() && result.failed.isEmpty());
    EXPECT_TRUE(filesIn(out.path()).empty());
    // Nothing beside the recording either, where the proposed name would have put it.
    EXPECT_EQ(filesIn(recording->files[0].path.parent_path()),
              std::vector<std::string>{recording->files[0].path.filename().string()});
    EXPECT_EQ(engine.state(), 0);
}

// Playback stopped while the dialog was open (the recording failed, the user closed it): the
// capture does not start it again.
TEST_F(SnapshotCaptureTest, PlaybackStoppedMeanwhileStaysStopped) {
    open(2);
    ASSERT_EQ(engine.run(), media::kOk);
    whileAsked = [this] { engine.stop(); };
    capture(std::nullopt, &entry);
    EXPECT_EQ(engine.state(), 2);
}

// The pictures are those of the moment of the click, even when the recording goes while the
// user picks the name (the control bar's reopen timer may replace it behind the dialog).
TEST_F(SnapshotCaptureTest, SavesThePicturesOfTheClickEvenIfTheRecordingGoes) {
    open(2);
    ASSERT_EQ(engine.run(), media::kOk);
    whileAsked = [this] { engine.teardown(); };
    const ui::CaptureResult result = capture(out.path() / "gone_CHx.jpg", &entry);
    EXPECT_EQ(result.written.size(), 2);
    EXPECT_TRUE(result.failed.isEmpty());
    for (const char* name : {"gone_CH(#1).jpg", "gone_CH(#2).jpg"}) {
        EXPECT_FALSE(QImage(QString::fromStdString((out.path() / name).string())).isNull()) << name;
    }
}

// A folder that cannot hold files: the parent of the chosen name is a regular file.
TEST_F(SnapshotCaptureTest, FailedSavesAreNamedInOneErrorBoxAndLeaveNoFile) {
    MessageBoxSpy boxes;
    open(2);
    ASSERT_EQ(engine.run(), media::kOk);
    const fs::path notAFolder = out.write("notes.txt", "not a folder");

    const ui::CaptureResult result = capture(notAFolder / "crash_CHx.jpg", &entry);

    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, ui::MessageIcon::Error);
    for (const char* name : {"crash_CH(#1).jpg", "crash_CH(#2).jpg"}) {
        const QString file = QString::fromStdString((notAFolder / name).string());
        EXPECT_TRUE(boxes.boxes[0].text.contains(
            QStringLiteral("Could not save the picture to %1.").arg(file)))
            << boxes.boxes[0].text.toStdString();
        EXPECT_TRUE(result.failed.contains(file));
    }
    EXPECT_TRUE(result.written.isEmpty());
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(engine.state(), 0);
}

// Without a recording playing or paused there is no picture to capture: nothing is asked.
TEST_F(SnapshotCaptureTest, DoesNothingUnlessPlayingOrPaused) {
    open(2);
    EXPECT_EQ(engine.state(), 2);
    capture(out.path() / "a_CHx.jpg", &entry);
    ASSERT_EQ(engine.run(), media::kOk);
    ASSERT_TRUE(engine.stop());
    capture(out.path() / "a_CHx.jpg", &entry);

    EXPECT_EQ(asked, 0);
    EXPECT_EQ(engine.state(), 2);
    EXPECT_TRUE(filesIn(out.path()).empty());
    processPosted();
    EXPECT_TRUE(main->received.empty());
}

// The real save dialog: it offers JPEG files, starts at the proposed name and takes a typed
// name as it is (no suffix added).
TEST(SnapshotNameDialog, OffersJpegAndTakesTheNameAsTyped) {
    TempDir dir;
    const QString proposed =
        QString::fromStdString((dir.path() / "20240131_120000_CHx.jpg").string());
    const QString typed = QString::fromStdString((dir.path() / "typed").string());
    QStringList filters;
    QString shown;
    QTimer poll;
    // Types as a user does, once the dialog is up and shows the proposed name: a name set
    // before that is replaced by the proposed one, and one set by program after it is not
    // taken while the name box has the focus.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name =
            dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (name == nullptr || !name->isVisible() ||
            name->text() != QStringLiteral("20240131_120000_CHx.jpg")) {
            return;
        }
        poll.stop();
        filters = dialog->nameFilters();
        shown = dialog->selectedFiles().value(0);
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("typed"));
        QTest::keyClick(name, Qt::Key_Return);  // as the dialog's Save button does
    });
    poll.start(20);
    const std::optional<QString> chosen = ui::askSnapshotName(nullptr, proposed);
    EXPECT_EQ(filters, QStringList{QStringLiteral("JPG Image(*.jpg)")});
    EXPECT_EQ(shown, proposed);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, typed);
}

}  // namespace
}  // namespace qelv::test

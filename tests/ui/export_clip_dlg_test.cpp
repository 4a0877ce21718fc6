// The "Export clip" dialog on two simulator recordings that follow each other: the span it
// proposes around the playing position and how it paints it, a clip written through the
// dialog (checked with ffprobe), Cancel and Close during an export, and spans or files it
// must refuse, each leaving no file behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "export/ui/export_clip_dlg.h"
#include "export/ui/span_bar.h"
#include "simulator/recorder_simulator.h"
#include "skin/message_box.h"
#include "support/temp_dir.h"

namespace qelv::ui {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kS = media::kNsPerSecond;

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
            out.append(buffer.data(), n);
        }
        pclose(pipe);
    }
    return out;
}

double videoSeconds(const fs::path& clip) {
    double seconds = -1;
    const std::string text =
        capture("ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 '" +
                clip.string() + "'");
    std::sscanf(text.c_str(), "%lf", &seconds);
    return seconds;
}

bool waitFor(const std::function<bool()>& check, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Records the message boxes the dialog shows and answers them.
struct Boxes {
    explicit Boxes(int answer) {
        setMessageBoxHandler(
            [this, answer](QWidget*, const QString& text, MessageIcon, MessageButtons) {
                texts << text;
                return answer;
            });
    }
    ~Boxes() { setMessageBoxHandler({}); }
    QStringList texts;
};

class ExportClipDialog : public ::testing::Test {
protected:
    // Two two-camera recordings of 20 s, the second starting as the first ends.
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        for (int k = 0; k < 2; ++k) {
            sim::RecordingRequest request;
            request.cardRoot = s_dir->path() / "card";
            request.start = sim::LocalTime{2024, 1, 31, 12, 0, 20 * k};
            request.seconds = 20;
            request.channels = 2;
            request.seed = 11 + static_cast<std::uint64_t>(k);
            request.bitrateScale = 0.03;
            s_fronts[static_cast<std::size_t>(k)] =
                sim::simulateRecording(request).files[0].path.string();
        }
    }
    static void TearDownTestSuite() { delete s_dir; }

    // The dialog for the first recording at `positionNs`; askFile answers `file`.
    std::unique_ptr<CExportClipDlg> dialogAt(std::int64_t positionNs, QString file = {}) {
        ExportClipServices services;
        services.askFile = [this, file](QWidget*, const QString& suggested) {
            ++asked;
            suggestedPath = suggested;
            return file;
        };
        services.openFolder = [this](const QString& folder) { openedFolder = folder; };
        auto dialog = std::make_unique<CExportClipDlg>(nullptr, exportableRecordings(s_fronts[0]),
                                                       positionNs, services);
        dialog->show();
        return dialog;
    }
    QString outFile(const char* name) const {
        return QString::fromStdString((out.path() / name).string());
    }

    static test::TempDir* s_dir;
    static std::array<std::string, 2> s_fronts;
    test::TempDir out;
    int asked = 0;
    QString suggestedPath;
    QString openedFolder;
};

test::TempDir* ExportClipDialog::s_dir = nullptr;
std::array<std::string, 2> ExportClipDialog::s_fronts;

TEST_F(ExportClipDialog, ProposesFifteenSecondsEitherSideAndPaintsTheSpanAndThePosition) {
    struct Case {
        std::int64_t positionNs;
        double start, end;
        const char* length;
    };
    // The two recordings join at 20 s; the span may run to the second one's end (40 s).
    const Case cases[] = {
        {10 * kS, 0.0, 25.0, "25.0 s (from 2 recordings)"},
        {18 * kS, 3.0, 33.0, "30.0 s (from 2 recordings)"},
        {2 * kS, 0.0, 17.0, "17.0 s"},
    };
    for (const Case& c : cases) {
        auto dialog = dialogAt(c.positionNs);
        EXPECT_NEAR(static_cast<double>(dialog->limitNs()) / kS, 40.0, 0.1);
        EXPECT_DOUBLE_EQ(dialog->startBox()->value(), c.start) << c.positionNs;
        EXPECT_DOUBLE_EQ(dialog->endBox()->value(), c.end) << c.positionNs;
        EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("exportLength"))->text(),
                  QString::fromLatin1(c.length));
        SpanBar* bar = dialog->spanBar();
        const QImage painted = bar->grab().toImage();
        const int middle = bar->height() / 2;
        const auto colourAt = [&](std::int64_t ns) {
            return painted.pixelColor(bar->xOf(ns), middle);
        };
        EXPECT_EQ(colourAt(c.positionNs), SpanBar::kPositionColour) << c.positionNs;
        const std::int64_t insideSpan = std::llround((c.start + 0.3 * (c.end - c.start)) * 1e9);
        if (std::llabs(insideSpan - c.positionNs) > kS) {
            EXPECT_EQ(colourAt(insideSpan), SpanBar::kSpanColour) << c.positionNs;
        }
        if (c.end < 39.0) {
            EXPECT_EQ(colourAt(std::llround((c.end + 1.0) * 1e9)), SpanBar::kTrackColour);
        }
        // The start's recorder time: the recording started at 12:00:00.
        const auto labels = dialog->findChildren<QLabel*>();
        const QString startClock = QStringLiteral("2024-01-31 12:00:%1")
                                       .arg(static_cast<int>(c.start), 2, 10, QLatin1Char('0'));
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) {
            return l->text() == startClock;
        })) << startClock.toStdString();
    }
    // A span chosen elsewhere (the trip timeline) is taken in whole tenths, within the limit.
    auto dialog = dialogAt(10 * kS);
    dialog->setSpan(12'340'000'000, 99 * kS);
    EXPECT_DOUBLE_EQ(dialog->startBox()->value(), 12.3);
    EXPECT_NEAR(dialog->endBox()->value(), 40.0, 0.1);
    // Its end 5 s into the second recording: 5 s past the joint at 20 s.
    dialog->setSpanTo(12 * kS, s_fronts[1], 5 * kS);
    EXPECT_NEAR(dialog->endBox()->value(), 25.0, 0.11);
    dialog->setSpanTo(12 * kS, "/nowhere/20240131_130000_2CH_N_F.mp4", 5 * kS);
    EXPECT_NEAR(dialog->endBox()->value(), 40.0, 0.1);
}

TEST_F(ExportClipDialog, WritesTheClipAcrossTheJointAndOffersItsFolder) {
    Boxes boxes(kIdYes);
    // Asked without ".mp4": the clip gets it.
    auto dialog = dialogAt(19 * kS, outFile("incident"));
    dialog->startBox()->setValue(19.0);
    dialog->endBox()->setValue(21.5);
    dialog->layoutBox()->setCurrentIndex(1);  // picture in picture
    dialog->sizeBox()->setCurrentIndex(1);    // 1280 x 720
    QSignalSpy ended(dialog.get(), &CExportClipDlg::exportEnded);
    dialog->startExport();
    ASSERT_TRUE(dialog->exporting());
    EXPECT_EQ(dialog->exportButton()->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(dialog->startBox()->isEnabled());
    ASSERT_TRUE(ended.wait(180'000));
    EXPECT_TRUE(ended.at(0).at(0).toBool()) << dialog->statusLine()->text().toStdString();
    EXPECT_TRUE(suggestedPath.endsWith(QStringLiteral("clip_2024-01-31_12-00-19.mp4")))
        << suggestedPath.toStdString();

    const fs::path clip = out.path() / "incident.mp4";
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"incident.mp4"});
    EXPECT_NEAR(videoSeconds(clip), 2.5, 1.0 / 30 + 1e-3);
    EXPECT_NE(capture("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                      "-of csv=p=0 '" +
                      clip.string() + "'")
                  .find("1280,720"),
              std::string::npos);
    EXPECT_EQ(dialog->progressBar()->value(), 1000);
    EXPECT_TRUE(dialog->statusLine()->text().contains(QStringLiteral("from 2 recording")))
        << dialog->statusLine()->text().toStdString();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].contains(QStringLiteral("Open the folder")));
    EXPECT_EQ(fs::path(openedFolder.toStdString()), out.path());
    EXPECT_TRUE(dialog->startBox()->isEnabled());
    EXPECT_EQ(dialog->exportButton()->text(), QStringLiteral("Export..."));
}

TEST_F(ExportClipDialog, CancelAndCloseDuringAnExportLeaveNoFile) {
    for (const bool byClose : {false, true}) {
        Boxes boxes(kIdNo);
        auto dialog = dialogAt(10 * kS, outFile("long.mp4"));
        dialog->startBox()->setValue(0.0);
        dialog->endBox()->setValue(30.0);
        QSignalSpy ended(dialog.get(), &CExportClipDlg::exportEnded);
        dialog->startExport();
        ASSERT_TRUE(dialog->exporting());
        // Stopped once it has begun writing.
        ASSERT_TRUE(waitFor([&] { return dialog->progressBar()->value() > 0; }, 120'000));
        if (byClose) {
            dialog->closeButton()->click();
            EXPECT_TRUE(dialog->isVisible()) << "the dialog waits for the export to stop";
        } else {
            dialog->exportButton()->click();
        }
        ASSERT_TRUE(ended.wait(60'000));
        EXPECT_FALSE(ended.at(0).at(0).toBool());
        EXPECT_TRUE(filesIn(out.path()).empty()) << byClose;
        EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.join(QStringLiteral("|")).toStdString();
        EXPECT_EQ(dialog->isVisible(), !byClose);
        if (!byClose) {
            EXPECT_EQ(dialog->statusLine()->text(),
                      QStringLiteral("Export cancelled: no file was written."));
        }
    }
}

TEST_F(ExportClipDialog, RefusesSpansAndFilesItCannotWrite) {
    Boxes boxes(kIdOk);
    {
        // An end before the start cannot be exported at all.
        auto dialog = dialogAt(10 * kS, outFile("never.mp4"));
        dialog->startBox()->setValue(12.0);
        dialog->endBox()->setValue(11.0);
        EXPECT_FALSE(dialog->exportButton()->isEnabled());
        dialog->startExport();
        EXPECT_EQ(asked, 0);
    }
    {
        // The user cancels the save dialog: nothing starts.
        auto dialog = dialogAt(10 * kS, QString());
        dialog->startExport();
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(dialog->exporting());
    }
    {
        // A folder that cannot be written: the reason is shown, nothing is left.
        auto dialog = dialogAt(10 * kS, QStringLiteral("/proc/qelv-no-such/clip.mp4"));
        dialog->startBox()->setValue(1.0);
        dialog->endBox()->setValue(2.0);
        QSignalSpy ended(dialog.get(), &CExportClipDlg::exportEnded);
        dialog->startExport();
        if (dialog->exporting()) {
            ASSERT_TRUE(ended.wait(60'000));
            EXPECT_FALSE(ended.at(0).at(0).toBool());
        }
        EXPECT_TRUE(dialog->statusLine()->text().startsWith(QStringLiteral("Export failed")))
            << dialog->statusLine()->text().toStdString();
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], dialog->statusLine()->text());
    }
    EXPECT_TRUE(filesIn(out.path()).empty());
}

// A movie that ends a moment before a round second: the end the dialog proposes (and the
// largest it takes) is one the export accepts.
TEST(ExportClipDialogLimit, TheLargestEndShownCanBeExported) {
    for (const std::int64_t movieNs : {9'951'000'000LL, 9'999'000'000LL, 10'049'000'000LL}) {
        media::ExportRecording r;
        r.paths[0] = "/card/NOR/FRONT/20240131_120000_1CH_N_F.mp4";
        r.name = core::parseRecordingName("20240131_120000_1CH_N_F.mp4");
        r.durationNs = movieNs;
        CExportClipDlg dialog(nullptr, {r}, movieNs - kS, {});
        for (const double end : {dialog.endBox()->value(), dialog.endBox()->maximum()}) {
            dialog.endBox()->setValue(end);
            const media::ExportRequest request = dialog.request("/tmp/clip.mp4");
            const auto plan = media::planSpan(request.recordings, request.fromNs, request.toNs);
            EXPECT_TRUE(std::holds_alternative<media::SpanPlan>(plan))
                << movieNs << " end " << end << ": " << std::get<std::string>(plan);
        }
    }
}

TEST_F(ExportClipDialog, ARecordingWithoutFollowersEndsTheSpanAtItsEnd) {
    // The second recording alone: nothing continues it, so the span stops at 20 s.
    auto recordings = exportableRecordings(s_fronts[1]);
    ASSERT_EQ(recordings.size(), 1u);
    CExportClipDlg dialog(nullptr, recordings, 15 * kS, {});
    EXPECT_NEAR(dialog.endBox()->value(), 20.0, 0.05);
    EXPECT_NEAR(dialog.endBox()->maximum(), 20.0, 0.05);
    EXPECT_TRUE(exportableRecordings((out.path() / "missing_F.mp4").string()).empty());
}

}  // namespace
}  // namespace qelv::ui

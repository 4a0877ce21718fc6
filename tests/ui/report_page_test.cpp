// The printed accident report, printed to PDF without a dialog and read back with poppler:
// where the pictures land, which texts are on the page, how long details go on, and the
// hashes that tie the page to the recording's files.
#include "tools/ui/report_page.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <span>

#include "report_support.h"
#include "support/temp_dir.h"
#include "tools/ui/report_evidence.h"
#include "ui_support.h"

namespace qelv::test {
namespace {

using ui::ReportPage;

constexpr QSize kScreenDpi{96, 96};
// A page tall enough for the report at one screen pixel a unit: 9 × 15 inches.
constexpr QSizeF kTallPage{9, 15};
const QColor kFrameColour(200, 30, 30);
const QColor kMapColour(30, 60, 200);

// The 50-DPI pixel of report units (x, y) on the tall page: a unit is 1/101 inch across and
// 1/96 inch down.
QPoint pixelOf(double x, double y) {
    return QPoint(static_cast<int>(x * 50 / 101), static_cast<int>(y * 50 / 96));
}
QRect pixelArea(double left, double top, double right, double bottom) {
    return QRect(pixelOf(left, top), pixelOf(right, bottom));
}
// Points (1/72 inch) of a report unit down the tall page.
double pointsDown(double y) {
    return y * 72 / 96;
}

QImage solid(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class ReportPageTest : public ::testing::Test {
protected:
    ReportPage page() const {
        ReportPage p;
        p.frame = solid({908, 524}, kFrameColour);
        p.map = solid({299, 290}, kMapColour);
        p.details = QStringLiteral("1. Vehicle Number: 12GA3456\n \n2. Vehicle Type: truck\n");
        p.recordingName = QStringLiteral("20240131_235958_2CH_N_F.mp4");
        p.startTime = QStringLiteral("2024-01-31 23:59:58");
        p.evidenceLines = {
            QStringLiteral("SHA-256 20240131_235958_2CH_N_F.mp4: ") + QString(64, QLatin1Char('a')),
            QStringLiteral("SHA-256 20240131_235958_2CH_N_R1.mp4: unreadable")};
        return p;
    }
    QString print(const ReportPage& p, QSizeF inches = kTallPage) {
        const QString pdf = dir.filePath(QStringLiteral("report%1.pdf").arg(++printed));
        QPrinter printer(QPrinter::HighResolution);
        printToPdf(printer, pdf, inches);
        EXPECT_TRUE(ui::printAccidentReport(printer, p, kScreenDpi,
                                            QDateTime(QDate(2024, 1, 5), QTime(9, 3, 7))));
        return pdf;
    }

    QTemporaryDir dir;
    int printed = 0;
};

TEST_F(ReportPageTest, PageHoldsTheHeadingsTheFormAndTheRecordingLines) {
    const QString pdf = print(page());
    const QString text = pdfText(pdf);
    for (const char* expected :
         {"Accident Report", "1.Video captuer", "2.Map", "3.Details", "1. Vehicle Number: 12GA3456",
          "2. Vehicle Type: truck", "Recording: 20240131_235958_2CH_N_F.mp4",
          "Start time: 2024-01-31 23:59:58", "SHA-256 20240131_235958_2CH_N_R1.mp4: unreadable"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                << text.toStdString();
    }
    // The whole hash on one line.
    EXPECT_TRUE(text.contains(QStringLiteral("SHA-256 20240131_235958_2CH_N_F.mp4: ") +
                              QString(64, QLatin1Char('a'))));
    // The job is named after the time of printing, without leading zeros.
    EXPECT_TRUE(runTool(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("202415937")));
}

TEST_F(ReportPageTest, HeadingsSitAboveTheItemsTheyName) {
    const std::vector<PdfWord> words = pdfWords(print(page()));
    const PdfWord* report = findWord(words, QStringLiteral("Report"));
    const PdfWord* video = findWord(words, QStringLiteral("1.Video"));
    const PdfWord* map = findWord(words, QStringLiteral("2.Map"));
    const PdfWord* details = findWord(words, QStringLiteral("3.Details"));
    const PdfWord* firstAnswer = findWord(words, QStringLiteral("12GA3456"));
    ASSERT_TRUE(report && video && map && details && firstAnswer);
    EXPECT_NEAR(report->yMin, pointsDown(20), 8);
    EXPECT_LE(video->yMax, pointsDown(110));  // the frame's top
    EXPECT_GE(video->yMin, pointsDown(80) - 1);
    EXPECT_LE(map->yMax, pointsDown(654));  // the map's top
    EXPECT_LE(details->yMax, firstAnswer->yMin);
    EXPECT_NEAR(firstAnswer->yMin, pointsDown(990), 6);
    EXPECT_NEAR(video->xMin, 40 * 72.0 / 101, 3);
}

TEST_F(ReportPageTest, PicturesFillTheirAreasAndTheRestOfThePageStaysWhite) {
    const QImage image = pdfImage(print(page()));
    ASSERT_EQ(image.size(), QSize(450, 750));
    const QColor frame = meanColour(image, pixelArea(80, 120, 768, 584), 2);
    EXPECT_NEAR(frame.red(), kFrameColour.red(), 12);
    EXPECT_NEAR(frame.green(), kFrameColour.green(), 12);
    EXPECT_NEAR(frame.blue(), kFrameColour.blue(), 12);
    const QColor map = meanColour(image, pixelArea(80, 664, 359, 934), 2);
    EXPECT_NEAR(map.red(), kMapColour.red(), 12);
    EXPECT_NEAR(map.green(), kMapColour.green(), 12);
    EXPECT_NEAR(map.blue(), kMapColour.blue(), 12);
    // The frame ends where its area does.
    EXPECT_EQ(inkedPixels(image, pixelArea(786, 120, 890, 600)), 0);
    EXPECT_EQ(inkedPixels(image, pixelArea(80, 600, 700, 615)), 0);
    // Nothing left of the headings, nothing between the map and the evidence, nothing below
    // the details box.
    EXPECT_EQ(inkedPixels(image, pixelArea(0, 0, 36, 1430)), 0);
    EXPECT_EQ(inkedPixels(image, pixelArea(375, 654, 395, 950)), 0);
    EXPECT_EQ(inkedPixels(image, pixelArea(0, 1400, 890, 1430)), 0);
    // The form's text and the evidence lines are on the page.
    EXPECT_GT(inkedPixels(image, pixelArea(50, 990, 750, 1060)), 40);
    EXPECT_GT(inkedPixels(image, pixelArea(400, 654, 890, 700)), 40);
}

TEST_F(ReportPageTest, WithoutAMapItsAreaStaysBlankAndTheRestIsPrinted) {
    ReportPage p = page();
    p.map = QImage();
    const QString pdf = print(p);
    const QImage image = pdfImage(pdf);
    EXPECT_EQ(inkedPixels(image, pixelArea(70, 654, 369, 944)), 0);
    EXPECT_NEAR(meanColour(image, pixelArea(80, 120, 768, 584), 2).red(), kFrameColour.red(), 12);
    EXPECT_TRUE(pdfText(pdf).contains(QStringLiteral("2. Vehicle Type: truck")));
}

// Lines "L01 ..." to "L80 ...", each two rows long once wrapped at 700 units.
QString longDetails() {
    QStringList lines;
    for (int n = 1; n <= 80; ++n) {
        QString line = QStringLiteral("L%1").arg(n, 2, 10, QLatin1Char('0'));
        for (int w = 0; w < 18; ++w) {
            line += QStringLiteral(" w%1x%2").arg(n).arg(w);
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

// The lines of longDetails() that made it onto the page, in page order.
std::vector<int> printedLines(const std::vector<PdfWord>& words) {
    static const QRegularExpression label(QStringLiteral("^L(\\d\\d)$"));
    std::vector<int> out;
    for (const PdfWord& w : words) {
        const QRegularExpressionMatch m = label.match(w.text);
        if (m.hasMatch()) {
            out.push_back(m.captured(1).toInt());
        }
    }
    return out;
}

// The details box takes what fits; the rest goes on over further pages, every line in order
// and every word whole, a word too long for a row broken at the box's edge.
TEST_F(ReportPageTest, LongDetailsWrapAndGoOnOverFurtherPages) {
    ReportPage p = page();
    const QString longWord =
        QStringLiteral("Z") + QStringLiteral("0123456789").repeated(16).left(157);
    p.details = longWord + u'\n' + longDetails();
    const std::vector<PdfWord> words = pdfWords(print(p));
    const std::vector<int> lines = printedLines(words);
    ASSERT_EQ(lines.size(), 80u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], static_cast<int>(i) + 1);
        for (int w = 0; w < 18; ++w) {
            EXPECT_NE(findWord(words, QStringLiteral("w%1x%2").arg(i + 1).arg(w)), nullptr);
        }
    }
    static const QRegularExpression piece(QStringLiteral("^Z?\\d+$"));
    QString pieces;
    double right = 0;
    for (const PdfWord& w : words) {
        if (w.page > 1 || w.yMin > pointsDown(985)) {
            // Inside the box on the first page: nothing below its bottom.
            EXPECT_TRUE(w.page > 1 || w.yMax <= pointsDown(1390) + 1) << w.text.toStdString();
            right = std::max(right, w.xMax);
        }
        pieces += piece.match(w.text).hasMatch() ? w.text : QString();
    }
    EXPECT_EQ(pieces, longWord);
    EXPECT_LE(right, 750 * 72.0 / 101 + 1);  // nothing past the box's right edge
    EXPECT_GT(right, 600 * 72.0 / 101);      // rows are filled up to the width
    const PdfWord* continued = findWord(words, QStringLiteral("(continued)"));
    ASSERT_NE(continued, nullptr);
    EXPECT_EQ(continued->page, 2);
}

// On A4 the report is shrunk to the paper: as many of the form's lines on the sheets as on
// pages tall enough for it.
TEST_F(ReportPageTest, ASmallerSheetKeepsEveryLineOfTheBox) {
    ReportPage p = page();
    p.details = longDetails();
    const std::vector<int> tall = printedLines(pdfWords(print(p)));
    const QString a4 = print(p, {});
    const std::vector<int> onA4 = printedLines(pdfWords(a4));
    EXPECT_EQ(onA4.size(), tall.size());
    EXPECT_TRUE(pdfText(a4).contains(QStringLiteral("Accident Report")));
}

// Files of the recording: hashes equal sha256sum's, a file that cannot be read says so.
TEST(ReportEvidence, HashesMatchSha256sumAndUnreadableFilesSaySo) {
    TempDir dir;
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 + i / 4096);
    }
    const auto front = dir.write("NOR/FRONT/20240131_235958_2CH_N_F.mp4", big);
    const auto empty = dir.write("NOR/REAR/20240131_235958_2CH_N_R1.mp4", "");
    media::RecordingSources opened;
    opened.paths = {front.string(), empty.string(), (dir.path() / "missing_R2.mp4").string()};
    const ui::ReportEvidence evidence = ui::evidenceOfOpened(opened, front.string());
    EXPECT_EQ(evidence.recordingName, QStringLiteral("20240131_235958_2CH_N_F.mp4"));
    EXPECT_EQ(evidence.startTime, QStringLiteral("2024-01-31 23:59:58"));
    ui::EvidenceHasher hasher(evidence.files);
    const QStringList lines = hasher.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("SHA-256 20240131_235958_2CH_N_F.mp4: ") +
                            sha256sum(QString::fromStdString(front.string())));
    EXPECT_EQ(lines[1], QStringLiteral("SHA-256 20240131_235958_2CH_N_R1.mp4: ") +
                            sha256sum(QString::fromStdString(empty.string())));
    EXPECT_EQ(lines[2], QStringLiteral("SHA-256 missing_R2.mp4: unreadable"));
    EXPECT_TRUE(hasher.done());
}

// A card file that stops short of its size, as a bad sector does.
class ShortSource : public core::ByteSource {
public:
    ShortSource(std::string data, std::uint64_t claimed)
        : m_data(std::move(data)), m_size(claimed) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override {
        if (offset >= m_data.size()) {
            return 0;
        }
        const std::size_t n = std::min<std::size_t>(dst.size(), m_data.size() - offset);
        std::memcpy(dst.data(), m_data.data() + offset, n);
        return n;
    }
    std::uint64_t size() const override { return m_size; }

private:
    std::string m_data;
    std::uint64_t m_size;
};

TEST(ReportEvidence, CardFilesAreReadThroughTheirSource) {
    TempDir dir;
    const std::string bytes(2 * 1024 * 1024 + 5, 'q');
    const auto copy = dir.write("copy.avi", bytes);
    struct Case {
        std::uint64_t claimed;
        bool readable;
    };
    for (const Case& c : {Case{bytes.size(), true}, Case{bytes.size() + 1, false}}) {
        media::RecordingSources opened;
        opened.cardFile = std::make_shared<ShortSource>(bytes, c.claimed);
        const ui::ReportEvidence evidence =
            ui::evidenceOfOpened(opened, "20240201_000103_1CH_E_F.avi");
        EXPECT_EQ(evidence.startTime, QStringLiteral("2024-02-01 00:01:03"));
        ui::EvidenceHasher hasher(evidence.files);
        ASSERT_EQ(hasher.lines().size(), 1);
        const QString expected = c.readable ? sha256sum(QString::fromStdString(copy.string()))
                                            : QStringLiteral("unreadable");
        EXPECT_EQ(hasher.lines()[0],
                  QStringLiteral("SHA-256 20240201_000103_1CH_E_F.avi: ") + expected);
    }
}

TEST(ReportEvidence, SameFileOnSeveralChannelsIsListedOnceAndNothingOpenGivesNothing) {
    media::RecordingSources opened;
    opened.paths = {"/card/NOR/FRONT/20240131_235958_3CH_N_X.mp4",
                    "/card/NOR/FRONT/20240131_235958_3CH_N_X.mp4", ""};
    EXPECT_EQ(ui::evidenceOfOpened(opened, opened.paths[0]).files.size(), 1u);
    const ui::ReportEvidence none = ui::evidenceOfOpened({}, "");
    EXPECT_TRUE(none.files.empty());
    EXPECT_TRUE(none.recordingName.isEmpty());
}

}  // namespace
}  // namespace qelv::test
